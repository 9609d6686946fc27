// The reader's fast paths: real values in their common forms, read straight
// from the buffer. The buffer holds a NUL right after the bytes read, which
// ends every scan: it is neither a digit, a letter nor a terminator; and
// `window_size` bytes more after it, which the scans read but never use.
//
// Each scan takes the real value at p, when it is a number or an Inf,
// Infinity or NaN word and a terminator follows it: stores the value and its
// form in `shape` (which values of the same form share), and returns the
// position of the terminator, or of the first byte after it that is not a
// space. Otherwise (a malformed value, a repeat count, a value running up to
// the end of the buffer, or the rare number that takes every digit to round)
// it returns nullptr, and the general scan takes the value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textio/decimal.h"

namespace textio {

inline bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\r'; }

// What ends a value, beside the end of the input: a blank, a line end, a
// comma or a slash.
inline bool is_terminator(int c) {
    constexpr std::uint64_t set = std::uint64_t{1} << ' ' | std::uint64_t{1} << '\t' | std::uint64_t{1} << '\r' |
                                  std::uint64_t{1} << '\n' | std::uint64_t{1} << ',' | std::uint64_t{1} << '/';
    return static_cast<unsigned>(c) < 64 && (set >> c & 1) != 0;
}

namespace detail {

inline bool is_digit(char c) { return static_cast<unsigned>(c - '0') <= 9; }

// Appends the digits at p to w (which wraps past 19 digits), two at a time;
// returns how many there were.
inline std::ptrdiff_t append_digits(const char*& p, std::uint64_t& w) {
    const char* const start = p;
    for (;;) {
        const unsigned d0 = static_cast<unsigned char>(p[0]) - unsigned{'0'};
        if (d0 > 9) break;
        const unsigned d1 = static_cast<unsigned char>(p[1]) - unsigned{'0'};
        if (d1 > 9) {
            w = w * 10 + d0;
            ++p;
            break;
        }
        w = w * 100 + (d0 * 10 + d1);
        p += 2;
    }
    return p - start;
}

// The rare cases, out of line: the words, and numbers of more than 19 digits.
const char* scan_word(const char* p, bool negative, float& out);
bool convert_long(const char* first, const char* last, std::int64_t exp10, bool negative, float& out);

// The form of a value as `shape` tells it: its order of magnitude, the
// power of ten of its first digit (leading zeros counted as digits), in
// steps of four. Values of the same column whose magnitudes keep jumping
// come in forms the processor cannot foresee (an exponent or none, of either
// sign, digits as many as the magnitude wants); those of a column whose
// magnitude drifts slowly, as data sampled along a profile, do not, whatever
// their digits.
inline unsigned form(std::int64_t magnitude) { return static_cast<unsigned>(magnitude >> 2) & 0xffff; }
inline constexpr unsigned word_form = 1u << 16;

}  // namespace detail

// Byte by byte: the quickest where values follow in forms that the processor
// learns to foresee, as the columns of most files do. Inline, as the reader
// calls it for nearly every value.
[[gnu::always_inline]] inline const char* scan_real_by_bytes(const char* p, float& out, unsigned& shape) {
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    const char* const first = p;
    std::uint64_t w = 0;
    std::ptrdiff_t digits = detail::append_digits(p, w);
    std::ptrdiff_t fraction = 0;
    if (*p == '.') {
        ++p;
        fraction = detail::append_digits(p, w);
        digits += fraction;
    } else if (digits == 0) {
        shape = detail::word_form;
        return detail::scan_word(p, negative, out);
    }
    if (digits == 0) return nullptr;
    const char* const last = p;

    std::int64_t exp10 = 0;
    char c = *p;
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == '+' || c == '-') {
        if (c != '+' && c != '-') c = *++p;
        const bool minus = c == '-';
        if (c == '+' || c == '-') ++p;
        if (!detail::is_digit(*p)) return nullptr;
        std::int64_t e = 0;
        // Saturated far beyond any exponent that leaves a finite non-zero.
        for (; detail::is_digit(*p); ++p)
            if (e < 100000000) e = e * 10 + (*p - '0');
        exp10 = minus ? -e : e;
    }
    if (!is_terminator(*p)) return nullptr;

    if (digits <= 19 ? !to_float_quickly(w, exp10 - fraction, negative, out)
                     : !detail::convert_long(first, last, exp10, negative, out))
        return nullptr;
    shape = detail::form(exp10 + (digits - fraction));
    return p;
}

}  // namespace textio
