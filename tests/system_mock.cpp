// The seam of app/system.h, through the calls a test has set.
#include "system_mock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/system.h"

namespace testing_support {

system_calls real_calls() {
    return {[](const char* p, int f, mode_t m) { return ::open(p, f, m); },
            [](int fd) { return ::close(fd); },
            [](int fd, void* b, std::size_t n) { return ::read(fd, b, n); },
            [](int fd, const void* b, std::size_t n) { return ::write(fd, b, n); },
            [](const char* p, struct stat* st) { return ::stat(p, st); },
            [](int fd, struct stat* st) { return ::fstat(fd, st); },
            [](int fd, off_t size) { return ::ftruncate(fd, size); },
            [](int fd, int op) { return ::flock(fd, op); }};
}

system_calls& calls() {
    static system_calls current = real_calls();
    return current;
}

}  // namespace testing_support

namespace app::sys {

using testing_support::calls;

int open(const char* path, int flags, mode_t mode) { return calls().open(path, flags, mode); }
int close(int fd) { return calls().close(fd); }
ssize_t read(int fd, void* buf, std::size_t n) { return calls().read(fd, buf, n); }
ssize_t write(int fd, const void* buf, std::size_t n) { return calls().write(fd, buf, n); }
int stat(const char* path, struct stat* st) { return calls().stat(path, st); }
int fstat(int fd, struct stat* st) { return calls().fstat(fd, st); }
int ftruncate(int fd, off_t size) { return calls().ftruncate(fd, size); }
int flock(int fd, int operation) { return calls().flock(fd, operation); }
int fcntl_getfd(int fd) { return ::fcntl(fd, F_GETFD); }
int unlink(const char* path) { return ::unlink(path); }
int fcntl_getfl(int fd) { return ::fcntl(fd, F_GETFL); }
int fcntl_setfl(int fd, int flags) { return ::fcntl(fd, F_SETFL, flags); }
int poll(struct pollfd* fds, nfds_t n, int timeout_ms) { return ::poll(fds, n, timeout_ms); }

}  // namespace app::sys
