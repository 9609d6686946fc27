#include "app/diagnostics.h"

#include <csignal>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace app {
namespace {

const char* const output_name = "FORCINGS_ASCII_lsf";

const char* file_name(int unit) { return unit == input_unit ? "lsf" : output_name; }

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

int unit_of(int statement) {
    return statement == open_output || statement == write_header || statement == write_data ? output_unit : input_unit;
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

// Where the input ended, beyond its line: how much a block header or a
// block lacks, or how many blocks were converted.
std::string end_of_input(const failure& f) {
    const std::int64_t block = std::int64_t{f.blocks} + 1;
    if (f.statement == read_row) {
        return ", inside block " + std::to_string(block) + " (header in input line " + std::to_string(f.header_line) +
               "): " + std::to_string(f.rows) + " of its " + count(f.nrows, "row") + " read";
    }
    if (f.position > 0) {
        return ", inside the header of block " + std::to_string(block) + ": " + std::to_string(f.position) +
               " of its 3 values read";
    }
    return ": " + count(f.blocks, "block") + " converted";
}

}  // namespace

std::string describe(const failure& f) {
    if (f.what == failure::kind::no_memory) {
        return "lsf2ascii: " + std::string(std::strerror(f.error)) + "\nAllocation would exceed memory limit\n";
    }
    const int unit = unit_of(f.statement);
    std::string s = "lsf2ascii: statement " + std::to_string(f.statement) + ", unit " + std::to_string(unit) +
                    ", file " + file_name(unit) + "\n";
    const std::string line = std::to_string(f.line);
    switch (f.what) {
        case failure::kind::end_of_file:
            if (f.statement == skip_title)
                s += f.created ? "end of file: the input is empty (it did not exist and has been created)\n"
                               : "end of file: the input is empty\n";
            else
                s += "end of file after input line " + line + end_of_input(f) + "\n";
            break;
        case failure::kind::malformed:
            s += "malformed value " + quote(f.text) + " in input line " + line + ": item " +
                 std::to_string(f.position) +
                 (f.expected == textio::kind::integer ? " must be an integer\n" : " must be a real number\n");
            break;
        case failure::kind::read_error:
            s += "read failed in input line " + line + ": " + std::strerror(f.error) + "\n";
            break;
        case failure::kind::open_error:
            s += std::string("open failed: ") + std::strerror(f.error) + "\n";
            break;
        case failure::kind::write_error: {
            char state[output_state_room];
            s += std::string("write failed: ") + std::strerror(f.error) + "; " +
                 std::string(state, put_output_state(state, f.kept, f.cut_error != 0));
            if (f.cut_error != 0) s += std::string(": ") + std::strerror(f.cut_error);
            s += "\n";
            break;
        }
        case failure::kind::same_file:
            s += std::string("open failed: ") + output_name + " is the same file as lsf\n";
            break;
        case failure::kind::in_use:
            s += std::string("open failed: ") + output_name + " is in use by another run\n";
            break;
        case failure::kind::no_memory:
            break;
    }
    return s;
}

char* put_output_state(char* out, const textio::checkpoint& kept, bool cut_failed) {
    out = put(out, output_name);
    if (!kept.touched) return put(out, " left as it was");
    out = put(out, cut_failed ? " could not be cut back to " : " holds ");
    out = put_count(out, kept.blocks);
    return put(out, kept.blocks == 1 ? " complete block" : " complete blocks");
}

char* put_interruption(char* out, int sig, const textio::checkpoint& kept, bool cut_failed) {
    out = put(out, "lsf2ascii: interrupted by ");
    out = put(out, sig == SIGINT    ? "SIGINT\n"
                   : sig == SIGTERM ? "SIGTERM\n"
                   : sig == SIGHUP  ? "SIGHUP\n"
                                    : "a signal\n");
    out = put_output_state(out, kept, cut_failed);
    *out++ = '\n';
    return out;
}

std::string describe_closed_descriptor(int descriptor, int error) {
    return "lsf2ascii: descriptor " + std::to_string(descriptor) +
           " is closed and /dev/null cannot be opened: " + std::strerror(error) + "\n";
}

int exit_status(const outcome& o) {
    if (o.lost) return 2;
    return o.end.what == failure::kind::no_memory ? 1 : 2;
}

}  // namespace app
