// Runs the built converter in a scratch directory of its own.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace testing_support {

struct run_result {
    int status = -1;       // the exit status, or -1 when the program did not exit normally
    int signal = 0;        // the signal that ended it, if one did
    std::string errors;    // what it wrote to standard error
    long max_rss_kib = 0;  // its peak resident size
};

struct run_options {
    // As user and group 65534 when the tests run as root (the directory is
    // made writable for it), so that permission checks apply.
    bool unprivileged = false;
    rlim_t file_size = RLIM_INFINITY;      // RLIMIT_FSIZE of the program
    rlim_t address_space = RLIM_INFINITY;  // RLIMIT_AS of the program
    std::vector<int> closed = {};          // standard descriptors it starts without
    std::vector<int> ignored = {};         // signals it starts ignoring, as under nohup
};

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
    std::string get(const std::string& name) const;  // the file's bytes; throws when it cannot be read
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
