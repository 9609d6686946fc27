// lsf2ascii: converts the forcing data of ./lsf into the fixed-width file
// ./FORCINGS_ASCII_lsf. It takes no options and ignores its arguments.
#include <csignal>
#include <cstdio>

#include "app/convert.h"
#include "app/diagnostics.h"
#include "app/files.h"

namespace {

int stop(const app::outcome& o) {
    std::fputs(app::describe(o.end).c_str(), stderr);
    if (o.lost) std::fputs(app::describe(*o.lost).c_str(), stderr);
    return app::exit_status(o);
}

int stop_opening(int statement, int error) {
    app::outcome o;
    o.end.what = app::failure::kind::open_error;
    o.end.statement = statement;
    o.end.error = error;
    return stop(o);
}

}  // namespace

int main() {
    // A write beyond the file size limit fails with EFBIG like any other
    // failed write, instead of killing the process with part of a line in
    // the file.
    std::signal(SIGXFSZ, SIG_IGN);
    // Likewise an output pipe whose reader has gone: the write fails with EPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    app::file input;
    if (const int e = input.open("lsf", true); e != 0) return stop_opening(app::open_input, e);
    app::file output;
    if (const int e = output.open("FORCINGS_ASCII_lsf", false); e != 0) return stop_opening(app::open_output, e);
    app::outcome o = app::convert(input, output);
    o.end.created = input.created();
    return stop(o);
}
