// Runs the built converter in a scratch directory of its own.
#pragma once

#include <string>

namespace testing_support {

struct run_result {
    int status = -1;       // the exit status, or -1 when the program did not exit normally
    std::string errors;    // what it wrote to standard error
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

// Runs the converter with the directory as its working directory. With
// `unprivileged`, and when running as root, the program runs as user and
// group 65534 (the directory is made writable for it).
run_result run_converter(const scratch_dir& dir, bool unprivileged = false);

}  // namespace testing_support
