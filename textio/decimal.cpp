#include "textio/decimal.h"

#include <bit>
#include <charconv>
#include <cstdio>
#include <limits>

namespace textio {
namespace {

constexpr double pow10_exact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr float pow10_float[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

float with_sign(float v, bool negative) { return negative ? -v : v; }

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

// An integer of at most 24 bits and a power of ten up to 10^10 are exact in
// float, and give the correctly rounded float in one operation. Likewise an
// integer of at most 53 bits and a power of ten that is exact in double
// give a correctly rounded double in one operation. Rounding that double to
// float is then correct unless the double lies exactly half-way between two
// floats.
bool to_float_quickly(std::uint64_t w, int q, bool negative, float& out) {
    if (w <= (std::uint32_t{1} << 24) && q >= -10 && q <= 10) {
        // Both exact in float: one float operation rounds once.
        const float fw = static_cast<float>(w);
        out = with_sign(q >= 0 ? fw * pow10_float[q] : fw / pow10_float[-q], negative);
        return true;
    }
    if (w > (std::uint64_t{1} << 53) || q < -22 || q > 22) return false;
    const double x = q >= 0 ? static_cast<double>(w) * pow10_exact[q] : static_cast<double>(w) / pow10_exact[-q];
    const float f = static_cast<float>(x);
    if (static_cast<double>(f) != x) {
        // Results stay within the normal float range, where a half-way
        // double has the bit after the 24th set and nothing below it.
        if ((std::bit_cast<std::uint64_t>(x) & 0x1fffffff) == 0x10000000) return false;
    }
    out = with_sign(f, negative);
    return true;
}

float to_float(const decimal& d) {
    if (d.ndigits == 0) return with_sign(0.0f, d.negative);

    // The value lies in [10^(mag-1), 10^mag).
    const std::int64_t mag = d.exp10 + d.ndigits;
    if (mag > 39) return with_sign(std::numeric_limits<float>::infinity(), d.negative);
    if (mag < -45) return with_sign(0.0f, d.negative);  // below 2^-150

    float f;
    if (d.ndigits <= 19 && !d.inexact && d.exp10 >= -22 && d.exp10 <= 22 &&
        to_float_quickly(d.head, static_cast<int>(d.exp10), d.negative, f))
        return f;
    return convert_exactly(d);
}

}  // namespace textio
