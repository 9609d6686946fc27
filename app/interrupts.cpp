#include "app/interrupts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "app/diagnostics.h"
#include "app/system.h"

namespace app {
namespace {

// The signals whose default action ends the process, but for SIGKILL and
// SIGSTOP, which cannot be caught, and SIGPIPE and SIGXFSZ, which the run
// ignores; the real-time signals join them when the handler is installed.
// A sanitizer build leaves the faults of the program itself (SIGSEGV,
// SIGBUS, SIGFPE) to the sanitizer, whose report says more.
#if defined(__SANITIZE_ADDRESS__)
#define LSF2ASCII_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LSF2ASCII_SANITIZED 1
#endif
#endif
constexpr int caught[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGUSR1, SIGUSR2,
    SIGALRM,   SIGTERM, SIGXCPU, SIGPROF, SIGVTALRM, SIGIO,   SIGSYS,
#if defined(SIGPWR)
    SIGPWR,
#endif
#if defined(SIGSTKFLT)
    SIGSTKFLT,
#endif
#if !defined(LSF2ASCII_SANITIZED)
    SIGSEGV,   SIGBUS,  SIGFPE,
#endif
};

// What the handler reads. Written only while the signals are held off, or
// (a FIFO or a device) where a stale value only makes the count in the
// diagnostic stale.
struct guarded_state {
    std::atomic<int> fd{-1};  // the output while it is a guarded regular file
    std::atomic<bool> regular{true};
    std::atomic<bool> touched{false};
    std::atomic<std::uint64_t> size{0};
    std::atomic<std::uint64_t> blocks{0};
    std::atomic<bool> quiet{false};  // standard error is the input, never to be written
};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
              std::atomic<std::uint64_t>::is_always_lock_free);

guarded_state state;

const sigset_t& caught_set() {
    static const sigset_t set = [] {
        sigset_t s;
        sigemptyset(&s);
        for (int sig : caught) sigaddset(&s, sig);
#if defined(SIGRTMIN)
        for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) sigaddset(&s, sig);
#endif
        return s;
    }();
    return set;
}

void for_each_caught(void (*f)(int)) {
    for (int sig : caught) f(sig);
#if defined(SIGRTMIN)
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) f(sig);
#endif
}

// How long the diagnostic of an interruption may wait for standard error to
// take it (a pipe whose reader has stopped, a paused pager): then it is given
// up, and the run ends all the same.
constexpr int diagnostic_wait_ms = 500;

// Only async-signal-safe calls from here on.
extern "C" void on_interrupt(int sig);

// Back to the default action, for each signal the handler was installed for.
void restore_default(int sig) {
    struct sigaction now;
    if (::sigaction(sig, nullptr, &now) != 0 || now.sa_handler != on_interrupt) return;
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
}

extern "C" void on_interrupt(int sig) {
    const textio::checkpoint kept{state.touched.load(), state.size.load(), state.blocks.load()};
    const int fd = state.fd.load();
    bool cut_failed = false;
    struct stat st;
    // Never longer: a file something else has cut short is not padded out.
    if (fd >= 0 && kept.touched && sys::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) > kept.size)
        cut_failed = sys::retry([&] { return sys::ftruncate(fd, static_cast<off_t>(kept.size)); }) != 0;
    // The output is whole now: from here on any caught signal ends the
    // process at once, the diagnostic's wait included.
    for_each_caught(restore_default);
    ::sigprocmask(SIG_UNBLOCK, &caught_set(), nullptr);
    message m;
    put_interruption(m, sig, kept, state.regular.load(), cut_failed);
    std::size_t done = 0;
    if (!state.quiet) sys::write_all(STDERR_FILENO, m.view().data(), m.view().size(), done, diagnostic_wait_ms);
    // End by the same signal, with its default action.
    ::raise(sig);
    ::_exit(128 + sig);
}

// Installs the handler, unless the signal is ignored: a run started under
// nohup goes on ignoring SIGHUP.
void catch_one(int sig) {
    struct sigaction old;
    if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    struct sigaction sa = {};
    sa.sa_handler = on_interrupt;
    // One signal at a time until the output is whole.
    sa.sa_mask = caught_set();
    ::sigaction(sig, &sa, nullptr);
}

}  // namespace

void catch_interrupts() {
    // A write beyond the file size limit fails with EFBIG like any other
    // failed write, instead of killing the process with part of a line in
    // the file; likewise an output pipe whose reader has gone, with EPIPE.
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    for_each_caught(catch_one);
}

void keep_off_standard_error() { state.quiet = true; }

guarded_output::guarded_output(file& out) : out_(out) {
    sigemptyset(&before_);
    state.regular = out_.regular();
    // An output the run created holds nothing yet, rather than what it held.
    state.touched = out_.created();
    if (out_.regular()) state.fd = out_.descriptor();
}

guarded_output::~guarded_output() { state.fd = -1; }

void guarded_output::begin_change() {
    if (!out_.regular()) return;
    ::sigprocmask(SIG_BLOCK, &caught_set(), &before_);
}

void guarded_output::end_change(const textio::checkpoint& kept) {
    state.touched = kept.touched;
    state.size = kept.size;
    state.blocks = kept.blocks;
    if (out_.regular()) ::sigprocmask(SIG_SETMASK, &before_, nullptr);
}

}  // namespace app
