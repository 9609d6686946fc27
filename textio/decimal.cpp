#include "textio/decimal.h"

#include <bit>
#include <charconv>
#include <cstdio>
#include <limits>

namespace textio {
namespace {

// A tie between two normal floats is w x 10^q = (2m + 1) x 2^t, with 2m + 1
// odd and above 2^24: the float's 24 bits and the half below them. For
// q >= 0, 5^q divides 2m + 1 < 2^25: q is at most 10. For q < 0,
// w = (2m + 1) x 5^-q x 2^(t - q) > 2^24 x 5^-q, and w < 2^64: 5^-q < 2^40,
// and -q is at most 17.
constexpr int float_bits = std::numeric_limits<float>::digits;
constexpr int smallest_tie_power = -17;
constexpr int largest_tie_power = 10;
static_assert(largest_tie_power == detail::largest_power_of_five_below(float_bits + 1) &&
              -smallest_tie_power == detail::largest_power_of_five_below(64 - float_bits));

}  // namespace

bool nearest_float_bits_fully(std::uint64_t w, std::int64_t q, std::uint32_t& out) {
    if (w == 0 || q < smallest_power) {
        out = 0;
        return true;
    }
    if (q > largest_power) {
        out = 0x7f800000u;  // the infinity
        return true;
    }
    const int lz = std::countl_zero(w);
    w <<= lz;
    const power_of_five& p = powers_of_five[static_cast<std::size_t>(q - smallest_power)];
    const u128 first = static_cast<u128>(w) * p.high;
    std::uint64_t high = static_cast<std::uint64_t>(first >> 64);
    std::uint64_t low = static_cast<std::uint64_t>(first);
    constexpr std::uint64_t below_precision = ~std::uint64_t{0} >> 26;
    if ((high & below_precision) == below_precision) {
        const std::uint64_t more = static_cast<std::uint64_t>((static_cast<u128>(w) * p.low) >> 64);
        low += more;
        if (low < more) ++high;
    }
    if (low == ~std::uint64_t{0} && q < detail::smallest_settled_power) return false;

    detail::leading_bits b = detail::leading(high, lz, q);
    // Exactly half-way between two normal floats: only possible for q from
    // smallest_tie_power to largest_tie_power, where nothing but zeros was
    // cut off below m. The bit below the float's last one then rounds to
    // even instead of up.
    if (b.power2 > 0 && low <= 1 && q >= smallest_tie_power && q <= largest_tie_power && (b.m & 3) == 1 &&
        (b.m << b.shift) == high)
        b.m &= ~std::uint64_t{1};
    out = detail::rounded_bits(b.m, b.power2);
    return true;
}

namespace {

// v, not negative, with the sign: without a branch, as signs come at random.
float with_sign(float v, bool negative) {
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) | std::uint32_t{negative} << 31);
}

// Exact decimal-to-binary conversion of every digit kept.
float convert_exactly(const decimal& d) {
    char text[decimal::max_digits + 32];
    char* p = text;
    for (int i = 0; i < d.ndigits; ++i) *p++ = d.digits[i];
    std::int64_t e = d.exp10;
    if (d.inexact) {
        // One more non-zero digit stands for the dropped ones: it keeps the
        // value strictly between the same two candidates.
        *p++ = '1';
        --e;
    }
    *p++ = 'e';
    p = std::to_chars(p, text + sizeof text, e).ptr;
    float v = 0;
    auto r = std::from_chars(text, p, v);
    if (r.ec == std::errc::result_out_of_range) {
        // Reported for results beyond the finite range and for those that
        // round to zero; the value is left unset.
        v = d.exp10 + d.ndigits > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
    }
    return with_sign(v, d.negative);
}

}  // namespace

bool to_float_by_products(std::uint64_t w, std::int64_t q, bool negative, float& out) {
    std::uint32_t bits;
    if (!nearest_float_bits(w, q, bits)) return false;
    out = with_sign(std::bit_cast<float>(bits), negative);
    return true;
}

bool to_float_between(std::uint64_t w, std::int64_t q, bool negative, float& out) {
    std::uint32_t lower, upper;
    if (w == ~std::uint64_t{0} || !nearest_float_bits(w, q, lower) || !nearest_float_bits(w + 1, q, upper) ||
        lower != upper)
        return false;
    out = with_sign(std::bit_cast<float>(lower), negative);
    return true;
}

float to_float(const decimal& d) {
    if (d.ndigits == 0) return with_sign(0.0f, d.negative);

    // The value lies in [10^(mag-1), 10^mag).
    const std::int64_t mag = d.exp10 + d.ndigits;
    if (mag > 39) return with_sign(std::numeric_limits<float>::infinity(), d.negative);
    if (mag < -45) return with_sign(0.0f, d.negative);  // below 2^-150

    float f;
    if (d.ndigits <= 19 && !d.inexact) {
        if (to_float_quickly(d.head, d.exp10, d.negative, f)) return f;
    } else {
        // head holds the first 19 digits; the others only narrow the value
        // down within one step of the 19th.
        bool exact = !d.inexact;
        for (int i = 19; i < d.ndigits && exact; ++i) exact = d.digits[i] == '0';
        const std::int64_t q = d.exp10 + (d.ndigits - 19);
        if (exact ? to_float_quickly(d.head, q, d.negative, f) : to_float_between(d.head, q, d.negative, f)) return f;
    }
    return convert_exactly(d);
}

}  // namespace textio
