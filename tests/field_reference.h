// The text of a real field worked out a second way, from the C library's
// own conversion of the float widened to double (exact, rounded to nearest
// with ties to even), rewritten into the field's layout: right-aligned in
// its width, asterisks when too long, the words Infinity and NaN, a minus
// sign on every value whose sign bit is set, E and a signed three-digit
// exponent.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "textio/fields.h"

namespace reference {

constexpr int width = 15;

// The real field kinds of the output lines.
enum class kind { fixed9, fixed5, fixed3, scientific };

constexpr kind all_kinds[] = {kind::fixed9, kind::fixed5, kind::fixed3, kind::scientific};

inline const char* name(kind k) {
    switch (k) {
        case kind::fixed9:
            return "F15.9";
        case kind::fixed5:
            return "F15.5";
        case kind::fixed3:
            return "F15.3";
        case kind::scientific:
            return "ES15.5E3";
    }
    return "?";
}

// The program's name for the same field kind, for textio::put_real: the one
// map from a kind to the field the program fills, for every test of fields.
inline textio::real_field program_kind(kind k) {
    switch (k) {
        case kind::fixed9:
            return textio::real_field::f15_9;
        case kind::fixed5:
            return textio::real_field::f15_5;
        case kind::fixed3:
            return textio::real_field::f15_3;
        case kind::scientific:
            break;
    }
    return textio::real_field::es15_5e3;
}

inline int decimals(kind k) { return k == kind::fixed9 ? 9 : k == kind::fixed5 ? 5 : 3; }

// How the digits are produced: printf, or std::to_chars with a precision
// (faster; it must agree with printf, which the exhaustive check verifies).
enum class method { printf, to_chars };

// The raw conversion of d: "%.Nf" or "%.5e". Returns its length.
inline int convert(char* buf, std::size_t size, double d, kind k, method m) {
    if (m == method::printf) {
        return k == kind::scientific ? std::snprintf(buf, size, "%.5e", d)
                                     : std::snprintf(buf, size, "%.*f", decimals(k), d);
    }
    const auto r = k == kind::scientific ? std::to_chars(buf, buf + size, d, std::chars_format::scientific, 5)
                                         : std::to_chars(buf, buf + size, d, std::chars_format::fixed, decimals(k));
    return r.ec == std::errc{} ? static_cast<int>(r.ptr - buf) : -1;
}

inline void right_align(char* field, const char* text, int n) {
    if (n > width) {
        std::memset(field, '*', width);
        return;
    }
    std::memset(field, ' ', static_cast<std::size_t>(width - n));
    std::memcpy(field + (width - n), text, static_cast<std::size_t>(n));
}

// Fills field[0..14] with the expected text of v.
inline void field(char* field, float v, kind k, method m = method::printf) {
    if (std::isnan(v)) return right_align(field, "NaN", 3);
    if (std::isinf(v)) return v < 0 ? right_align(field, "-Infinity", 9) : right_align(field, "Infinity", 8);

    char raw[128];
    int n = convert(raw, sizeof raw, static_cast<double>(v), k, m);
    if (n < 0 || n >= static_cast<int>(sizeof raw)) {
        std::memset(field, '?', width);  // cannot happen for a float; shows as a mismatch
        return;
    }
    char text[160];
    int t = 0;
    if (std::signbit(v) && raw[0] != '-') text[t++] = '-';
    if (k != kind::scientific) {
        std::memcpy(text + t, raw, static_cast<std::size_t>(n));
        t += n;
    } else {
        // d.ddddde+XX -> d.dddddE+0XX
        const char* e = static_cast<const char*>(std::memchr(raw, 'e', static_cast<std::size_t>(n)));
        if (e == nullptr) {
            std::memset(field, '?', width);
            return;
        }
        const int mantissa = static_cast<int>(e - raw);
        std::memcpy(text + t, raw, static_cast<std::size_t>(mantissa));
        t += mantissa;
        text[t++] = 'E';
        text[t++] = e[1];
        const int exponent_digits = n - mantissa - 2;
        for (int i = exponent_digits; i < 3; ++i) text[t++] = '0';
        std::memcpy(text + t, e + 2, static_cast<std::size_t>(exponent_digits));
        t += exponent_digits;
    }
    right_align(field, text, t);
}

inline std::string field(float v, kind k, method m = method::printf) {
    char f[width];
    field(f, v, k, m);
    return std::string(f, width);
}

}  // namespace reference
