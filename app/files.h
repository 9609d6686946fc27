// The two files of a run, opened the way the converter opens them.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "app/names.h"
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

    // Opens the input for reading and the output for reading and writing,
    // creating the file when it is missing. Where that is refused for lack
    // of permission or on a read-only file system, opens the output for
    // reading only, and failing that either for writing only, without
    // creating: the run then ends at its first read or write, which says
    // why. A FIFO is opened only in the direction the run uses it; an input
    // that is a directory is refused. Returns 0 or the errno of the first
    // refusal.
    // `waiting`, where given, is called once when a FIFO input has had no
    // writer for a second.
    int open(const char* name, run_file which, void (*waiting)() = nullptr);
    // Whether `open` created the file.
    bool created() const { return created_; }
    // After a failed `open`: whether the file does not exist (and creating
    // it was refused).
    bool missing() const { return missing_; }

    // Removes the file `name` when this run created it and it still is that
    // file, empty: a run refused after it opened its files leaves nothing.
    void remove_if_created(const char* name);

    // Closes the file. Returns 0 or the errno the system reported, which for
    // a file on a network file system may be that of a write it had taken.
    int close();

    // Whether both are one regular file, under one name or two.
    bool same_file(const file& other) const;

    // Takes an exclusive advisory lock on a regular file, held until the
    // process ends. Returns false when another process holds one; where the
    // file system has no locks, carries on without.
    bool lock();

    // What file::write returns, in place of an errno, when another process
    // has cut the file shorter than what the run wrote there (emptied it, or
    // a log rotation truncated it): the run writes no more into it.
    static constexpr int cut_short_error = -1;
    // Whether another process has cut the file shorter than what the run
    // wrote there (checked now, and once seen, seen for good), and the sizes.
    struct cut_short_sizes {
        std::uint64_t size = 0, written = 0;
    };
    bool cut_short(cut_short_sizes& sizes);
    // Whether `name` still names this file.
    bool named(const char* name, bool& name_exists) const;

    int descriptor() const { return fd_; }
    bool regular() const { return regular_; }

    std::ptrdiff_t read(char* buf, std::size_t n) override;
    bool may_wait() const override { return !regular_; }
    int write(const char* data, std::size_t n, std::size_t& done) override;
    int truncate(std::uint64_t size) override;

private:
    int open_waiting(const char* name, void (*waiting)());
    int opened(bool input);

    int fd_ = -1;
    int read_refused_ = 0;   // errno of the refused open, when opened for writing only
    int write_refused_ = 0;  // errno of the refused open, when opened for reading only
    bool regular_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool created_ = false;
    bool missing_ = false;
    std::uint64_t written_ = 0;  // bytes written, which is where the next write goes
    bool cut_short_ = false;     // another process cut the file shorter than written_
    std::uint64_t found_ = 0;    // to this size
};

}  // namespace app
