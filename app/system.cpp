// The real system calls behind app/system.h.
#include "app/system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace app::sys {

int open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int close(int fd) { return ::close(fd); }
ssize_t read(int fd, void* buf, std::size_t n) { return ::read(fd, buf, n); }
ssize_t write(int fd, const void* buf, std::size_t n) { return ::write(fd, buf, n); }
int stat(const char* path, struct stat* st) { return ::stat(path, st); }
int fstat(int fd, struct stat* st) { return ::fstat(fd, st); }
int ftruncate(int fd, off_t size) { return ::ftruncate(fd, size); }
int flock(int fd, int operation) { return ::flock(fd, operation); }
int fcntl_getfd(int fd) { return ::fcntl(fd, F_GETFD); }
int unlink(const char* path) { return ::unlink(path); }
int fcntl_getfl(int fd) { return ::fcntl(fd, F_GETFL); }
int fcntl_setfl(int fd, int flags) { return ::fcntl(fd, F_SETFL, flags); }
int poll(struct pollfd* fds, nfds_t n, int timeout_ms) { return ::poll(fds, n, timeout_ms); }

}  // namespace app::sys
