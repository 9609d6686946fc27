// The one grammar of the input's values: what a real, an integer, a repeat
// count r* or r*c, a null value and an Inf, Infinity or NaN word are, and
// when a value is malformed. It reads one value, whose end the separator
// index has already found, through an input that gives its bytes, and
// leaves its digits and exponent in an accumulator for the conversion.
//
// Two inputs: a span of the reader's buffer, and the reader itself for the
// rare value longer than its buffer (textio/reader.cpp). Two accumulators:
// `short_digits`, the first 19 significant digits as an integer, which
// serves nearly every value, and `exact_digits`, a decimal
// (textio/decimal.h) that keeps every digit that can decide the nearest
// float, for the rare number that the first cannot settle, which is then
// read again.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "textio/decimal.h"
#include "textio/digits.h"

namespace textio {

inline bool is_digit(unsigned c) { return c - '0' <= 9; }
inline bool is_letter(unsigned c) { return (c | 0x20) - 'a' <= 25; }

// What the grammar found. The digits and the exponent of a number are in
// the accumulator.
struct value {
    enum class form : std::uint8_t {
        number,
        infinity,
        nan,
        nulls,      // r*: r null values
        malformed,  // not a value of the input
        repeated,   // digits and an asterisk: a repeat count, the value after it still to read
    };
    form what = form::number;
    bool negative = false;
    bool integral = true;      // neither a point nor an exponent: an integer item may take it
    std::uint64_t repeat = 1;  // r of r*c and r*, saturated
};

// Digits as the quick path keeps them: the first 19 significant ones, which
// always fit 64 bits: the number is w x 10^(scale + exponent), or a little
// more where `inexact`.
struct short_digits {
    std::uint64_t w = 0;
    std::int64_t scale = 0;
    std::int64_t exponent = 0;  // as written, saturated
    bool inexact = false;

    bool is_zero() const { return w == 0; }
    // The integer the digits form, saturated beyond 19 significant digits.
    std::uint64_t whole() const { return scale == 0 && !inexact ? w : ~std::uint64_t{0}; }
    void clear() { *this = short_digits{}; }
    void scale_by(std::int64_t e) { exponent = e; }
};

// The same interface over a decimal, which keeps every digit that matters.
struct exact_digits {
    decimal d;

    exact_digits() { d.clear(); }
    bool is_zero() const { return d.ndigits == 0; }
    // The integer the digits form, saturated beyond 19 significant digits.
    std::uint64_t whole() const { return d.ndigits <= 19 ? d.head : ~std::uint64_t{0}; }
    void clear() { d.clear(); }
    void add(unsigned digit, bool after_point) {
        if (after_point)
            d.add_fraction_digit(digit);
        else
            d.add_integer_digit(digit);
    }
    void scale_by(std::int64_t e) { d.bump_exponent(e); }
};

// How many digits a mantissa has before and after its point, and whether
// it has a point.
struct mantissa_parts {
    std::int64_t before, after;
    bool point;
};

// A mantissa digit by digit, for any input into any digits.
template <class In, class Digits>
mantissa_parts mantissa_by_digits(In& in, Digits& d) {
    mantissa_parts m{0, 0, false};
    for (; is_digit(in.peek()); in.skip(), ++m.before) d.add(in.peek() - '0', false);
    if (in.peek() == '.') {
        in.skip();
        m.point = true;
        for (; is_digit(in.peek()); in.skip(), ++m.after) d.add(in.peek() - '0', true);
    }
    return m;
}

// Exponent digits up to the value's end, one at least, digit by digit.
template <class In>
bool exponent_by_digits(In& in, std::int64_t& e) {
    if (!is_digit(in.peek())) return false;
    e = 0;
    for (; is_digit(in.peek()); in.skip())
        if (e < exponent_saturation) e = e * 10 + static_cast<std::int64_t>(in.peek() - '0');
    return in.at_end();
}

// A value that stands whole in memory: [p, last). The byte at `last` is
// readable and ends the value (a terminator, or what the reader put after
// its data), so that it matches none of the grammar's tests; so do the
// sixteen bytes after it, which the digit scans read but never use.
struct span_input {
    const char* p;
    const char* last;

    unsigned peek() const { return static_cast<unsigned char>(*p); }
    bool at_end() const { return p == last; }
    void skip() { ++p; }
    void skip_if(bool b) { p += b; }

    [[gnu::always_inline]] mantissa_parts mantissa(short_digits& d) {
        const textio::mantissa m = scan_mantissa(p);
        p = m.end;
        d.w = m.w;
        d.scale = m.scale;
        d.inexact = m.inexact;
        return {m.before, m.after, m.point};
    }
    mantissa_parts mantissa(exact_digits& d) { return mantissa_by_digits(*this, d); }
    [[gnu::always_inline]] bool exponent(std::int64_t& e) {
        if (!scan_exponent(p, last, e)) return false;
        p = last;
        return true;
    }
};

namespace detail {

// Inf, Infinity or NaN, in any mix of cases: the sign is taken.
template <class In>
[[gnu::always_inline]] inline value::form word(In& in) {
    char w[9];
    std::size_t n = 0;
    for (; n < sizeof w && is_letter(in.peek()); in.skip()) w[n++] = static_cast<char>(in.peek() | 0x20);
    if (!in.at_end()) return value::form::malformed;
    if ((n == 3 && std::memcmp(w, "inf", 3) == 0) || (n == 8 && std::memcmp(w, "infinity", 8) == 0))
        return value::form::infinity;
    if (n == 3 && std::memcmp(w, "nan", 3) == 0) return value::form::nan;
    return value::form::malformed;
}

// A number or a word, with its sign. Where `MayRepeat`, digits followed by
// an asterisk stop it: they are a repeat count.
template <bool MayRepeat, class In, class Digits>
[[gnu::always_inline]] inline value::form number_or_word(In& in, Digits& d, value& v) {
    unsigned c = in.peek();
    const bool sign = c == '+' || c == '-';
    v.negative = c == '-';
    in.skip_if(sign);
    const mantissa_parts m = in.mantissa(d);
    const bool digits = m.before + m.after != 0;
    v.integral = !m.point;
    if (in.at_end()) [[likely]]
        return digits ? value::form::number : value::form::malformed;
    c = in.peek();
    if (!digits) return is_letter(c) && !m.point ? word(in) : value::form::malformed;
    if (c == '*') return MayRepeat && !sign && !m.point ? value::form::repeated : value::form::malformed;
    if ((c | 0x20) == 'e' || (c | 0x20) == 'd') {
        in.skip();
        c = in.peek();
        in.skip_if(c == '+' || c == '-');
    } else if (c == '+' || c == '-') {
        in.skip();  // 1.5+3 is 1.5e+3
    } else {
        return value::form::malformed;
    }
    v.integral = false;
    std::int64_t e;
    if (!in.exponent(e)) return value::form::malformed;
    d.scale_by(c == '-' ? -e : e);
    return value::form::number;
}

}  // namespace detail

// The value that `in` holds: a number (digits and exponent in `d`), a word,
// r null values, or a malformed value; any of them but the last behind a
// repeat count r* (r > 0). The input must be non-empty.
template <class In, class Digits>
value scan_value(In& in, Digits& d) {
    value v;
    v.what = detail::number_or_word<true>(in, d, v);
    if (v.what == value::form::repeated) {
        in.skip();  // the asterisk
        if (d.is_zero()) {
            v.what = value::form::malformed;
            return v;
        }
        v.repeat = d.whole();
        d.clear();
        v.what = in.at_end() ? value::form::nulls : detail::number_or_word<false>(in, d, v);
    }
    return v;
}

// The same where a value behind a repeat count is left to scan_value: the
// value's form is `repeated` then.
template <class In, class Digits>
[[gnu::always_inline]] inline value scan_plain_value(In& in, Digits& d) {
    value v;
    v.what = detail::number_or_word<true>(in, d, v);
    return v;
}

}  // namespace textio
