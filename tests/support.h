// Small things several tests and fuzz targets need alike, in one place so
// that a change to one of them is made once.
#pragma once

#include <bit>
#include <cstdint>

namespace testing_support {

// A float's bit pattern, and the float of a bit pattern: the way to compare
// values to the bit (signed zeros, NaN payloads) and to name any float.
inline std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }
inline float from_bits(std::uint32_t b) { return std::bit_cast<float>(b); }

}  // namespace testing_support
