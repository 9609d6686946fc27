// System calls for tests of the file code: linked in place of the real ones
// (app/system.cpp), each replaceable by a test, the real call otherwise.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>

namespace testing_support {

struct system_calls {
    std::function<int(const char*, int, mode_t)> open;
    std::function<int(int)> close;
    std::function<ssize_t(int, void*, std::size_t)> read;
    std::function<ssize_t(int, const void*, std::size_t)> write;
    std::function<int(const char*, struct stat*)> stat;
    std::function<int(int, struct stat*)> fstat;
    std::function<int(int, off_t)> ftruncate;
    std::function<int(int, int)> flock;
};

// The calls the file code makes now; a test sets the ones it scripts.
system_calls& calls();
// The real calls, to go back to.
system_calls real_calls();

}  // namespace testing_support
