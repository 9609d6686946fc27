// The reader's fast path: real values in their common forms, read straight
// from the buffer. The buffer holds a NUL right after the bytes read, which
// ends every scan: it is neither a digit, a letter nor a terminator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace textio {

inline bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\r'; }

// What ends a value, beside the end of the input: a blank, a line end, a
// comma or a slash.
inline bool is_terminator(int c) {
    constexpr std::uint64_t set = std::uint64_t{1} << ' ' | std::uint64_t{1} << '\t' | std::uint64_t{1} << '\r' |
                                  std::uint64_t{1} << '\n' | std::uint64_t{1} << ',' | std::uint64_t{1} << '/';
    return static_cast<unsigned>(c) < 64 && (set >> c & 1) != 0;
}

// The real value at p, when it is a number or an Inf, Infinity or NaN word
// and a terminator follows it: stores the value and returns the position of
// the terminator. Otherwise (a malformed value, a repeat count, a value
// running up to the end of the buffer, or the rare number that takes every
// digit to round) returns nullptr, and the general scan takes the value.
const char* scan_real(const char* p, float& out);

}  // namespace textio
