// The branch-free scan of the reader's fast path: the value's parts found
// from masks of the classes of its bytes (textio/window.h).
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "textio/decimal.h"
#include "textio/scan.h"
#include "textio/window.h"

namespace textio {
namespace detail {

// The number that eight digit characters form, the first the most
// significant; bytes of zero before them count as zeros.
inline std::uint64_t eight_digits(std::uint64_t v) {
    v = (v & 0x0f0f0f0f0f0f0f0fu) * 2561 >> 8;
    v = (v & 0x00ff00ff00ff00ffu) * 6553601 >> 16;
    return (v & 0x0000ffff0000ffffu) * 42949672960001u >> 32;
}

// The position of the lowest set bit of a mask known not to be zero.
inline unsigned lowest(std::uint32_t m) { return static_cast<unsigned>(__builtin_ctz(m)); }

// Byte masks of the first n of 16 bytes (n from 0 to 16), as two words.
struct byte_mask {
    std::uint64_t low, high;
};
inline constexpr auto first_bytes = [] {
    std::array<byte_mask, 17> t{};
    for (unsigned n = 0; n <= 16; ++n) {
        t[n].low = n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << 8 * n) - 1;
        t[n].high = n <= 8 ? 0 : n == 16 ? ~std::uint64_t{0} : (std::uint64_t{1} << 8 * (n - 8)) - 1;
    }
    return t;
}();

}  // namespace detail

// The value's parts are found from masks of the classes of the window's
// bytes and put together without a branch that depends on them: a sign or
// none, a point or none anywhere among up to 16 digits, an exponent or none
// cost the same, so the processor has nothing to guess wrong. Where the
// next value begins depends only on the mask of the bytes that end a number
// and on the spaces, so the scan of the next value need not wait for this
// one's parts.
[[gnu::always_inline]] inline const char* scan_real_by_masks(const char* p, float& out, unsigned& shape) {
    const byte_classes k = classify(p);
    const unsigned end = detail::lowest(k.ends | 0x10000u);
    // A value never starts with a space: past its end, a byte that is not
    // one stands within the 32.
    const char* const next = p + end + detail::lowest(~(k.spaces >> end));

    // [sign] digits [. digits] [letter] [sign] digits
    const std::uint32_t nondigits = ~k.digits;  // beyond the 16 bytes too
    const unsigned sign = k.signs & 1;
    const unsigned point_at = sign + detail::lowest(nondigits >> sign);
    const unsigned point = k.points >> point_at & 1;
    const unsigned fraction_at = point_at + point;
    const unsigned exponent_at = fraction_at + detail::lowest(nondigits >> fraction_at);
    const unsigned exponent_sign_at = exponent_at + (k.letters >> exponent_at & 1);
    const unsigned exponent_digits_at = exponent_sign_at + (k.signs >> exponent_sign_at & 1);
    const unsigned exponent_digits = detail::lowest(nondigits >> exponent_digits_at);
    // Well formed (a digit at least, an exponent mark only with digits after
    // it), and at most two exponent digits.
    const bool fits = (exponent_digits_at + exponent_digits == end) &
                      is_terminator(static_cast<unsigned char>(p[end])) & (exponent_at - sign != point) &
                      ((exponent_digits != 0) == (exponent_digits_at != exponent_at)) & (exponent_digits <= 2);
    if (!fits) [[unlikely]]
        return scan_real_by_bytes(p, out, shape);

    // The 16 bytes after the sign with the point taken out: the point and the
    // bytes before it take the place of the byte before them, and a zero
    // comes in first. Up to the exponent they are the digits of a number
    // whose units stand just before the fraction: the zeros past them count
    // as digits too.
    const unsigned slots = exponent_at - sign;
    const std::uint64_t low = load_le(p + sign, 8), high = load_le(p + sign + 8, 8);
    const detail::byte_mask& before = detail::first_bytes[(point_at - sign + 1) & (0u - point)];
    const std::uint64_t moved_low = low << 8, moved_high = high << 8 | low >> 56;
    const detail::byte_mask& digits = detail::first_bytes[slots];
    const std::uint64_t w =
        detail::eight_digits(((moved_low & before.low) | (low & ~before.low)) & digits.low) * 100000000 +
        detail::eight_digits(((moved_high & before.high) | (high & ~before.high)) & digits.high);
    // The first exponent digit, or zero, in the low byte.
    const auto e = static_cast<unsigned>(load_le(p + exponent_digits_at, 2) << (8 * (2 - exponent_digits)));
    const int magnitude = static_cast<int>((e & 0x0f) * 10 + (e >> 8 & 0x0f));
    const int minus = -static_cast<int>(k.minuses >> exponent_sign_at & 1);
    const int exponent = (magnitude ^ minus) - minus;
    const int q = exponent - 16 + static_cast<int>(fraction_at - sign);
    std::uint32_t bits;
    if (!nearest_float_bits(w, q, bits)) return nullptr;
    out = std::bit_cast<float>(bits | (k.minuses & 1) << 31);
    shape = detail::form(exponent + static_cast<int>(point_at - sign));
    return next;
}

}  // namespace textio
