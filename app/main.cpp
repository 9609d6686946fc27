// lsf2ascii: converts the forcing data of ./lsf into the fixed-width file
// ./FORCINGS_ASCII_lsf. It takes no options and ignores its arguments.
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "app/convert.h"
#include "app/diagnostics.h"
#include "app/files.h"
#include "app/interrupts.h"
#include "app/storage.h"
#include "app/system.h"

namespace {

// Writes a diagnostic to standard error; where standard error is a file of
// the run, to the terminal if there is one instead, and never into the file.
void say(const std::string& text, bool stderr_is_a_file = false) {
    using namespace app;
    const int fd = stderr_is_a_file ? sys::retry([] { return sys::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC); })
                                    : STDERR_FILENO;
    for (std::size_t done = 0; fd >= 0 && done < text.size();) {
        const ssize_t n = sys::retry([&] { return sys::write(fd, text.data() + done, text.size() - done); });
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
}

int stop(const app::outcome& o, const app::opened_files& files, bool stderr_is_a_file = false) {
    say(app::describe(o, files), stderr_is_a_file);
    return app::exit_status(o);
}

}  // namespace

int main() {
    // Started with a standard descriptor closed (`2>&-`, some daemons), the
    // program would open a file on it and write its diagnostic into it.
    int closed = 0;
    if (const int e = app::open_standard_descriptors(closed); e != 0) {
        say(app::describe_closed_descriptor(closed, e));
        return 2;
    }

    // A diagnostic must never land in a file of the run (`>FORCINGS_ASCII_lsf
    // 2>&1`, `2>>lsf`): such a run ends before it changes anything.
    app::outcome o;
    app::opened_files files;
    for (const int descriptor : {STDERR_FILENO, STDOUT_FILENO}) {
        for (const app::statement s : {app::open_input, app::open_output}) {
            if (!app::is_open_on(descriptor, app::file_of(s))) continue;
            o.end = app::stream_is_a_file{descriptor, s};
            return stop(
                o, files,
                app::is_open_on(STDERR_FILENO, app::input_name) || app::is_open_on(STDERR_FILENO, app::output_name));
        }
    }
    app::catch_interrupts();

    // The buffers come first, so that a run that cannot have them changes
    // no file.
    app::run_buffers buffers;
    if (const int e = buffers.obtain(); e != 0) {
        o.end = app::no_buffers{e, app::run_buffers::bytes};
        return stop(o, files);
    }

    app::file input;
    if (const int e = input.open(app::input_name, true); e != 0) {
        o.end = app::open_failed{app::open_input, e, input.missing()};
        return stop(o, files);
    }
    app::file output;
    if (const int e = output.open(app::output_name, false); e != 0) {
        o.end = app::open_failed{app::open_output, e, output.missing()};
        return stop(o, files);
    }
    files = {input.created(), output.created(), output.regular()};
    // The first line written would destroy the input.
    if (output.same_file(input)) {
        o.end = app::same_file{};
        return stop(o, files);
    }
    // Two runs writing one file would interleave their lines.
    if (!output.lock()) {
        o.end = app::in_use{};
        return stop(o, files);
    }

    {
        app::guarded_output out(output);
        o = app::convert(input, out, buffers);
    }
    // A network file system may report a write it had taken only now: the
    // run has then lost output, and must not end as a complete one.
    if (const int e = output.close();
        e != 0 && o.output.kept.touched && !o.lost && !std::holds_alternative<app::write_failed>(o.end))
        o.lost = app::write_failed{app::write_data, e, true};
    return stop(o, files);
}
