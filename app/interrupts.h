// Runs ended by a signal: the output is cut back to its last complete block,
// a diagnostic says so, and the process ends by that same signal, so that a
// shell sees the usual status (130 for Ctrl-C) and a core is dumped where
// the signal's default makes one.
#pragma once

#include <signal.h>

#include "app/files.h"

namespace app {

// Installs the handler for every signal whose default action ends the
// process and that can be caught, unless it is ignored: a run started
// under nohup goes on ignoring SIGHUP. SIGPIPE and SIGXFSZ are ignored
// instead: a write then fails like any other, and the block loop reports it.
// Until an output is guarded, the handler leaves the output as it was.
void catch_interrupts();

// From now on the handler writes nothing to standard error (it is the input).
void keep_off_standard_error();

// The run's output as the writer sees it. Each change of a regular file
// happens with the caught signals held off, and the handler then knows what
// to cut it back to. FIFOs and devices cannot be cut back; their changes are
// not held off, so that a reader that stops reading cannot make the run
// deaf to Ctrl-C.
class guarded_output final : public textio::sink {
public:
    explicit guarded_output(file& out);
    ~guarded_output() override;
    guarded_output(const guarded_output&) = delete;
    guarded_output& operator=(const guarded_output&) = delete;

    int write(const char* data, std::size_t n, std::size_t& done) override { return out_.write(data, n, done); }
    int truncate(std::uint64_t size) override { return out_.truncate(size); }
    void begin_change() override;
    void end_change(const textio::checkpoint& kept) override;

private:
    file& out_;
    sigset_t before_;  // the signal mask outside a change
};

}  // namespace app
