// lsf2ascii: converts the forcing data of ./lsf into the fixed-width file
// ./FORCINGS_ASCII_lsf. It takes no options and ignores its arguments.
#include <fcntl.h>
#include <unistd.h>

#include "app/convert.h"
#include "app/diagnostics.h"
#include "app/files.h"
#include "app/interrupts.h"
#include "app/storage.h"
#include "app/system.h"

namespace {

// Where a run's diagnostic goes: standard error, or, where standard error
// is the input, the terminal if there is one, and nowhere otherwise.
int diagnostic_to = STDERR_FILENO;

void say(const app::message& m) {
    using namespace app;
    const int fd = diagnostic_to >= 0
                       ? diagnostic_to
                       : sys::retry([] { return sys::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC); });
    std::size_t done = 0;
    if (fd >= 0) sys::write_all(fd, m.view().data(), m.view().size(), done);
    if (fd != diagnostic_to && fd >= 0) sys::close(fd);
}

int stop(const app::outcome& o, const app::opened_files& files) {
    say(app::describe(o, files));
    return app::exit_status(o);
}

void say_waiting() {
    app::message m;
    m << app::program_name << ": waiting for a writer on the FIFO " << app::input_name << '\n';
    say(m);
}

// A write refused because another process had cut the output short, as
// what it is.
template <class Variant>
void name_cut_short(Variant& v, app::file& output) {
    const auto* w = std::get_if<app::write_failed>(&v);
    app::file::cut_short_sizes sizes;
    if (w != nullptr && w->error == app::file::cut_short_error && output.cut_short(sizes))
        v = app::output_cut_short{w->line, sizes.size, sizes.written};
}

}  // namespace

int main() {
    // Every guard is in place before anything is written anywhere: a
    // refusal written to a broken pipe must not end the run by SIGPIPE.
    app::catch_interrupts();

    // Started with a standard descriptor closed (`2>&-`, some daemons), the
    // program would open a file on it and write its diagnostic into it.
    int closed = 0;
    if (const int e = app::open_standard_descriptors(closed); e != 0) {
        say(app::describe_closed_descriptor(closed, e));
        return 2;
    }

    // A diagnostic must never land in a file of the run (`>FORCINGS_ASCII_lsf
    // 2>&1`, `2>>lsf`): such a run ends before it changes anything. Where
    // standard error is the output, the refusal goes there, as the user
    // directed; the input is never written.
    app::outcome o;
    app::opened_files files;
    if (app::is_open_on(STDERR_FILENO, app::input_name)) {
        diagnostic_to = -1;
        app::keep_off_standard_error();
    }
    for (const int descriptor : {STDERR_FILENO, STDOUT_FILENO}) {
        for (const app::run_file f : {app::run_file::input, app::run_file::output}) {
            if (!app::is_open_on(descriptor, app::name_of(f))) continue;
            o.end = app::stream_is_a_file{descriptor, f};
            return stop(o, files);
        }
    }

    // The buffers come first, so that a run that cannot have them changes
    // no file.
    app::run_buffers buffers;
    if (const int e = buffers.obtain(); e != 0) {
        o.end = app::no_buffers{e, app::run_buffers::bytes};
        return stop(o, files);
    }

    app::file input;
    if (const int e =
            input.open(app::input_name, app::run_file::input, ::isatty(STDERR_FILENO) ? say_waiting : nullptr);
        e != 0) {
        o.end = app::open_failed{app::open_input, e, input.missing()};
        return stop(o, files);
    }
    app::file output;
    if (const int e = output.open(app::output_name, app::run_file::output); e != 0) {
        o.end = app::open_failed{app::open_output, e, output.missing()};
        return stop(o, files);
    }
    files = {input.created(), output.created(), output.regular()};
    // The first line written would destroy the input.
    if (output.same_file(input)) {
        o.end = app::same_file{};
        return stop(o, files);
    }
    // Two runs writing one file would interleave their lines. A run refused
    // leaves nothing it created.
    if (!output.lock()) {
        input.remove_if_created(app::input_name);
        output.remove_if_created(app::output_name);
        o.end = app::in_use{};
        return stop(o, {});
    }

    {
        app::guarded_output out(output);
        o = app::convert(input, out, buffers);
    }
    name_cut_short(o.end, output);
    if (o.lost) name_cut_short(*o.lost, output);
    // What another process did to the output meanwhile: cut it short, or
    // took its name away. The file is then not the conversion.
    bool name_exists = false;
    app::file::cut_short_sizes sizes;
    if (!o.lost && !std::holds_alternative<app::output_cut_short>(o.end) &&
        (o.output.kept.touched || files.output_created) && output.regular()) {
        if (output.cut_short(sizes))
            o.lost = app::output_cut_short{textio::line_kind::data, sizes.size, sizes.written};
        else if (!output.named(app::output_name, name_exists))
            o.lost = app::output_replaced{name_exists};
    }
    // A network file system may report a write it had taken only now: the
    // run has then lost output, and must not end as a complete one.
    if (const int e = output.close();
        e != 0 && o.output.kept.touched && !o.lost && !std::holds_alternative<app::write_failed>(o.end))
        o.lost = app::close_failed{e};
    return stop(o, files);
}
