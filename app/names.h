// The names the program's diagnostics use for itself, its files and the
// statements that touch them, and the compressors whose files it tells.
#pragma once

#include <cstdint>
#include <string_view>

namespace app {

inline constexpr std::string_view program_name = "lsf2ascii";

inline constexpr const char* input_name = "lsf";
inline constexpr const char* output_name = "FORCINGS_ASCII_lsf";

inline constexpr int input_unit = 10;
inline constexpr int output_unit = 20;

// The statements that touch a file, as the diagnostics number them.
enum statement : int {
    open_input = 9,
    open_output = 10,
    skip_title = 13,
    read_header = 18,
    read_row = 21,
    write_header = 63,
    write_data = 66,
};

// The two files of a run.
enum class run_file : std::uint8_t { input, output };

constexpr const char* name_of(run_file f) { return f == run_file::input ? input_name : output_name; }
constexpr statement opened_by(run_file f) { return f == run_file::input ? open_input : open_output; }

constexpr run_file file_touched_by(statement s) {
    return s == open_output || s == write_header || s == write_data ? run_file::output : run_file::input;
}
constexpr int unit_of(statement s) { return file_touched_by(s) == run_file::output ? output_unit : input_unit; }
constexpr const char* file_of(statement s) { return name_of(file_touched_by(s)); }

// Compressed files, by the bytes they begin with (what a user who forgot to
// decompress the input gives the program), and how to decompress one.
struct compressor {
    std::string_view name;
    std::string_view magic;
    std::string_view cat;     // the command that writes the file decompressed
    std::string_view suffix;  // the file name's usual ending
};
inline constexpr compressor compressors[] = {
    {"gzip", std::string_view("\x1f\x8b", 2), "zcat", "gz"},
    {"bzip2", "BZh", "bzcat", "bz2"},
    {"xz",
     std::string_view("\xfd"
                      "7zXZ\0",
                      6),
     "xzcat", "xz"},
    {"zstd", "\x28\xb5\x2f\xfd", "zstdcat", "zst"},
};
// The most bytes a compressor's mark takes.
inline constexpr std::size_t longest_magic = 6;

// The compressor whose files begin as `start` does, or null.
constexpr const compressor* compressor_of(std::string_view start) {
    for (const compressor& c : compressors)
        if (start.starts_with(c.magic)) return &c;
    return nullptr;
}

}  // namespace app
