#include "app/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

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

int file::open(const char* name, bool for_reading) {
    const auto open_as = [&](int flags) {
        return sys::retry([&] { return sys::open(name, flags | O_CLOEXEC, 0666); });
    };
    struct stat st;
    if (sys::stat(name, &st) == 0 && S_ISFIFO(st.st_mode)) {
        // Opened both ways, a FIFO would hold its own other end: the input
        // would never end, and the pipe could lose what a writer put in
        // before it was reopened. So it is opened in one direction only,
        // waiting as pipes do for the other end.
        fd_ = open_as(for_reading ? O_RDONLY : O_WRONLY);
        if (fd_ < 0) return errno;
    } else {
        fd_ = open_as(O_RDWR);
        if (fd_ < 0 && errno == ENOENT) {
            // Created here only when no one else made it meanwhile, so that
            // `created` is true only for a file this run created. A name
            // that exists without being openable (a link to nowhere) is
            // opened as before, creating what it points to.
            missing_ = true;
            fd_ = open_as(O_RDWR | O_CREAT | O_EXCL);
            if (fd_ >= 0)
                created_ = true;
            else if (errno == EEXIST)
                fd_ = open_as(O_RDWR | O_CREAT);
        }
        if (fd_ < 0) {
            const int refused = errno;
            if (refused != EACCES && refused != EPERM && refused != EROFS) return refused;
            fd_ = open_as(O_RDONLY);
            if (fd_ >= 0) {
                write_refused_ = refused;
            } else {
                fd_ = open_as(O_WRONLY);
                if (fd_ < 0) return refused;
                read_refused_ = refused;
            }
        }
        missing_ = false;
    }
    if (sys::fstat(fd_, &st) == 0) {
        regular_ = S_ISREG(st.st_mode);
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    return 0;
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
    while (done < n) {
        const ssize_t put = sys::retry([&] { return sys::write(fd_, data + done, n - done); });
        if (put < 0) return errno;
        if (put == 0) return EIO;
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

int file::truncate(std::uint64_t size) {
    if (write_refused_ != 0) return write_refused_;
    if (!regular_) return 0;
    // Emptying an empty file would change nothing but its times, and on ext4
    // it makes the close start writing the file's new contents to the disk.
    struct stat st;
    if (size == 0 && sys::fstat(fd_, &st) == 0 && st.st_size == 0) return 0;
    return sys::retry([&] { return sys::ftruncate(fd_, static_cast<off_t>(size)); }) == 0 ? 0 : errno;
}

}  // namespace app
