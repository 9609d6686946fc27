// The system calls the program makes on its files, through one seam: the
// program links the real calls (app/system.cpp); a test can link its own
// instead and make any call fail, be interrupted or come back short.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>

namespace app::sys {

int open(const char* path, int flags, mode_t mode = 0);
int close(int fd);
ssize_t read(int fd, void* buf, std::size_t n);
ssize_t write(int fd, const void* buf, std::size_t n);
int stat(const char* path, struct stat* st);
int fstat(int fd, struct stat* st);
int ftruncate(int fd, off_t size);
int flock(int fd, int operation);
int fcntl_getfd(int fd);  // fcntl(fd, F_GETFD)
int unlink(const char* path);
int fcntl_getfl(int fd);  // fcntl(fd, F_GETFL)
int fcntl_setfl(int fd, int flags);
int poll(struct pollfd* fds, nfds_t n, int timeout_ms);

// Makes `call` again for as long as a signal interrupts it (-1 and EINTR),
// as every call on a file wants; returns what the last one returned.
// Async-signal-safe.
template <class Call>
auto retry(Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

// Writes all n bytes, making each write again for as long as a signal
// interrupts it and going on after a short one. Returns 0 or the errno of
// the write that failed; a write that takes nothing fails with EIO, as it
// would be tried for ever. `done` tells how many bytes were written either
// way. With `wait_ms` of 0 or more, gives up with EAGAIN where the
// descriptor cannot take more within that time (a pipe nobody reads).
// Async-signal-safe.
inline int write_all(int fd, const void* data, std::size_t n, std::size_t& done, int wait_ms = -1) {
    const auto* p = static_cast<const char*>(data);
    for (done = 0; done < n;) {
        if (wait_ms >= 0) {
            struct pollfd ready = {fd, POLLOUT, 0};
            const int r = retry([&] { return sys::poll(&ready, 1, wait_ms); });
            if (r == 0) return EAGAIN;
            if (r < 0) return errno;
        }
        const ssize_t put = retry([&] { return sys::write(fd, p + done, n - done); });
        if (put < 0) return errno;
        if (put == 0) return EIO;
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

}  // namespace app::sys
