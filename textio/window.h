// The bytes at a position of the reader's buffer, sorted into the classes
// the fast scan looks for, a window of them at a time. The buffer holds at
// least `window_size` bytes after any position the scan starts from (the
// bytes after the end of the input are read, but what they hold decides
// nothing). SSE2 sorts 16 bytes at once where the compiler offers it; the
// plain loop gives the same masks everywhere else.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace textio {

inline constexpr std::size_t window_size = 32;

// Bit i stands for the byte at p[i]: bytes 0 to 15 for every class but the
// spaces, which go on to byte 31.
struct byte_classes {
    std::uint32_t digits;   // '0' to '9'
    std::uint32_t points;   // '.'
    std::uint32_t letters;  // 'e', 'E', 'd', 'D': the exponent letters
    std::uint32_t signs;    // '+', '-'
    std::uint32_t minuses;  // '-'
    std::uint32_t ends;     // the bytes that cannot stand in a number: below '0' except
                            // '+', '-' and '.', and from 0x80 on; every terminator is one
    std::uint32_t spaces;   // ' '
};

inline byte_classes classify_plainly(const char* p) {
    byte_classes k{};
    for (unsigned i = 0; i < window_size; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        const auto bit = [i](bool b) { return std::uint32_t{b} << i; };
        if (i < 16) {
            k.digits |= bit(c - unsigned{'0'} <= 9);
            k.points |= bit(c == '.');
            k.letters |= bit((c | 0x20) == 'e' || (c | 0x20) == 'd');
            k.signs |= bit(c == '+' || c == '-');
            k.minuses |= bit(c == '-');
            k.ends |= bit((c < '0' && c != '+' && c != '-' && c != '.') || c >= 0x80);
        }
        k.spaces |= bit(c == ' ');
    }
    return k;
}

#if defined(__SSE2__)
inline byte_classes classify(const char* p) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const auto is = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    const auto mask = [](__m128i m) { return static_cast<std::uint32_t>(_mm_movemask_epi8(m)); };
    // '0' to '9' become -128 to -119, every other byte something greater.
    const __m128i digit = _mm_cmpgt_epi8(_mm_set1_epi8(-118), _mm_add_epi8(a, _mm_set1_epi8(0x50)));
    const __m128i point = is(a, '.');
    const __m128i lower = _mm_or_si128(a, _mm_set1_epi8(0x20));
    const __m128i letter = _mm_or_si128(is(lower, 'e'), is(lower, 'd'));
    const __m128i minus = is(a, '-');
    const __m128i sign = _mm_or_si128(is(a, '+'), minus);
    // Signed: the bytes from 0x80 on count as below '0'.
    const __m128i below = _mm_cmplt_epi8(a, _mm_set1_epi8('0'));
    const __m128i end = _mm_andnot_si128(_mm_or_si128(sign, point), below);
    return {mask(digit),
            mask(point),
            mask(letter),
            mask(sign),
            mask(minus),
            mask(end),
            mask(is(a, ' ')) | mask(is(b, ' ')) << 16};
}
#else
inline byte_classes classify(const char* p) { return classify_plainly(p); }
#endif

// Little-endian loads of bytes that may stand anywhere.
inline std::uint64_t load_le(const char* p, std::size_t n) {
    std::uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, n);
    } else {
        for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t{static_cast<unsigned char>(p[i])} << 8 * i;
    }
    return v;
}

}  // namespace textio
