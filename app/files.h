// The two files of a run, opened the way the converter opens them.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "textio/stream.h"

namespace app {

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so
// that no file of the run takes one of them and receives what is meant for
// standard error. Returns 0, or the errno of a failed open together with the
// descriptor it was for.
int open_standard_descriptors(int& descriptor);

// Whether the open descriptor is the file `name` names, a regular file or a
// FIFO, as opening it would find it.
bool is_open_on(int descriptor, const char* name);

class file final : public textio::source, public textio::sink {
public:
    file() = default;
    file(const file&) = delete;
    file& operator=(const file&) = delete;
    ~file() override;

    // Opens for reading and writing, creating the file when it is missing.
    // Where that is refused for lack of permission or on a read-only file
    // system, opens for reading only, and failing that for writing only,
    // without creating. A FIFO is opened only in the direction the run uses
    // it (`for_reading` or not). Returns 0 or the errno of the first refusal.
    int open(const char* name, bool for_reading);
    // Whether `open` created the file.
    bool created() const { return created_; }
    // After a failed `open`: whether the file does not exist (and creating
    // it was refused).
    bool missing() const { return missing_; }

    // Closes the file. Returns 0 or the errno the system reported, which for
    // a file on a network file system may be that of a write it had taken.
    int close();

    // Whether both are one regular file, under one name or two.
    bool same_file(const file& other) const;

    // Takes an exclusive advisory lock on a regular file, held until the
    // process ends. Returns false when another process holds one; where the
    // file system has no locks, carries on without.
    bool lock();

    int descriptor() const { return fd_; }
    bool regular() const { return regular_; }

    std::ptrdiff_t read(char* buf, std::size_t n) override;
    bool may_wait() const override { return !regular_; }
    int write(const char* data, std::size_t n, std::size_t& done) override;
    int truncate(std::uint64_t size) override;

private:
    int fd_ = -1;
    int read_refused_ = 0;   // errno of the refused open, when opened for writing only
    int write_refused_ = 0;  // errno of the refused open, when opened for reading only
    bool regular_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool created_ = false;
    bool missing_ = false;
};

}  // namespace app
