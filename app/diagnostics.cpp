#include "app/diagnostics.h"

#include <csignal>
#include <cstring>

#include "app/rows.h"

namespace app {

message& message::operator<<(std::string_view s) {
    const std::size_t n = std::min(s.size(), capacity - size_);
    std::memcpy(text_ + size_, s.data(), n);
    size_ += n;
    return *this;
}

message& message::put_count(std::uint64_t n) {
    char digits[20];
    int k = 0;
    do {
        digits[k++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    while (k > 0) *this << digits[--k];
    return *this;
}

namespace {

// Every line the program writes of its own begins with its name.
message& begin(message& m) { return m << program_name << ": "; }

// The signals whose names the diagnostic spells out; the real-time ones are
// SIGRTMIN+n.
struct named_signal {
    int sig;
    const char* name;
};
const named_signal signal_names[] = {
    {SIGHUP, "SIGHUP"},       {SIGINT, "SIGINT"},       {SIGQUIT, "SIGQUIT"}, {SIGILL, "SIGILL"},
    {SIGTRAP, "SIGTRAP"},     {SIGABRT, "SIGABRT"},     {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},
    {SIGUSR1, "SIGUSR1"},     {SIGSEGV, "SIGSEGV"},     {SIGUSR2, "SIGUSR2"}, {SIGPIPE, "SIGPIPE"},
    {SIGALRM, "SIGALRM"},     {SIGTERM, "SIGTERM"},     {SIGXCPU, "SIGXCPU"}, {SIGXFSZ, "SIGXFSZ"},
    {SIGPROF, "SIGPROF"},     {SIGVTALRM, "SIGVTALRM"}, {SIGIO, "SIGIO"},     {SIGSYS, "SIGSYS"},
#if defined(SIGPWR)
    {SIGPWR, "SIGPWR"},
#endif
#if defined(SIGSTKFLT)
    {SIGSTKFLT, "SIGSTKFLT"},
#endif
};

void put_signal_name(message& m, int sig) {
    for (const named_signal& s : signal_names)
        if (s.sig == sig) {
            m << s.name;
            return;
        }
#if defined(SIGRTMIN)
    if (sig >= SIGRTMIN && sig <= SIGRTMAX) {
        m << "SIGRTMIN+" << sig - SIGRTMIN;
        return;
    }
#endif
    m << "signal " << sig;
}

// A value from the input between double quotes, the bytes that do not print
// written \xHH, quotes and backslashes escaped; a value longer than the
// reader keeps is cut, with "..." after the closing quote.
void put_quoted(message& m, std::string_view text) {
    const bool cut = text.size() > textio::reader::text_size;
    if (cut) text = text.substr(0, textio::reader::text_size);
    m << '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            m << '\\' << ch;
        } else if (c < 0x20 || c >= 0x7f) {
            const char* const hex = "0123456789abcdef";
            m << "\\x" << hex[c >> 4] << hex[c & 15];
        } else {
            m << ch;
        }
    }
    m << (cut ? "\"..." : "\"");
}

struct counted {
    std::int64_t n;
    const char* thing;
};
message& operator<<(message& m, const counted& c) { return m << c.n << ' ' << c.thing << (c.n == 1 ? "" : "s"); }

// The first line of a diagnostic.
message& where(message& m, statement s) {
    return begin(m) << "statement " << static_cast<int>(s) << ", unit " << unit_of(s) << ", file " << file_of(s)
                    << '\n';
}

statement statement_of(textio::line_kind line) { return line == textio::line_kind::header ? write_header : write_data; }

message& end_of_file(message& m, std::int64_t line, bool no_line_end) {
    return m << "end of file after input line " << line << (no_line_end ? ", which has no line end" : "");
}

// The lines of each kind of end; `state` is what the output holds then.
struct lines_of {
    message& m;
    const outcome& o;
    const opened_files& files;

    void state() const {
        // An output the run created holds nothing yet, rather than what it held.
        textio::checkpoint kept = o.output.kept;
        kept.touched |= files.output_created;
        put_output_state(m, kept, files.output_regular, o.output.cut_error != 0);
        if (o.output.cut_error != 0) m << ": " << std::strerror(o.output.cut_error);
    }

    void operator()(const input_empty&) const {
        where(m, skip_title) << "end of file: the input is empty";
        if (files.input_created && files.output_created)
            m << " (" << input_name << " and " << output_name << " did not exist and have been created)";
        else if (files.input_created || files.output_created)
            m << " (" << (files.input_created ? input_name : output_name) << " did not exist and has been created)";
        m << '\n';
    }
    void operator()(const input_ended& e) const {
        end_of_file(where(m, read_header), e.line, e.no_line_end)
            << ": " << counted{e.blocks, "block"} << " converted\n";
    }
    void operator()(const header_cut& e) const {
        end_of_file(where(m, read_header), e.line, e.no_line_end)
            << ", inside the header of block " << e.block << ": " << e.values_read << " of its 3 values read; ";
        state();
        m << '\n';
    }
    void operator()(const block_cut& e) const {
        end_of_file(where(m, read_row), e.line, e.no_line_end)
            << ", inside block " << e.block << " (header in input line " << e.header_line << "): " << e.rows_read
            << " of its " << counted{e.nrows, "row"} << " read; ";
        state();
        m << '\n';
    }
    void operator()(const malformed_value& e) const {
        where(m, e.where) << "malformed value ";
        put_quoted(m, e.text.view());
        m << " in input line " << e.line << ": item " << e.position
          << (e.out_of_range                        ? " is an integer beyond the range of a 32-bit row count "
                                                      "(-2147483648 to 2147483647); "
              : e.expected == textio::kind::integer ? " must be an integer; "
                                                    : " must be a real number; ");
        state();
        m << '\n';
        // A header that looks like a row: the block before it may have more rows than it says.
        if (e.before.block != 0 && e.line_values == in_columns)
            m << "input line " << e.line << " holds " << in_columns << " values, as a row does: block "
              << e.before.block << " (header in input line " << e.before.header_line
              << ") may have more rows than its header's nrows (" << e.before.nrows << ")\n";
    }
    void operator()(const read_failed& e) const {
        where(m, e.where) << "read failed in input line " << e.line << ": " << std::strerror(e.error) << "; ";
        state();
        m << '\n';
    }
    void operator()(const open_failed& e) const {
        where(m, e.where) << "open failed: ";
        if (e.missing) m << file_of(e.where) << " does not exist and cannot be created here: ";
        m << std::strerror(e.error) << '\n';
    }
    void operator()(const same_file&) const {
        where(m, open_output) << "open failed: " << output_name << " is the same file as " << input_name << '\n';
    }
    void operator()(const in_use&) const {
        where(m, open_output) << "open failed: " << output_name << " is in use by another run\n";
    }
    void operator()(const stream_is_a_file& e) const {
        where(m, opened_by(e.file)) << "open failed: "
                                    << (e.descriptor == 1 ? "standard output is " : "standard error is ")
                                    << name_of(e.file) << '\n';
        if (e.file == run_file::output)
            m << program_name << " writes " << output_name << " itself and needs no redirection\n";
    }
    void operator()(const write_failed& e) const {
        where(m, statement_of(e.line)) << "write failed: " << std::strerror(e.error) << "; ";
        state();
        m << '\n';
    }
    void operator()(const close_failed& e) const {
        where(m, write_data) << "write failed: " << std::strerror(e.error) << ", reported when " << output_name
                             << " was closed; it may hold fewer than the "
                             << counted{static_cast<std::int64_t>(o.output.kept.blocks), "complete block"}
                             << " written\n";
    }
    void operator()(const output_cut_short& e) const {
        where(m, statement_of(e.line)) << "write failed: " << output_name << " was cut short by another process ("
                                       << counted{static_cast<std::int64_t>(e.size), "byte"} << " of the " << e.written
                                       << " this run wrote); what it holds is not the conversion\n";
    }
    void operator()(const output_replaced& e) const {
        begin(m) << output_name << " was renamed or removed by another process during the run: "
                 << (e.name_exists ? "the file that has the name now is not this run's output\n"
                                   : "no file has the name now\n");
    }
    void operator()(const no_block_storage& e) const {
        begin(m) << "block " << e.block << " (header in input line " << e.header_line << ") asks for storage for "
                 << counted{e.nrows, "row"} << "; ";
        state();
        m << '\n';
        no_memory(e.error);
    }
    void operator()(const no_buffers& e) const {
        begin(m) << "the buffers of the input and the output ask for "
                 << counted{static_cast<std::int64_t>(e.bytes), "byte"} << '\n';
        no_memory(e.error);
    }
    void operator()(const loss& l) const { std::visit(*this, l); }

    void no_memory(int error) const { begin(m) << std::strerror(error) << "\nAllocation would exceed memory limit\n"; }
};

// How to decompress an input that a compressor wrote, for a run that
// converted nothing or failed.
void put_decompress_hint(message& m, const compressor& c) {
    const auto put_cat = [&] { m << c.cat << ' ' << input_name << '.' << c.suffix << " > " << input_name; };
    const auto put_move = [&] { m << "mv " << input_name << ' ' << input_name << '.' << c.suffix << "; "; };
    m << input_name << " looks compressed (" << c.name << "): decompress it first (";
    put_move();
    put_cat();
    m << "), or through a FIFO (";
    put_move();
    m << "mkfifo " << input_name << "; ";
    put_cat();
    m << " & " << program_name << "; rm " << input_name << ")\n";
}

}  // namespace

message describe(const outcome& o, const opened_files& files) {
    message m;
    const lines_of lines{m, o, files};
    std::visit(lines, o.end);
    const auto* ended = std::get_if<input_ended>(&o.end);
    if (o.compressed != nullptr && (ended == nullptr || ended->blocks == 0)) put_decompress_hint(m, *o.compressed);
    if (o.lost) lines(*o.lost);
    return m;
}

int exit_status(const outcome& o) {
    if (o.lost) return 2;
    return std::holds_alternative<no_block_storage>(o.end) || std::holds_alternative<no_buffers>(o.end) ? 1 : 2;
}

void put_output_state(message& m, const textio::checkpoint& kept, bool regular, bool cut_failed) {
    m << output_name;
    if (!kept.touched) {
        m << (regular ? " left as it was" : " was sent nothing");
        return;
    }
    m << (!regular     ? " was sent "
          : cut_failed ? " could not be cut back to "
                       : " holds ")
      << kept.blocks << (kept.blocks == 1 ? " complete block" : " complete blocks");
}

void put_interruption(message& m, int sig, const textio::checkpoint& kept, bool regular, bool cut_failed) {
    begin(m) << "interrupted by ";
    put_signal_name(m, sig);
    m << '\n';
    put_output_state(m, kept, regular, cut_failed);
    m << '\n';
}

message describe_closed_descriptor(int descriptor, int error) {
    message m;
    begin(m) << "descriptor " << descriptor << " is closed and /dev/null cannot be opened: " << std::strerror(error)
             << '\n';
    return m;
}

}  // namespace app
