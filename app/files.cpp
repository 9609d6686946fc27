#include "app/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

int open_standard_descriptors(int& descriptor) {
    for (descriptor = 0; descriptor <= 2; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF) continue;
        // The lowest free descriptor: this one, as those below are open.
        if (::open("/dev/null", O_RDWR) < 0) return errno;
    }
    return 0;
}

file::~file() {
    if (fd_ >= 0) ::close(fd_);
}

int file::open(const char* name, bool for_reading) {
    struct stat st;
    if (::stat(name, &st) == 0 && S_ISFIFO(st.st_mode)) {
        // Opened both ways, a FIFO would hold its own other end: the input
        // would never end, and the pipe could lose what a writer put in
        // before it was reopened. So it is opened in one direction only,
        // waiting as pipes do for the other end.
        do {
            fd_ = ::open(name, (for_reading ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
        return fd_ < 0 ? errno : 0;
    }
    fd_ = ::open(name, O_RDWR | O_CLOEXEC);
    if (fd_ < 0 && errno == ENOENT) {
        // Created here only when no one else made it meanwhile, so that
        // `created` is true only for a file this run created. A name that
        // exists without being openable (a link to nowhere) is opened as
        // before, creating what it points to.
        fd_ = ::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            created_ = true;
        else if (errno == EEXIST)
            fd_ = ::open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    }
    if (fd_ < 0) {
        const int refused = errno;
        if (refused != EACCES && refused != EPERM && refused != EROFS) return refused;
        fd_ = ::open(name, O_RDONLY | O_CLOEXEC);
        if (fd_ >= 0) {
            write_refused_ = refused;
        } else {
            fd_ = ::open(name, O_WRONLY | O_CLOEXEC);
            if (fd_ < 0) return refused;
            read_refused_ = refused;
        }
    }
    regular_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    if (regular_) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    return 0;
}

bool file::same_file(const file& other) const {
    return regular_ && other.regular_ && device_ == other.device_ && inode_ == other.inode_;
}

// flock rather than fcntl locks: it holds for the open file whatever its
// access mode (the output may be open for reading or writing only), and is
// not dropped when the process closes another descriptor of the same file.
// On NFS, Linux maps it to a lock the server shares between clients.
bool file::lock() {
    if (!regular_) return true;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return false;
        // No lock support (ENOLCK, EOPNOTSUPP, or EBADF on NFS for a file
        // open for reading only): the run goes on as before.
        if (errno != EINTR) return true;
    }
    return true;
}

std::ptrdiff_t file::read(char* buf, std::size_t n) {
    if (read_refused_ != 0) return -read_refused_;
    for (;;) {
        const ssize_t got = ::read(fd_, buf, n);
        if (got >= 0) return got;
        if (errno != EINTR) return -errno;
    }
}

int file::write(const char* data, std::size_t n, std::size_t& done) {
    done = 0;
    if (write_refused_ != 0) return write_refused_;
    while (done < n) {
        const ssize_t put = ::write(fd_, data + done, n - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put == 0) {
            return EIO;
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

int file::truncate(std::uint64_t size) {
    if (write_refused_ != 0) return write_refused_;
    if (!regular_) return 0;
    // Emptying an empty file would change nothing but its times, and on ext4
    // it makes the close start writing the file's new contents to the disk.
    struct stat st;
    if (size == 0 && ::fstat(fd_, &st) == 0 && st.st_size == 0) return 0;
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

}  // namespace app
