// The names the program's diagnostics use for its files and for the
// statements that touch them.
#pragma once

namespace app {

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

constexpr int unit_of(statement s) {
    return s == open_output || s == write_header || s == write_data ? output_unit : input_unit;
}

constexpr const char* file_of(statement s) { return unit_of(s) == input_unit ? input_name : output_name; }

}  // namespace app
