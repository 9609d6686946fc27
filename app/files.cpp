#include "app/files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "app/system.h"

namespace app {

int open_standard_descriptors(int& descriptor) {
    for (descriptor = 0; descriptor <= 2; ++descriptor) {
        if (sys::fcntl_getfd(descriptor) >= 0 || errno != EBADF) continue;
        // The lowest free descriptor: this one, as those below are open.
        if (sys::retry([] { return sys::open("/dev/null", O_RDWR); }) < 0) return errno;
    }
    return 0;
}

file::~file() {
    if (fd_ >= 0) sys::close(fd_);
}

int file::open(const char* name, run_file which, void (*waiting)()) {
    const bool input = which == run_file::input;
    const auto open_as = [&](int flags) {
        return sys::retry([&] { return sys::open(name, flags | O_CLOEXEC, 0666); });
    };
    struct stat st;
    if (sys::stat(name, &st) == 0 && S_ISFIFO(st.st_mode)) {
        // Opened both ways, a FIFO would hold its own other end: the input
        // would never end, and the pipe could lose what a writer put in
        // before it was reopened. So it is opened in one direction only,
        // waiting as pipes do for the other end.
        if (input && waiting != nullptr) return open_waiting(name, waiting);
        fd_ = open_as(input ? O_RDONLY : O_WRONLY);
        if (fd_ < 0) return errno;
    } else {
        // The input is only read: asking to write it would copy it up on an
        // overlay file system, wait for another process's lease and tell
        // file watchers that it was written.
        const int access = input ? O_RDONLY : O_RDWR;
        fd_ = open_as(access);
        if (fd_ < 0 && errno == ENOENT) {
            // Created here only when no one else made it meanwhile, so that
            // `created` is true only for a file this run created. A name
            // that exists without being openable (a link to nowhere) is
            // opened as before, creating what it points to.
            missing_ = true;
            fd_ = open_as(access | O_CREAT | O_EXCL);
            if (fd_ >= 0)
                created_ = true;
            else if (errno == EEXIST)
                fd_ = open_as(access | O_CREAT);
        }
        if (fd_ < 0) {
            const int refused = errno;
            if (refused != EACCES && refused != EPERM && refused != EROFS) return refused;
            if (!input) {
                fd_ = open_as(O_RDONLY);
                if (fd_ >= 0) write_refused_ = refused;
            }
            if (fd_ < 0) {
                fd_ = open_as(O_WRONLY);
                if (fd_ < 0) return refused;
                read_refused_ = refused;
            }
        }
        missing_ = false;
    }
    return opened(input);
}

// A FIFO input read from a terminal session: where no writer has come
// after a second, the user hears why the run waits. Open without waiting,
// the reading end sees neither data nor a hang-up before a writer has come.
int file::open_waiting(const char* name, void (*waiting)()) {
    fd_ = sys::retry([&] { return sys::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
    if (fd_ < 0) return errno;
    struct pollfd ready = {fd_, POLLIN, 0};
    if (sys::retry([&] { return sys::poll(&ready, 1, 1000); }) == 0) {
        waiting();
        sys::retry([&] { return sys::poll(&ready, 1, -1); });
    }
    const int flags = sys::fcntl_getfl(fd_);
    if (flags < 0 || sys::fcntl_setfl(fd_, flags & ~O_NONBLOCK) < 0) return errno;
    return opened(true);
}

int file::opened(bool input) {
    struct stat st;
    if (sys::fstat(fd_, &st) == 0) {
        // Opened for reading, a directory opens: it is no input all the same.
        if (input && S_ISDIR(st.st_mode)) {
            sys::close(fd_);
            fd_ = -1;
            return EISDIR;
        }
        regular_ = S_ISREG(st.st_mode);
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    return 0;
}

void file::remove_if_created(const char* name) {
    bool name_exists = false;
    struct stat st;
    if (created_ && named(name, name_exists) && sys::fstat(fd_, &st) == 0 && st.st_size == 0) sys::unlink(name);
}

int file::close() {
    const int fd = fd_;
    fd_ = -1;
    // Not retried: after an interruption Linux has closed the descriptor
    // already, and another thread's file may have taken its number.
    return fd >= 0 && sys::close(fd) != 0 ? errno : 0;
}

bool file::same_file(const file& other) const {
    return regular_ && other.regular_ && device_ == other.device_ && inode_ == other.inode_;
}

bool is_open_on(int descriptor, const char* name) {
    struct stat open_st, named;
    return sys::fstat(descriptor, &open_st) == 0 && sys::stat(name, &named) == 0 &&
           (S_ISREG(named.st_mode) || S_ISFIFO(named.st_mode)) && open_st.st_dev == named.st_dev &&
           open_st.st_ino == named.st_ino;
}

// flock rather than fcntl locks: it holds for the open file whatever its
// access mode (the output may be open for reading or writing only), and is
// not dropped when the process closes another descriptor of the same file.
// On NFS, Linux maps it to a lock the server shares between clients.
bool file::lock() {
    if (!regular_) return true;
    if (sys::retry([&] { return sys::flock(fd_, LOCK_EX | LOCK_NB); }) == 0) return true;
    // No lock support (ENOLCK, EOPNOTSUPP, or EBADF on NFS for a file open
    // for reading only): the run goes on as before.
    return errno != EWOULDBLOCK;
}

std::ptrdiff_t file::read(char* buf, std::size_t n) {
    if (read_refused_ != 0) return -read_refused_;
    const ssize_t got = sys::retry([&] { return sys::read(fd_, buf, n); });
    return got >= 0 ? got : -errno;
}

int file::write(const char* data, std::size_t n, std::size_t& done) {
    done = 0;
    if (write_refused_ != 0) return write_refused_;
    // Writing on into a file another process has cut short would leave a
    // hole of zero bytes where the blocks stood before it.
    cut_short_sizes sizes;
    if (cut_short(sizes)) return cut_short_error;
    const int error = sys::write_all(fd_, data, n, done);
    written_ += done;
    return error;
}

bool file::cut_short(cut_short_sizes& sizes) {
    struct stat st;
    if (!cut_short_ && regular_ && fd_ >= 0 && written_ > 0 && sys::fstat(fd_, &st) == 0 &&
        static_cast<std::uint64_t>(st.st_size) < written_) {
        cut_short_ = true;
        found_ = static_cast<std::uint64_t>(st.st_size);
    }
    sizes = {found_, written_};
    return cut_short_;
}

bool file::named(const char* name, bool& name_exists) const {
    struct stat st;
    name_exists = sys::stat(name, &st) == 0;
    return name_exists && st.st_dev == device_ && st.st_ino == inode_;
}

int file::truncate(std::uint64_t size) {
    if (write_refused_ != 0) return write_refused_;
    if (!regular_) return 0;
    // Never longer: a file something else has cut short is not padded out.
    // Emptying an empty file would change nothing but its times, and on ext4
    // it makes the close start writing the file's new contents to the disk.
    struct stat st;
    if (sys::fstat(fd_, &st) == 0 && static_cast<std::uint64_t>(st.st_size) <= size) return 0;
    if (sys::retry([&] { return sys::ftruncate(fd_, static_cast<off_t>(size)); }) != 0) return errno;
    written_ = std::min(written_, size);  // what the run wrote there and keeps
    return 0;
}

}  // namespace app
