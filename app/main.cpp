// lsf2ascii: converts the forcing data of ./lsf into the fixed-width file
// ./FORCINGS_ASCII_lsf. It takes no options and ignores its arguments.
#include <csignal>
#include <cstdio>

#include "app/convert.h"
#include "app/diagnostics.h"
#include "app/files.h"
#include "app/interrupts.h"

namespace {

int stop(const app::outcome& o) {
    std::fputs(app::describe(o.end).c_str(), stderr);
    if (o.lost) std::fputs(app::describe(*o.lost).c_str(), stderr);
    return app::exit_status(o);
}

int stop_opening(int statement, app::failure::kind what, int error = 0) {
    app::outcome o;
    o.end.what = what;
    o.end.statement = statement;
    o.end.error = error;
    return stop(o);
}

}  // namespace

int main() {
    // Started with a standard descriptor closed (`2>&-`, some daemons), the
    // program would open a file on it and write its diagnostic into it.
    int closed = 0;
    if (const int e = app::open_standard_descriptors(closed); e != 0) {
        std::fputs(app::describe_closed_descriptor(closed, e).c_str(), stderr);
        return 2;
    }
    // A write beyond the file size limit fails with EFBIG like any other
    // failed write, instead of killing the process with part of a line in
    // the file.
    std::signal(SIGXFSZ, SIG_IGN);
    // Likewise an output pipe whose reader has gone: the write fails with EPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    app::catch_interrupts();

    using kind = app::failure::kind;
    app::file input;
    if (const int e = input.open("lsf", true); e != 0) return stop_opening(app::open_input, kind::open_error, e);
    app::file output;
    if (const int e = output.open("FORCINGS_ASCII_lsf", false); e != 0)
        return stop_opening(app::open_output, kind::open_error, e);
    // The first line written would destroy the input.
    if (output.same_file(input)) return stop_opening(app::open_output, kind::same_file);
    // Two runs writing one file would interleave their lines.
    if (!output.lock()) return stop_opening(app::open_output, kind::in_use);

    app::guarded_output out(output);
    app::outcome o = app::convert(input, out);
    o.end.created = input.created();
    return stop(o);
}
