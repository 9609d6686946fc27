// Runs the built converter in a scratch directory of its own.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace testing_support {

struct run_result {
    int status = -1;       // the exit status, or -1 when the program did not exit normally
    int signal = 0;        // the signal that ended it, if one did
    std::string errors;    // what it wrote to standard error
    std::string output;    // what it wrote to standard output
    long max_rss_kib = 0;  // its peak resident size
};

struct run_options {
    // As user and group 65534 when the tests run as root (the directory is
    // made writable for it), so that permission checks apply.
    bool unprivileged = false;
    unsigned directory_mode = 0;           // the directory's mode for the run, when not 0
    rlim_t file_size = RLIM_INFINITY;      // RLIMIT_FSIZE of the program
    rlim_t address_space = RLIM_INFINITY;  // RLIMIT_AS of the program
    rlim_t data_size = RLIM_INFINITY;      // RLIMIT_DATA of the program
    std::vector<int> closed = {};          // standard descriptors it starts without
    std::vector<int> ignored = {};         // signals it starts ignoring, as under nohup
    std::vector<std::string> args = {};    // its arguments, after its name
    // Files of the directory standard output and standard error go to,
    // instead of files of their own; `error_mode` opens standard error's.
    std::string output_file = {};
    std::string errors_file = {};
    int error_mode = 0;  // O_TRUNC or O_APPEND
    // A descriptor of the test's own (a pipe, a terminal) as standard error,
    // instead of a file; when not -1.
    int errors_descriptor = -1;
    // A command the program runs under (strace with its arguments, say),
    // or none.
    std::vector<std::string> wrapper = {};
};

// The file the program writes, in the directory it runs in.
inline const std::string out_name = "FORCINGS_ASCII_lsf";

// The bytes of a file; throws when it cannot be read.
std::string read_file(const std::string& path);

// The first line of a diagnostic: it names the statement, unit and file.
std::string where(int statement, int unit);
// What the output holds, as diagnostics say it.
std::string holds(std::size_t blocks);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    void put(const std::string& name, const std::string& bytes) const;
    std::string get(const std::string& name) const { return read_file(file(name)); }
    bool exists(const std::string& name) const;

private:
    std::string path_;
};

// Why the program cannot run unprivileged in the directory (user 65534
// cannot reach it or a copy of the program), or empty when it can, or when
// the tests do not run as root.
std::string unprivileged_run_refused(const scratch_dir& dir);

// A run that has been started and not yet waited for.
struct running {
    pid_t pid = -1;
    std::string errors_path;
    std::string output_path;
    // Whether each is a file of the run's own, read and removed when it ends.
    bool own_errors = true;
    bool own_output = true;
};

// Starts the converter with the directory as its working directory. A program
// that runs for two minutes is killed (SIGALRM) rather than hang the tests.
running start_converter(const scratch_dir& dir, const run_options& opts = {});
// Waits for it to end.
run_result finish(const running& run);

inline run_result run_converter(const scratch_dir& dir, const run_options& opts = {}) {
    return finish(start_converter(dir, opts));
}
inline run_result run_converter(const scratch_dir& dir, bool unprivileged) {
    return run_converter(dir, run_options{.unprivileged = unprivileged});
}

}  // namespace testing_support
