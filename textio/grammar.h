// The one grammar of the input's values: what a real, an integer, a repeat
// count r* or r*c, a null value and an Inf, Infinity or NaN word are, and
// when a value is malformed. It reads one value, whose end the separator
// index has already found, through an input that gives its bytes, and
// leaves its digits and exponent in an accumulator for the conversion.
//
// Two inputs: a span of the reader's buffer, and the reader itself for the
// rare value longer than its buffer (textio/reader.cpp). Two accumulators:
// `short_digits`, which keeps up to 19 digits as an integer and serves
// nearly every value, and `decimal` (textio/decimal.h), which keeps every
// digit that can decide the nearest float. A value whose digits do not fit
// the first is read again with the second.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "textio/decimal.h"

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
        too_long,   // digits the accumulator cannot keep: read again with another
    };
    form what = form::number;
    bool negative = false;
    bool integral = true;      // neither a point nor an exponent: an integer item may take it
    std::uint64_t repeat = 1;  // r of r*c and r*, saturated
};

// Digits as the quick path keeps them: up to 19, which always fit 64 bits.
struct short_digits {
    std::uint64_t w = 0;        // the digits as an integer, leading zeros included
    std::int64_t count = 0;     // how many, leading zeros included
    std::int64_t fraction = 0;  // how many of them stand after the point
    std::int64_t exponent = 0;  // as written, saturated
    static constexpr std::int64_t most = 19;

    bool fits() const { return count <= most; }
    bool is_zero() const { return w == 0; }
    std::uint64_t whole() const { return w; }
    void clear() { *this = short_digits{}; }
    void add(unsigned d, bool after_point) {
        w = w * 10 + d;
        ++count;
        fraction += after_point;
    }
    void scale(std::int64_t e) { exponent = e; }
};

// The same interface over a decimal, which keeps every digit that matters.
struct exact_digits {
    decimal d;

    exact_digits() { d.clear(); }
    static bool fits() { return true; }
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
    void scale(std::int64_t e) { d.bump_exponent(e); }
};

// Exponent digits beyond this are kept as this: far beyond any exponent
// that leaves a finite non-zero float, whatever the number of digits before
// it, and far within what the arithmetic on it holds.
inline constexpr std::int64_t exponent_saturation = std::int64_t{1} << 56;

namespace detail {

// Little-endian loads of bytes that may stand anywhere.
inline std::uint64_t load8(const char* p) {
    std::uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, 8);
    } else {
        for (int i = 0; i < 8; ++i) v |= std::uint64_t{static_cast<unsigned char>(p[i])} << 8 * i;
    }
    return v;
}

// The number that eight digit characters form, the first the most
// significant; bytes of zero before them count as zeros.
inline std::uint64_t eight_digits(std::uint64_t v) {
    v = (v & 0x0f0f0f0f0f0f0f0fu) * 2561 >> 8;
    v = (v & 0x00ff00ff00ff00ffu) * 6553601 >> 16;
    return (v & 0x0000ffff0000ffffu) * 42949672960001u >> 32;
}

inline constexpr std::uint64_t powers_of_ten[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

}  // namespace detail

// A value that stands whole in memory: [p, last). The byte at `last` is
// readable and ends the value (a terminator, or what the reader put after
// its data), so that it matches none of the grammar's tests; so do the
// bytes up to eight past it, which the digit runs read but never use.
struct span_input {
    const char* p;
    const char* last;

    unsigned peek() const { return static_cast<unsigned char>(*p); }
    bool at_end() const { return p == last; }
    void skip() { ++p; }

    // A run of digits, eight at a time.
    [[gnu::always_inline]] void digits(short_digits& d, bool after_point) {
        const char* const first = p;
        std::uint64_t w = d.w;
        for (;;) {
            const std::uint64_t v = detail::load8(p);
            // The top bit of each byte that is not a digit: bytes below '0'
            // borrow, bytes above '9' carry into it. A borrow or carry only
            // reaches the bytes after the first such byte.
            const std::uint64_t other = ((v + 0x4646464646464646u) | (v - 0x3030303030303030u)) & 0x8080808080808080u;
            if (other == 0) {
                w = w * 100000000 + detail::eight_digits(v);
                p += 8;
                continue;
            }
            const int k = std::countr_zero(other) >> 3;
            if (k != 0) {
                w = w * detail::powers_of_ten[k] + detail::eight_digits(v << (64 - 8 * k));
                p += k;
            }
            break;
        }
        d.w = w;
        d.count += p - first;
        if (after_point) d.fraction += p - first;
    }
    void digits(exact_digits& d, bool after_point) {
        for (; is_digit(peek()); skip()) d.add(peek() - '0', after_point);
    }
};

namespace detail {

// The exponent's digits, saturated.
template <class In>
[[gnu::always_inline]] inline std::int64_t exponent_digits(In& in) {
    std::int64_t e = 0;
    for (; is_digit(in.peek()); in.skip())
        if (e < exponent_saturation) e = e * 10 + static_cast<std::int64_t>(in.peek() - '0');
    return e;
}

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

template <class In, class Digits>
value::form after_repeat(In& in, Digits& d, value& v);

// A number or a word, with its sign; where `MayRepeat`, digits followed by
// an asterisk are a repeat count instead, and the rest a value of its own.
template <bool MayRepeat, class In, class Digits>
[[gnu::always_inline]] inline value::form number_or_word(In& in, Digits& d, value& v) {
    unsigned c = in.peek();
    bool sign = false;
    if (c == '+' || c == '-') {
        v.negative = c == '-';
        sign = true;
        in.skip();
        c = in.peek();
    }
    bool digits = false;
    if (is_digit(c)) {
        in.digits(d, false);
        if (!d.fits()) return value::form::too_long;
        digits = true;
        c = in.peek();
        if constexpr (MayRepeat) {
            if (c == '*' && !sign) [[unlikely]]
                return after_repeat(in, d, v);
        }
    }
    if (c == '.') {
        in.skip();
        v.integral = false;
        if (is_digit(in.peek())) {
            in.digits(d, true);
            if (!d.fits()) return value::form::too_long;
            digits = true;
        }
        c = in.peek();
    }
    if (in.at_end()) return digits ? value::form::number : value::form::malformed;
    if (!digits) [[unlikely]]
        return is_letter(c) && v.integral ? word(in) : value::form::malformed;
    if ((c | 0x20) == 'e' || (c | 0x20) == 'd') {
        in.skip();
        c = in.peek();
        if (c == '+' || c == '-') in.skip();
    } else if (c == '+' || c == '-') {
        in.skip();  // 1.5+3 is 1.5e+3
    } else {
        return value::form::malformed;
    }
    v.integral = false;
    if (!is_digit(in.peek())) return value::form::malformed;
    const std::int64_t e = exponent_digits(in);
    d.scale(c == '-' ? -e : e);
    return in.at_end() ? value::form::number : value::form::malformed;
}

// After a repeat count r and its asterisk: r > 0, then nothing (r null
// values) or the value to repeat.
template <class In, class Digits>
[[gnu::always_inline]] inline value::form after_repeat(In& in, Digits& d, value& v) {
    in.skip();
    if (d.is_zero()) return value::form::malformed;
    v.repeat = d.whole();
    d.clear();
    if (in.at_end()) return value::form::nulls;
    return number_or_word<false>(in, d, v);
}

}  // namespace detail

// The value that `in` holds: a number (digits and exponent in `d`), a word,
// r null values, or a malformed value; any of them but the last behind a
// repeat count r* (r > 0). The input must be non-empty.
template <class In, class Digits>
[[gnu::always_inline]] inline value scan_value(In& in, Digits& d) {
    value v;
    v.what = detail::number_or_word<true>(in, d, v);
    return v;
}

}  // namespace textio
