// The files of a run against scripted system calls: the fallbacks of
// opening, calls a signal interrupts, short writes and a failed close, with
// neither root nor a second user.
#include "app/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include <cerrno>
#include <string>
#include <vector>

#include "system_mock.h"

namespace {

using testing_support::calls;

constexpr int fd = 42;
constexpr int flags_asked = O_ACCMODE | O_CREAT | O_EXCL;

// Scripts the calls on one file of type `type` (0: none by that name):
// the opens answer, in turn, with the errno given or with `fd` for 0.
struct scripted_file {
    explicit scripted_file(mode_t type, std::vector<int> opens) : answers(std::move(opens)) {
        auto& c = calls();
        c = testing_support::real_calls();
        c.stat = [type](const char*, struct stat* st) {
            if (type == 0) {
                errno = ENOENT;
                return -1;
            }
            *st = {};
            st->st_mode = type;
            return 0;
        };
        c.fstat = [type](int, struct stat* st) {
            *st = {};
            st->st_mode = type == 0 ? S_IFREG : type;
            st->st_ino = 7;
            st->st_size = off_t{1} << 30;  // never shorter than what a test wrote
            return 0;
        };
        c.open = [this](const char*, int flags, mode_t) {
            asked.push_back(flags & flags_asked);
            const int e = next < answers.size() ? answers[next++] : EIO;
            if (e == 0) return fd;
            errno = e;
            return -1;
        };
        c.close = [this](int) {
            ++closes;
            return 0;
        };
    }
    ~scripted_file() { calls() = testing_support::real_calls(); }

    std::vector<int> answers;
    std::size_t next = 0;
    std::vector<int> asked;  // the access mode and creation flags of each open
    int closes = 0;
};

TEST(FileCalls, OpeningFallsBackAsPermissionsAllow) {
    // The input is only ever read; the output is asked for both ways first.
    const int rdwr = O_RDWR, create = O_RDWR | O_CREAT | O_EXCL, reuse = O_RDWR | O_CREAT;
    const int rd = O_RDONLY, rd_create = O_RDONLY | O_CREAT | O_EXCL, rd_reuse = O_RDONLY | O_CREAT;
    struct {
        const char* what;
        mode_t type;
        bool for_reading;
        std::vector<int> opens;
        std::vector<int> asked;
        int result;
        bool created, missing;
        int read_refused, write_refused;
    } cases[] = {
        {"input", S_IFREG, true, {0}, {rd}, 0, false, false, 0, 0},
        {"input write only", S_IFREG, true, {EACCES, 0}, {rd, O_WRONLY}, 0, false, false, EACCES, 0},
        {"input neither", S_IFREG, true, {EPERM, EACCES}, {rd, O_WRONLY}, EPERM, false, false, 0, 0},
        {"input that is a directory", S_IFDIR, true, {0}, {rd}, EISDIR, false, false, 0, 0},
        {"input created", 0, true, {ENOENT, 0}, {rd, rd_create}, 0, true, false, 0, 0},
        {"input created meanwhile by another",
         0,
         true,
         {ENOENT, EEXIST, 0},
         {rd, rd_create, rd_reuse},
         0,
         false,
         false,
         0,
         0},
        {"input missing and not creatable",
         0,
         true,
         {ENOENT, EACCES, ENOENT},
         {rd, rd_create, O_WRONLY},
         EACCES,
         false,
         true,
         0,
         0},
        {"output read and write", S_IFREG, false, {0}, {rdwr}, 0, false, false, 0, 0},
        {"output read only", S_IFREG, false, {EACCES, 0}, {rdwr, O_RDONLY}, 0, false, false, 0, EACCES},
        {"output write only",
         S_IFREG,
         false,
         {EROFS, EACCES, 0},
         {rdwr, O_RDONLY, O_WRONLY},
         0,
         false,
         false,
         EROFS,
         0},
        {"output neither",
         S_IFREG,
         false,
         {EPERM, EACCES, EACCES},
         {rdwr, O_RDONLY, O_WRONLY},
         EPERM,
         false,
         false,
         0,
         0},
        {"no fallback for other errors", S_IFREG, false, {EISDIR}, {rdwr}, EISDIR, false, false, 0, 0},
        {"output created", 0, false, {ENOENT, 0}, {rdwr, create}, 0, true, false, 0, 0},
        {"output created meanwhile by another",
         0,
         false,
         {ENOENT, EEXIST, 0},
         {rdwr, create, reuse},
         0,
         false,
         false,
         0,
         0},
        {"output missing and not creatable",
         0,
         false,
         {ENOENT, EACCES, ENOENT, ENOENT},
         {rdwr, create, O_RDONLY, O_WRONLY},
         EACCES,
         false,
         true,
         0,
         0},
        {"interrupted", S_IFREG, true, {EINTR, EINTR, 0}, {rd, rd, rd}, 0, false, false, 0, 0},
        {"a FIFO for reading", S_IFIFO, true, {0}, {O_RDONLY}, 0, false, false, 0, 0},
        {"a FIFO for writing, interrupted", S_IFIFO, false, {EINTR, 0}, {O_WRONLY, O_WRONLY}, 0, false, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        scripted_file s(c.type, c.opens);
        calls().read = [](int, void*, std::size_t n) { return static_cast<ssize_t>(n); };
        calls().write = [](int, const void*, std::size_t n) { return static_cast<ssize_t>(n); };
        app::file f;
        EXPECT_EQ(f.open("lsf", c.for_reading ? app::run_file::input : app::run_file::output), c.result);
        EXPECT_EQ(s.asked, c.asked);
        EXPECT_EQ(f.created(), c.created);
        EXPECT_EQ(f.missing(), c.missing);
        if (c.result != 0) continue;
        EXPECT_EQ(f.regular(), c.type != S_IFIFO);
        EXPECT_EQ(f.may_wait(), c.type == S_IFIFO);
        char buf[4];
        EXPECT_EQ(f.read(buf, sizeof buf), c.read_refused != 0 ? -c.read_refused : 4);
        std::size_t done = 9;
        EXPECT_EQ(f.write("abcd", 4, done), c.write_refused);
        EXPECT_EQ(done, c.write_refused != 0 ? 0u : 4u);
    }
}

TEST(FileCalls, InterruptedCallsAreMadeAgainAndShortWritesGoOn) {
    scripted_file s(S_IFREG, {0});
    app::file f;
    ASSERT_EQ(f.open("FORCINGS_ASCII_lsf", app::run_file::output), 0);

    // Each answer in turn: a count, or -errno.
    std::vector<ssize_t> answers;
    const auto answer = [&answers]() -> ssize_t {
        const ssize_t a = answers.front();
        answers.erase(answers.begin());
        if (a >= 0) return a;
        errno = static_cast<int>(-a);
        return -1;
    };
    calls().read = [&](int, void*, std::size_t) { return answer(); };
    calls().write = [&](int, const void*, std::size_t) { return answer(); };
    calls().ftruncate = [&](int, off_t) { return static_cast<int>(answer()); };
    calls().flock = [&](int, int) { return static_cast<int>(answer()); };
    char buf[8];
    std::size_t done = 0;

    answers = {-EINTR, -EINTR, 3};
    EXPECT_EQ(f.read(buf, sizeof buf), 3);
    answers = {-EIO};
    EXPECT_EQ(f.read(buf, sizeof buf), -EIO);
    answers = {2, -EINTR, 1, 3};
    EXPECT_EQ(f.write("abcdef", 6, done), 0);
    EXPECT_EQ(done, 6u);
    answers = {4, -ENOSPC};
    EXPECT_EQ(f.write("abcdef", 6, done), ENOSPC);
    EXPECT_EQ(done, 4u);
    answers = {0};  // a write that takes nothing would be tried for ever
    EXPECT_EQ(f.write("abcdef", 6, done), EIO);
    answers = {-EINTR, 0};
    EXPECT_EQ(f.truncate(10), 0);
    answers = {-EINTR, -EWOULDBLOCK};
    EXPECT_FALSE(f.lock());
    answers = {-ENOLCK};  // no locks on this file system: the run goes on
    EXPECT_TRUE(f.lock());
    EXPECT_TRUE(answers.empty());
}

TEST(FileCalls, FailedCloseIsReportedOnceAndNotRepeated) {
    // Interrupted, a close has still released the descriptor on Linux:
    // closing again could close a file opened since.
    for (const int error : {EIO, EINTR, ENOSPC}) {
        SCOPED_TRACE(error);
        scripted_file s(S_IFREG, {0});
        calls().close = [&s, error](int) {
            ++s.closes;
            errno = error;
            return -1;
        };
        {
            app::file f;
            ASSERT_EQ(f.open("FORCINGS_ASCII_lsf", app::run_file::output), 0);
            EXPECT_EQ(f.close(), error);
            EXPECT_EQ(f.close(), 0);
        }
        EXPECT_EQ(s.closes, 1);
    }
}

}  // namespace
