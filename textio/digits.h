// The digits of a number in the reader's buffer, where the grammar
// (textio/grammar.h) reads most values: the mantissa, digits with at most
// one point among them, as an integer; and the exponent's digits, which run
// to the value's known end. SSE2 takes a mantissa of up to 15 bytes at once
// where the compiler offers it; eight-byte words take it everywhere else,
// and any longer one, with the same result, which the tests hold the two
// to.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace textio {

// "digits [. digits]" from p on, either run possibly empty: its value is
// w x 10^scale, or a little more where `inexact`.
struct mantissa {
    std::uint64_t w;  // its first 19 significant digits as an integer
    std::int64_t scale;
    std::int64_t before;  // digits before the point, leading zeros included
    std::int64_t after;   // digits after it
    const char* end;      // the first byte after it
    bool point;
    bool inexact;  // a digit past the first 19 significant ones is not zero
};

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

inline constexpr std::uint64_t powers_of_ten[] = {1,
                                                  10,
                                                  100,
                                                  1000,
                                                  10000,
                                                  100000,
                                                  1000000,
                                                  10000000,
                                                  100000000,
                                                  1000000000,
                                                  10000000000,
                                                  100000000000,
                                                  1000000000000,
                                                  10000000000000,
                                                  100000000000000,
                                                  1000000000000000,
                                                  10000000000000000};

// A run of digits from p, eight at a time, appended to w.
inline const char* digit_run(const char* p, std::uint64_t& w) {
    for (;;) {
        const std::uint64_t v = load8(p);
        // The top bit of each byte that is not a digit: bytes below '0'
        // borrow, bytes above '9' carry into it. A borrow or carry only
        // reaches the bytes after the first such byte.
        const std::uint64_t other = ((v + 0x4646464646464646u) | (v - 0x3030303030303030u)) & 0x8080808080808080u;
        if (other == 0) {
            w = w * 100000000 + eight_digits(v);
            p += 8;
            continue;
        }
        const int k = std::countr_zero(other) >> 3;
        if (k != 0) w = w * powers_of_ten[k] + eight_digits(v << (64 - 8 * k));
        return p + k;
    }
}

}  // namespace detail

namespace detail {

// A mantissa of more than 19 digits, from p to `end`, `point` among them or
// not: the first 19 significant digits, and what the others add.
inline void significant_digits(const char* p, const char* end, mantissa& m) {
    m.w = 0;
    m.scale = 0;
    int kept = 0;
    bool after_point = false;
    for (; p != end; ++p) {
        if (*p == '.') {
            after_point = true;
            continue;
        }
        const auto d = static_cast<unsigned>(*p - '0');
        if (kept < 19) {
            if (kept > 0 || d != 0) {
                m.w = m.w * 10 + d;
                ++kept;
            }
            m.scale -= after_point;
        } else {
            m.inexact |= d != 0;
            m.scale += !after_point;
        }
    }
}

}  // namespace detail

// The mantissa at p by words.
[[gnu::always_inline]] inline mantissa scan_mantissa_plainly(const char* p) {
    mantissa m{0, 0, 0, 0, p, false, false};
    const char* q = detail::digit_run(p, m.w);
    m.before = q - p;
    if (*q == '.') {
        m.point = true;
        const char* const f = q + 1;
        q = detail::digit_run(f, m.w);
        m.after = q - f;
    }
    m.end = q;
    m.scale = -m.after;
    if (m.before + m.after > 19) [[unlikely]]
        detail::significant_digits(p, q, m);
    return m;
}

#if defined(__SSE2__)
namespace detail {

// Byte masks of the bytes from i on, i from 0 to 16.
inline constexpr auto bytes_from = [] {
    std::array<std::array<std::uint8_t, 16>, 17> t{};
    for (std::size_t i = 0; i <= 16; ++i)
        for (std::size_t k = i; k < 16; ++k) t[i][k] = 0xff;
    return t;
}();

// The inverses of 5^k modulo 2^64: a multiple of 10^k divided exactly by
// 10^k is its quotient by 2^k times the inverse of 5^k.
inline constexpr auto inverse_powers_of_five = [] {
    std::array<std::uint64_t, 17> t{};
    std::uint64_t five = 1;
    for (auto& inverse : t) {
        std::uint64_t x = 1;  // Newton: each step doubles the bits that are right
        for (int i = 0; i < 6; ++i) x *= 2 - five * x;
        inverse = x;
        five *= 5;
    }
    return t;
}();
static_assert(inverse_powers_of_five[16] * 152587890625u == 1);  // 5^16

inline __m128i bytes_from_mask(unsigned i) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes_from[i].data()));
}

}  // namespace detail

// The same sixteen bytes at a time: the digits' values with the point taken
// out and the bytes past the last digit cleared form, at their places, the
// integer of 16 digits that the digits begin; divided exactly by a power of
// ten, it is theirs. A mantissa that does not end within the sixteen bytes
// takes the words.
[[gnu::always_inline]] inline mantissa scan_mantissa(const char* p) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i values = _mm_sub_epi8(x, _mm_set1_epi8('0'));
    // Digits are the bytes whose value, unsigned, is below 10.
    const __m128i digit =
        _mm_cmplt_epi8(_mm_xor_si128(values, _mm_set1_epi8(-128)), _mm_set1_epi8(static_cast<char>(10 - 128)));
    const auto digits = static_cast<unsigned>(_mm_movemask_epi8(digit));
    const auto before = static_cast<unsigned>(std::countr_zero(~digits | 0x10000u));
    const bool point = before < 16 && p[before] == '.';
    const unsigned after = point ? static_cast<unsigned>(std::countr_zero(~(digits >> (before + 1)))) : 0;
    const unsigned length = before + point + after;  // of the mantissa, in bytes
    if (length >= 16) [[unlikely]]
        return scan_mantissa_plainly(p);
    const unsigned count = before + after;  // at most 15
    // The bytes from the point on move down by one.
    const __m128i moved = point ? detail::bytes_from_mask(before) : _mm_setzero_si128();
    const __m128i joined =
        _mm_or_si128(_mm_andnot_si128(moved, values), _mm_and_si128(moved, _mm_srli_si128(values, 1)));
    const __m128i digits16 = _mm_andnot_si128(detail::bytes_from_mask(count), joined);
    // Pairs, fours, eights: each step weighs the first of two by a power of
    // ten in 16-bit lanes, whose sums fit the lanes of the next step.
    const __m128i zero = _mm_setzero_si128();
    const __m128i tens = _mm_set1_epi32(1 << 16 | 10);
    const __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(digits16, zero), tens),
                                          _mm_madd_epi16(_mm_unpackhi_epi8(digits16, zero), tens));
    const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(1 << 16 | 100));
    const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32(1 << 16 | 10000));
    const auto high = static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights));
    const auto low = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
    const std::uint64_t sixteen = std::uint64_t{high} * 100000000 + low;
    const unsigned unused = 16 - count;
    return {(sixteen >> unused) * detail::inverse_powers_of_five[unused],
            -static_cast<std::int64_t>(after),
            before,
            after,
            p + length,
            point,
            false};
}
#else
inline mantissa scan_mantissa(const char* p) { return scan_mantissa_plainly(p); }
#endif

// Exponent digits beyond this are kept as this: far beyond any exponent
// that leaves a finite non-zero float, whatever the number of digits before
// it, and far within what the arithmetic on it holds.
inline constexpr std::int64_t exponent_saturation = std::int64_t{1} << 56;

// Whether [p, last) is one or more digits, and their value, saturated.
[[gnu::always_inline]] inline bool scan_exponent(const char* p, const char* last, std::int64_t& e) {
    const std::ptrdiff_t n = last - p;
    if (n >= 1 && n <= 4) {
        // Four bytes: the digits first, the rest past the value's end.
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
        const std::uint32_t first = n == 4 ? ~std::uint32_t{0} : (std::uint32_t{1} << 8 * n) - 1;
        if (((v + 0x46464646u) | (v - 0x30303030u)) & 0x80808080u & first) return false;
        // Moved to the end, with zeros before them; then pairs, then four.
        std::uint32_t x = (v & 0x0f0f0f0fu) << 8 * (4 - n);
        x = (x * 2561) >> 8 & 0x00ff00ffu;
        e = (x * 6553601) >> 16;
        return true;
    }
    if (n <= 0) return false;
    e = 0;
    for (; p != last; ++p) {
        const unsigned d = static_cast<unsigned char>(*p) - unsigned{'0'};
        if (d > 9) return false;
        if (e < exponent_saturation) e = e * 10 + d;
    }
    return true;
}

}  // namespace textio
