#include "app/interrupts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "app/diagnostics.h"

namespace app {
namespace {

constexpr int caught[] = {SIGINT, SIGTERM, SIGHUP};

// What the handler reads. Written only while the signals are held off, or
// (a FIFO or a device) where a stale value only makes the count in the
// diagnostic stale.
struct guarded_state {
    std::atomic<int> fd{-1};  // the output while it is a guarded regular file
    std::atomic<bool> touched{false};
    std::atomic<std::uint64_t> size{0};
    std::atomic<std::uint64_t> blocks{0};
};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
              std::atomic<std::uint64_t>::is_always_lock_free);

guarded_state state;

sigset_t caught_set() {
    sigset_t s;
    sigemptyset(&s);
    for (int sig : caught) sigaddset(&s, sig);
    return s;
}

// Only async-signal-safe calls from here on.
extern "C" void on_interrupt(int sig) {
    const textio::checkpoint kept{state.touched.load(), state.size.load(), state.blocks.load()};
    const int fd = state.fd.load();
    bool cut_failed = false;
    struct stat st;
    // Never longer: a file something else has cut short is not padded out.
    if (fd >= 0 && kept.touched && ::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) > kept.size) {
        int r;
        while ((r = ::ftruncate(fd, static_cast<off_t>(kept.size))) != 0 && errno == EINTR) {}
        cut_failed = r != 0;
    }
    char text[interruption_room];
    const char* const end = put_interruption(text, sig, kept, cut_failed);
    for (const char* p = text; p < end;) {
        const ssize_t n = ::write(STDERR_FILENO, p, static_cast<std::size_t>(end - p));
        if (n > 0)
            p += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    // End by the same signal: pending while the handler runs, it is
    // delivered with the default action once unblocked.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, sig);
    ::sigprocmask(SIG_UNBLOCK, &s, nullptr);
    ::_exit(128 + sig);
}

}  // namespace

void catch_interrupts() {
    struct sigaction sa = {};
    sa.sa_handler = on_interrupt;
    // One signal at a time: the handler ends the process.
    sa.sa_mask = caught_set();
    for (int sig : caught) {
        struct sigaction old;
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) ::sigaction(sig, &sa, nullptr);
    }
}

guarded_output::guarded_output(file& out) : out_(out) {
    sigemptyset(&before_);
    if (out_.regular()) state.fd = out_.descriptor();
}

guarded_output::~guarded_output() { state.fd = -1; }

void guarded_output::begin_change() {
    if (!out_.regular()) return;
    const sigset_t s = caught_set();
    ::sigprocmask(SIG_BLOCK, &s, &before_);
}

void guarded_output::end_change(const textio::checkpoint& kept) {
    state.touched = kept.touched;
    state.size = kept.size;
    state.blocks = kept.blocks;
    if (out_.regular()) ::sigprocmask(SIG_SETMASK, &before_, nullptr);
}

}  // namespace app
