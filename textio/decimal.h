// Decimal numbers as the reader collects them, and their conversion to the
// nearest single-precision number.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "textio/powers_of_five.h"

namespace textio {

// A decimal number: value = (the integer formed by `digits`) x 10^exp10.
// Leading zeros are not kept. Past `max_digits` significant digits only the
// fact that a dropped digit was non-zero is kept: 200 digits are more than
// any tie between two single-precision numbers needs, so the nearest number
// is still found exactly.
struct decimal {
    static constexpr int max_digits = 200;

    bool negative = false;
    bool inexact = false;     // a non-zero digit past max_digits was dropped
    int ndigits = 0;          // significant digits kept, at most max_digits
    std::int64_t exp10 = 0;   // kept within +-(2^62)
    std::uint64_t head = 0;   // the first min(ndigits, 19) digits as a number
    char digits[max_digits];  // '0' to '9'

    void clear() {
        negative = false;
        inexact = false;
        ndigits = 0;
        exp10 = 0;
        head = 0;
    }

    // Appends one digit (0 to 9) standing before the decimal point.
    void add_integer_digit(unsigned d) {
        if (ndigits == 0 && d == 0) return;
        if (ndigits < max_digits) {
            push(d);
        } else {
            inexact |= d != 0;
            bump_exponent(1);
        }
    }

    // Appends one digit (0 to 9) standing after the decimal point.
    void add_fraction_digit(unsigned d) {
        if (ndigits == 0 && d == 0) {
            bump_exponent(-1);
        } else if (ndigits < max_digits) {
            push(d);
            bump_exponent(-1);
        } else {
            inexact |= d != 0;
        }
    }

    // Adds an exponent of ten, itself already kept within +-(2^62).
    void bump_exponent(std::int64_t e) {
        constexpr std::int64_t lim = std::int64_t{1} << 62;
        // Compared before adding: 2^62 + 2^62 would not fit.
        if (e >= 0)
            exp10 = exp10 > lim - e ? lim : exp10 + e;
        else
            exp10 = exp10 < -lim - e ? -lim : exp10 + e;
    }

private:
    void push(unsigned d) {
        if (ndigits < 19) head = head * 10 + d;
        digits[ndigits++] = static_cast<char>('0' + d);
    }
};

// The single-precision number nearest to d, ties to even; beyond the largest
// finite number it is an infinity, below the smallest subnormal it is zero.
float to_float(const decimal& d);

// The bits of the single-precision number nearest to w x 10^q, ties to even,
// without its sign: zero below the smallest subnormal, the infinity beyond
// the largest finite number. By the Eisel-Lemire method: the 128-bit product
// of w and a power of five scaled to 128 bits carries more than the 26 bits
// a float and its rounding need, except when its low bits are all ones:
// then, outside the exponents where the product is exact, it cannot tell,
// and the function returns false, leaving `out` alone.
bool nearest_float_bits_fully(std::uint64_t w, std::int64_t q, std::uint32_t& out);

namespace detail {

// The leading bits of w x 10^q from the high word of the product of w,
// shifted left by lz, and the power of five: m holds 26 bits (the 24 of the
// float, one for rounding, one in case the top bit of the product is clear),
// `shift` is how far they stand from the word's end, and power2 is the
// float's biased exponent, floor(q x log2(10)) + 63 + 127 and the shifts:
// zero or below for a subnormal.
struct leading_bits {
    std::uint64_t m;
    int shift;
    std::int64_t power2;
};

// floor(q x log2(10)) as (217706 x q) >> 16: 217706 is log2(10) x 2^16 =
// 217705.88 rounded to the nearest integer, close enough that the floor is
// exact for every q from smallest_power to largest_power, as the check below
// shows against the width of 10^n = 5^n x 2^n: for n > 0, 10^n is no power
// of two, so 2^(width - 1) < 10^n < 2^width and floor(-n x log2(10)) is
// -width.
constexpr std::int64_t floor_log2_pow10(std::int64_t q) { return (217706 * q) >> 16; }

constexpr bool floor_log2_pow10_is_exact() {
    wide five;  // 5^n
    five.limb[0] = 1;
    for (int n = 0; n <= -smallest_power || n <= largest_power; ++n, five.times(5)) {
        const int width = five.bits() + n;  // of 10^n
        if (n <= largest_power && floor_log2_pow10(n) != width - 1) return false;
        if (n > 0 && n <= -smallest_power && floor_log2_pow10(-n) != -width) return false;
    }
    return true;
}
static_assert(floor_log2_pow10_is_exact());

// The largest n with 5^n < 2^bits.
constexpr int largest_power_of_five_below(int bits) {
    int n = 0;
    for (u128 p = 5; p < u128{1} << bits; p *= 5) ++n;
    return n;
}

// Where the product settles the last bits even when they are all ones:
// for q >= 0 the power of five is exact (5^38 has 89 bits), and for q < 0
// where 5^-q < 2^64 the 128-bit reciprocal gives the product exactly, as
// Eisel and Lemire show; 27 is the largest n with 5^n < 2^64.
inline constexpr int smallest_settled_power = -27;
static_assert(-smallest_settled_power == largest_power_of_five_below(64));

inline leading_bits leading(std::uint64_t high, int lz, std::int64_t q) {
    const int upper = static_cast<int>(high >> 63);
    const int shift = upper + 64 - 26;
    return {high >> shift, shift, floor_log2_pow10(q) + 63 + upper - lz + 127};
}

// The float's bits from its leading bits, the bit below its last one
// rounding up: a subnormal keeps fewer bits (no ties arise this far down).
// m holds the leading bit of a normal number (2^23) or is below it, and may
// have rounded up to 2^24, or from a subnormal to 2^23: added to the
// exponent field it carries into the exponent as the format wants. Beyond
// the largest float, the infinity. No branch depends on the value.
inline std::uint32_t rounded_bits(std::uint64_t m, std::int64_t power2) {
    const std::int64_t below = (1 - power2) & -std::int64_t{power2 <= 0};
    m >>= below < 63 ? below : 63;
    m = (m + 1) >> 1;
    const std::uint64_t field = static_cast<std::uint64_t>((power2 - 1) & -std::int64_t{power2 > 0});
    const std::uint64_t bits = (field << 23) + m;
    constexpr std::uint64_t infinity_bits = 0x7f800000u;
    return static_cast<std::uint32_t>(bits < infinity_bits ? bits : infinity_bits);
}

}  // namespace detail

// The same, with the common cases inline: every number that the first
// product settles, subnormals included, but zero and the exact products that
// may be ties. It takes the same steps whatever the digits and the exponent,
// so that the processor has no branch to guess but the rare ones.
[[gnu::always_inline]] inline bool nearest_float_bits(std::uint64_t w, std::int64_t q, std::uint32_t& out) {
    if (q < smallest_power || q > largest_power) [[unlikely]]
        return nearest_float_bits_fully(w, q, out);
    const int lz = std::countl_zero(w | 1);  // zero: a product of zero, out of line below
    const u128 product = static_cast<u128>(w << lz) * powers_of_five[static_cast<std::size_t>(q - smallest_power)].high;
    const auto high = static_cast<std::uint64_t>(product >> 64);
    const auto low = static_cast<std::uint64_t>(product);
    const detail::leading_bits b = detail::leading(high, lz, q);
    // More bits of the power of five needed, a product just short of exact,
    // or one with nothing below m, which may be a tie between two floats.
    constexpr std::uint64_t below_precision = ~std::uint64_t{0} >> 26;
    if (((high & below_precision) == below_precision) |
        ((low == ~std::uint64_t{0}) & (q < detail::smallest_settled_power)) |
        ((low <= 1) & ((high << (64 - b.shift)) == 0))) [[unlikely]]
        return nearest_float_bits_fully(w, q, out);
    out = detail::rounded_bits(b.m, b.power2);
    return true;
}

// The same for w x 10^q with its sign, as a float; false in the same rare
// cases.
bool to_float_by_products(std::uint64_t w, std::int64_t q, bool negative, float& out);

namespace detail {
inline constexpr double pow10_double[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// For q from -22 to 22, at q + 22: 10^q where q >= 0 and 1 elsewhere, and
// 10^-q where q < 0 and 1 elsewhere.
inline constexpr auto pow10_up = [] {
    std::array<double, 45> t{};
    for (int q = -22; q <= 22; ++q) t[static_cast<std::size_t>(q + 22)] = q >= 0 ? pow10_double[q] : 1.0;
    return t;
}();
inline constexpr auto pow10_down = [] {
    std::array<double, 45> t{};
    for (int q = -22; q <= 22; ++q) t[static_cast<std::size_t>(q + 22)] = q < 0 ? pow10_double[-q] : 1.0;
    return t;
}();
}  // namespace detail

// The same, the common short numbers by one double operation, which the
// processor overlaps with the scanning of the next value better than the
// products; inline, as the reader's fast path calls it for every value.
[[gnu::always_inline]] inline bool to_float_quickly(std::uint64_t w, std::int64_t q, bool negative, float& out) {
    if (w <= (std::uint64_t{1} << 53) && q >= -22 && q <= 22) [[likely]] {
        // An integer of at most 53 bits and a power of ten exact in double
        // give the correctly rounded double. Rounding that to float is then
        // correct unless the double lies exactly half-way between two
        // floats: the bit after the 24th set and nothing below it. The
        // double lies between 10^-22 and 2^53 x 10^22, where floats are
        // normal, so that the 24th bit is the double's 24th bit.
        // One of the product and the quotient is by 1, which is exact: the
        // other rounds once, and the sign of q takes no branch.
        const auto at = static_cast<std::size_t>(q + 22);
        const double x = static_cast<double>(w) * detail::pow10_up[at] / detail::pow10_down[at];
        if ((std::bit_cast<std::uint64_t>(x) & 0x1fffffff) != 0x10000000) {
            const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(x)) | std::uint32_t{negative} << 31;
            out = std::bit_cast<float>(bits);
            return true;
        }
    }
    return to_float_by_products(w, q, negative, out);
}

// The same for a value known to lie in [w x 10^q, (w + 1) x 10^q), the
// first digits of a longer number: settled when both ends give one float.
bool to_float_between(std::uint64_t w, std::int64_t q, bool negative, float& out);

}  // namespace textio
