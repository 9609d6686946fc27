// Small things several tests and fuzz targets need alike, in one place so
// that a change to one of them is made once.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

namespace testing_support {

// A float's bit pattern, and the float of a bit pattern: the way to compare
// values to the bit (signed zeros, NaN payloads) and to name any float.
inline std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }
inline float from_bits(std::uint32_t b) { return std::bit_cast<float>(b); }

// An input row, and the data line the program writes for it in a block whose
// ref_value is 2: the ratio 2/2 makes the power 1. The same line is the one
// of the values 2, -0.08232, 5, 6, 669.667 and 4000.
inline const std::string row_text = "1 2 3 4 5 6 7\n";
inline const std::string row_line =
    "    2.000000000  -8.23200E-002    5.000000000    6.000000000   6.69667E+002   4.00000E+003\n";

// A block of that row, and the lines the program writes for it as the
// first block of a file.
inline const std::string block_text = " 1.0 1 2.0\n" + row_text;
inline const std::string first_block_lines =
    "001     001             1.00000          2.000          0.000\n" + row_line;

}  // namespace testing_support
