#include "run_program.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

scratch_dir::scratch_dir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "lsf2ascii-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

scratch_dir::~scratch_dir() {
    std::error_code ec;
    // Undo permission changes a test made so that removal succeeds.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void scratch_dir::put(const std::string& name, const std::string& bytes) const {
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file(name));
}

std::string scratch_dir::get(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file(name));
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool scratch_dir::exists(const std::string& name) const {
    struct stat st;
    return ::lstat(file(name).c_str(), &st) == 0;
}

run_result run_converter(const scratch_dir& dir, const run_options& opts) {
    const bool drop = opts.unprivileged && ::geteuid() == 0;
    if (drop) ::chmod(dir.path().c_str(), 0777);
    const std::string err_path = dir.path() + "/../" +
                                 std::filesystem::path(dir.path()).filename().string() + ".stderr";
    int pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = ::open("/dev/null", O_RDWR);
        if (err < 0 || null < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(127);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(err, 2);
        const rlimit fs{opts.file_size, opts.file_size};
        const rlimit as{opts.address_space, opts.address_space};
        if (::setrlimit(RLIMIT_FSIZE, &fs) != 0 || ::setrlimit(RLIMIT_AS, &as) != 0) ::_exit(126);
        if (drop && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        // A program that hangs is killed rather than holding up the tests.
        ::alarm(120);
        ::execl(LSF2ASCII_BIN, "lsf2ascii", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int ws = 0;
    rusage ru{};
    while (::wait4(pid, &ws, 0, &ru) < 0) {
        if (errno != EINTR) throw std::runtime_error("wait4 failed");
    }
    run_result r;
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    r.signal = WIFSIGNALED(ws) ? WTERMSIG(ws) : 0;
    r.max_rss_kib = ru.ru_maxrss;
    std::ifstream in(err_path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    r.errors = s.str();
    ::unlink(err_path.c_str());
    return r;
}

}  // namespace testing_support
