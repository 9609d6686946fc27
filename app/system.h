// The system calls the program makes on its files, through one seam: the
// program links the real calls (app/system.cpp); a test can link its own
// instead and make any call fail, be interrupted or come back short.
#pragma once

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

}  // namespace app::sys
