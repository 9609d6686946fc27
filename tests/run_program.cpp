#include "run_program.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {
namespace {

// A copy of the program that user 65534 can run, in a directory of its own
// under the system's temporary directory: the build tree may lie inside a
// private directory (a home directory of mode 0700) that it cannot enter.
class program_copy {
public:
    program_copy() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "lsf2ascii-program-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) {
            refused = "cannot make a directory for a copy of the program: " + tmpl;
            return;
        }
        dir_ = tmpl;
        path = dir_ + "/lsf2ascii";
        std::error_code ec;
        std::filesystem::copy_file(LSF2ASCII_BIN, path, ec);
        if (ec || ::chmod(dir_.c_str(), 0755) != 0 || ::chmod(path.c_str(), 0755) != 0)
            refused = "cannot copy the program to " + path;
    }
    ~program_copy() {
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    program_copy(const program_copy&) = delete;
    program_copy& operator=(const program_copy&) = delete;

    std::string path;
    std::string refused;  // why there is no usable copy

private:
    std::string dir_;
};

const program_copy& unprivileged_program() {
    static const program_copy copy;
    return copy;
}

bool drop_privileges() { return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0; }

}  // namespace

scratch_dir::scratch_dir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "lsf2ascii-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

scratch_dir::~scratch_dir() {
    std::error_code ec;
    // Undo permission changes a test made so that removal succeeds.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    std::filesystem::remove_all(path_, ec);
}

void scratch_dir::put(const std::string& name, const std::string& bytes) const {
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file(name));
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string where(int statement, int unit) {
    return "lsf2ascii: statement " + std::to_string(statement) + ", unit " + std::to_string(unit) + ", file " +
           (unit == 10 ? "lsf" : out_name) + "\n";
}

std::string holds(std::size_t blocks) {
    return out_name + " holds " + std::to_string(blocks) + (blocks == 1 ? " complete block" : " complete blocks");
}

bool scratch_dir::exists(const std::string& name) const {
    struct stat st;
    return ::lstat(file(name).c_str(), &st) == 0;
}

std::string unprivileged_run_refused(const scratch_dir& dir) {
    if (::geteuid() != 0) return {};
    const program_copy& program = unprivileged_program();
    if (!program.refused.empty()) return program.refused;
    ::chmod(dir.path().c_str(), 0777);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (!drop_privileges()) ::_exit(1);
        if (::chdir(dir.path().c_str()) != 0) ::_exit(2);
        ::_exit(::access(program.path.c_str(), X_OK) == 0 ? 0 : 3);
    }
    int ws = 0;
    while (::waitpid(pid, &ws, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    switch (WIFEXITED(ws) ? WEXITSTATUS(ws) : -1) {
        case 0:
            return {};
        case 1:
            return "cannot switch to user 65534";
        case 2:
            return "user 65534 cannot enter " + dir.path() + " (is the temporary directory private?)";
        case 3:
            return "user 65534 cannot run " + program.path;
        default:
            return "the check as user 65534 failed";
    }
}

running start_converter(const scratch_dir& dir, const run_options& opts) {
    const bool drop = opts.unprivileged && ::geteuid() == 0;
    if (drop || opts.directory_mode != 0)
        ::chmod(dir.path().c_str(), opts.directory_mode != 0 ? static_cast<mode_t>(opts.directory_mode) : 0777);
    const std::string program = drop ? unprivileged_program().path : LSF2ASCII_BIN;
    running run;
    // Beside the directory, one file for each run: runs may overlap.
    static int runs = 0;
    const std::string stem = dir.path() + "." + std::to_string(++runs);
    run.errors_path = opts.errors_file.empty() ? stem + ".stderr" : dir.file(opts.errors_file);
    run.output_path = opts.output_file.empty() ? stem + ".stdout" : dir.file(opts.output_file);
    run.own_errors = opts.errors_file.empty() && opts.errors_descriptor < 0;
    run.own_output = opts.output_file.empty();
    std::vector<std::string> argv = opts.wrapper;
    argv.push_back(opts.wrapper.empty() ? "lsf2ascii" : program);
    argv.insert(argv.end(), opts.args.begin(), opts.args.end());
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    const std::string path = opts.wrapper.empty() ? program : opts.wrapper.front();
    run.pid = ::fork();
    if (run.pid < 0) throw std::runtime_error("fork failed");
    if (run.pid == 0) {
        const int out = ::open(run.output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int mode = O_WRONLY | O_CREAT | (opts.error_mode != 0 ? opts.error_mode : O_TRUNC);
        const int err = opts.errors_descriptor >= 0          ? ::dup(opts.errors_descriptor)
                        : run.errors_path == run.output_path ? ::dup(out)
                                                             : ::open(run.errors_path.c_str(), mode, 0600);
        const int null = ::open("/dev/null", O_RDWR);
        if (out < 0 || err < 0 || null < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(127);
        ::dup2(null, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::close(out);
        ::close(err);
        ::close(null);
        for (int fd : opts.closed) ::close(fd);
        const rlimit fs{opts.file_size, opts.file_size};
        const rlimit as{opts.address_space, opts.address_space};
        const rlimit data{opts.data_size, opts.data_size};
        const rlimit no_core{0, 0};  // a signal that dumps a core leaves none behind
        if (::setrlimit(RLIMIT_FSIZE, &fs) != 0 || ::setrlimit(RLIMIT_AS, &as) != 0 ||
            ::setrlimit(RLIMIT_DATA, &data) != 0 || ::setrlimit(RLIMIT_CORE, &no_core) != 0)
            ::_exit(126);
        if (drop && !drop_privileges()) ::_exit(126);
        // Without a controlling terminal, as in a batch job: a diagnostic
        // that may not go to standard error has nowhere else to go.
        ::setsid();
        // Every signal starts as it would from a shell, whatever the test
        // runner was started with.
        for (int sig = 1; sig < NSIG; ++sig) std::signal(sig, SIG_DFL);
        for (int sig : opts.ignored) std::signal(sig, SIG_IGN);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // A program that hangs is killed rather than holding up the tests.
        ::alarm(120);
        ::execv(path.c_str(), args.data());
        ::_exit(127);
    }
    return run;
}

run_result finish(const running& run) {
    int ws = 0;
    rusage ru{};
    while (::wait4(run.pid, &ws, 0, &ru) < 0) {
        if (errno != EINTR) throw std::runtime_error("wait4 failed");
    }
    run_result r;
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    r.signal = WIFSIGNALED(ws) ? WTERMSIG(ws) : 0;
    r.max_rss_kib = ru.ru_maxrss;
    if (run.own_errors) {
        r.errors = read_file(run.errors_path);
        ::unlink(run.errors_path.c_str());
    }
    if (run.own_output) {
        r.output = read_file(run.output_path);
        ::unlink(run.output_path.c_str());
    }
    return r;
}

}  // namespace testing_support
