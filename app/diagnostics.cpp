#include "app/diagnostics.h"

#include <csignal>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "app/rows.h"

namespace app {
namespace {

char* put(char* out, const char* text) {
    const std::size_t n = std::strlen(text);
    std::memcpy(out, text, n);
    return out + n;
}

char* put_count(char* out, std::uint64_t n) {
    char digits[20];
    int k = 0;
    do {
        digits[k++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    while (k > 0) *out++ = digits[--k];
    return out;
}

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

char* put_signal_name(char* out, int sig) {
    for (const named_signal& s : signal_names)
        if (s.sig == sig) return put(out, s.name);
#if defined(SIGRTMIN)
    if (sig >= SIGRTMIN && sig <= SIGRTMAX)
        return put_count(put(out, "SIGRTMIN+"), static_cast<std::uint64_t>(sig - SIGRTMIN));
#endif
    return put_count(put(out, "signal "), static_cast<std::uint64_t>(sig));
}

// A value from the input between double quotes, the bytes that do not print
// written \xHH, quotes and backslashes escaped; a value longer than the
// reader keeps is cut, with "..." after the closing quote.
std::string quote(std::string_view text) {
    const bool cut = text.size() > textio::reader::text_size;
    if (cut) text = text.substr(0, textio::reader::text_size);
    std::string s = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += ch;
        } else if (c < 0x20 || c >= 0x7f) {
            const char* const hex = "0123456789abcdef";
            s += "\\x";
            s += hex[c >> 4];
            s += hex[c & 15];
        } else {
            s += ch;
        }
    }
    s += cut ? "\"..." : "\"";
    return s;
}

std::string count(std::int64_t n, const char* thing) { return std::to_string(n) + " " + thing + (n == 1 ? "" : "s"); }

std::string where(statement s) {
    return "lsf2ascii: statement " + std::to_string(s) + ", unit " + std::to_string(unit_of(s)) + ", file " +
           file_of(s) + "\n";
}

std::string end_of_file(std::int64_t line, bool no_line_end) {
    return "end of file after input line " + std::to_string(line) + (no_line_end ? ", which has no line end" : "");
}

// The lines of each kind of end; `state` is what the output holds then.
struct lines_of {
    const outcome& o;
    const opened_files& files;

    std::string state() const {
        // An output the run created holds nothing yet, rather than what it held.
        textio::checkpoint kept = o.output.kept;
        kept.touched |= files.output_created;
        char text[output_state_room];
        return std::string(text, put_output_state(text, kept, files.output_regular, o.output.cut_error != 0)) +
               (o.output.cut_error != 0 ? std::string(": ") + std::strerror(o.output.cut_error) : "");
    }

    std::string operator()(const input_empty&) const {
        const char* const created = files.input_created && files.output_created
                                        ? " (lsf and FORCINGS_ASCII_lsf did not exist and have been created)"
                                    : files.input_created  ? " (lsf did not exist and has been created)"
                                    : files.output_created ? " (FORCINGS_ASCII_lsf did not exist and has been created)"
                                                           : "";
        return where(skip_title) + "end of file: the input is empty" + created + "\n";
    }
    std::string operator()(const input_ended& e) const {
        return where(read_header) + end_of_file(e.line, e.no_line_end) + ": " + count(e.blocks, "block") +
               " converted\n";
    }
    std::string operator()(const header_cut& e) const {
        return where(read_header) + end_of_file(e.line, e.no_line_end) + ", inside the header of block " +
               std::to_string(e.block) + ": " + std::to_string(e.values_read) + " of its 3 values read; " + state() +
               "\n";
    }
    std::string operator()(const block_cut& e) const {
        return where(read_row) + end_of_file(e.line, e.no_line_end) + ", inside block " + std::to_string(e.block) +
               " (header in input line " + std::to_string(e.header_line) + "): " + std::to_string(e.rows_read) +
               " of its " + count(e.nrows, "row") + " read; " + state() + "\n";
    }
    std::string operator()(const malformed_value& e) const {
        const char* const need = e.out_of_range ? " is an integer beyond the range of a 32-bit row count "
                                                  "(-2147483648 to 2147483647); "
                                 : e.expected == textio::kind::integer ? " must be an integer; "
                                                                       : " must be a real number; ";
        std::string s = where(e.where) + "malformed value " + quote(e.text) + " in input line " +
                        std::to_string(e.line) + ": item " + std::to_string(e.position) + need + state() + "\n";
        // A header that looks like a row: the block before it may have more rows than it says.
        if (e.before.block != 0 && e.line_values == in_columns)
            s += "input line " + std::to_string(e.line) + " holds " + std::to_string(in_columns) +
                 " values, as a row does: block " + std::to_string(e.before.block) + " (header in input line " +
                 std::to_string(e.before.header_line) + ") may have more rows than its header's nrows (" +
                 std::to_string(e.before.nrows) + ")\n";
        return s;
    }
    std::string operator()(const read_failed& e) const {
        return where(e.where) + "read failed in input line " + std::to_string(e.line) + ": " + std::strerror(e.error) +
               "; " + state() + "\n";
    }
    std::string operator()(const open_failed& e) const {
        return where(e.where) + "open failed: " +
               (e.missing ? std::string(file_of(e.where)) + " does not exist and cannot be created here: " : "") +
               std::strerror(e.error) + "\n";
    }
    std::string operator()(const same_file&) const {
        return where(open_output) + "open failed: " + output_name + " is the same file as " + input_name + "\n";
    }
    std::string operator()(const in_use&) const {
        return where(open_output) + "open failed: " + output_name + " is in use by another run\n";
    }
    std::string operator()(const stream_is_a_file& e) const {
        return where(e.file) + "open failed: " + (e.descriptor == 1 ? "standard output is " : "standard error is ") +
               file_of(e.file) + "\n";
    }
    std::string operator()(const write_failed& e) const {
        if (e.at_close)
            return where(e.where) + "write failed: " + std::strerror(e.error) + ", reported when " + output_name +
                   " was closed; it may hold fewer than the " +
                   count(static_cast<std::int64_t>(o.output.kept.blocks), "complete block") + " written\n";
        return where(e.where) + "write failed: " + std::strerror(e.error) + "; " + state() + "\n";
    }
    std::string operator()(const no_block_storage& e) const {
        return "lsf2ascii: block " + std::to_string(e.block) + " (header in input line " +
               std::to_string(e.header_line) + ") asks for storage for " + count(e.nrows, "row") + "\n" +
               no_memory(e.error);
    }
    std::string operator()(const no_buffers& e) const {
        return "lsf2ascii: the buffers of the input and the output ask for " +
               count(static_cast<std::int64_t>(e.bytes), "byte") + "\n" + no_memory(e.error);
    }

    static std::string no_memory(int error) {
        return "lsf2ascii: " + std::string(std::strerror(error)) + "\nAllocation would exceed memory limit\n";
    }
};

// How to decompress an input that a compressor wrote, for a run that
// converted nothing or failed.
std::string decompress_hint(const char* compressor) {
    struct tool {
        std::string_view name;
        const char* cat;
        const char* suffix;
    };
    static constexpr tool tools[] = {
        {"gzip", "zcat", "gz"}, {"bzip2", "bzcat", "bz2"}, {"xz", "xzcat", "xz"}, {"zstd", "zstdcat", "zst"}};
    for (const tool& t : tools) {
        if (t.name != compressor) continue;
        const std::string file = std::string("lsf.") + t.suffix;
        const std::string cat = std::string(t.cat) + " " + file + " > lsf";
        return "lsf looks compressed (" + std::string(t.name) + "): decompress it first (mv lsf " + file + "; " + cat +
               "), or through a FIFO (mv lsf " + file + "; mkfifo lsf; " + cat + " & lsf2ascii)\n";
    }
    return {};
}

}  // namespace

std::string describe(const outcome& o, const opened_files& files) {
    std::string s = std::visit(lines_of{o, files}, o.end);
    const auto* ended = std::get_if<input_ended>(&o.end);
    if (o.compressed != nullptr && (ended == nullptr || ended->blocks == 0)) s += decompress_hint(o.compressed);
    if (o.lost) s += lines_of{o, files}(*o.lost);
    return s;
}

int exit_status(const outcome& o) {
    if (o.lost) return 2;
    return std::holds_alternative<no_block_storage>(o.end) || std::holds_alternative<no_buffers>(o.end) ? 1 : 2;
}

char* put_output_state(char* out, const textio::checkpoint& kept, bool regular, bool cut_failed) {
    out = put(out, output_name);
    if (!kept.touched) return put(out, regular ? " left as it was" : " was sent nothing");
    out = put(out, !regular ? " was sent " : cut_failed ? " could not be cut back to " : " holds ");
    out = put_count(out, kept.blocks);
    return put(out, kept.blocks == 1 ? " complete block" : " complete blocks");
}

char* put_interruption(char* out, int sig, const textio::checkpoint& kept, bool regular, bool cut_failed) {
    out = put(out, "lsf2ascii: interrupted by ");
    out = put_signal_name(out, sig);
    *out++ = '\n';
    out = put_output_state(out, kept, regular, cut_failed);
    *out++ = '\n';
    return out;
}

std::string describe_closed_descriptor(int descriptor, int error) {
    return "lsf2ascii: descriptor " + std::to_string(descriptor) +
           " is closed and /dev/null cannot be opened: " + std::strerror(error) + "\n";
}

}  // namespace app
