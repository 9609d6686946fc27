// The separator index: masks of the terminators and separators of 64 bytes
// at a time, turned into the offsets of the bytes where the class changes
// (a value begins or ends) and of every separator.
#include "textio/index.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace textio {
namespace {

// Bit i stands for the byte at p[i].
struct classes {
    std::uint64_t terminators;  // blanks, line feeds, commas, slashes
    std::uint64_t separators;   // line feeds, commas, slashes
};

#if defined(__SSE2__)
// Sixteen bytes: the separators, and the terminators (separators or blanks).
inline void classify16(__m128i v, std::uint64_t& separators, std::uint64_t& terminators) {
    const auto is = [v](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    const __m128i separator = _mm_or_si128(_mm_or_si128(is('\n'), is(',')), is('/'));
    // A tab (9) or a carriage return (13) is a byte that gives 13 with bit 2 set.
    const __m128i tab_or_cr = _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(4)), _mm_set1_epi8(13));
    const __m128i terminator = _mm_or_si128(_mm_or_si128(separator, is(' ')), tab_or_cr);
    separators = static_cast<unsigned>(_mm_movemask_epi8(separator));
    terminators = static_cast<unsigned>(_mm_movemask_epi8(terminator));
}

inline classes classify(const char* p) {
    std::uint64_t s0, s1, s2, s3, t0, t1, t2, t3;
    classify16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), s0, t0);
    classify16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), s1, t1);
    classify16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), s2, t2);
    classify16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), s3, t3);
    return {t0 | t1 << 16 | t2 << 32 | t3 << 48, s0 | s1 << 16 | s2 << 32 | s3 << 48};
}
#else
classes classify(const char* p) {
    classes k{0, 0};
    for (unsigned i = 0; i < 64; ++i) {
        const byte_class c = class_of(p[i]);
        k.terminators |= std::uint64_t{c != value_byte} << i;
        k.separators |= std::uint64_t{c > blank} << i;
    }
    return k;
}
#endif

std::size_t index_with(const char* buf, std::uint32_t from, std::uint32_t to, bool& value_before, std::uint32_t* out) {
    std::uint32_t* o = out;
    // Bit 0: the byte before the block is a terminator.
    std::uint64_t before = value_before ? 0 : 1;
    for (std::uint32_t base = from; base < to; base += 64) {
        const classes k = classify(buf + base);
        const std::uint64_t changes = k.terminators ^ (k.terminators << 1 | before);
        std::uint64_t m = changes | k.separators;
        const std::uint32_t left = to - base;
        if (left < 64) {
            m &= (std::uint64_t{1} << left) - 1;
            before = k.terminators >> (left - 1) & 1;
        } else {
            before = k.terminators >> 63;
        }
        for (; m != 0; m &= m - 1) *o++ = base + static_cast<std::uint32_t>(std::countr_zero(m));
    }
    value_before = before == 0;
    return static_cast<std::size_t>(o - out);
}

}  // namespace

std::size_t index_bytes(const char* buf, std::uint32_t from, std::uint32_t to, bool& value_before, std::uint32_t* out) {
    return index_with(buf, from, to, value_before, out);
}

std::size_t index_bytes_plainly(const char* buf, std::uint32_t from, std::uint32_t to, bool& value_before,
                                std::uint32_t* out) {
    std::size_t n = 0;
    for (std::uint32_t i = from; i < to; ++i) {
        const byte_class c = class_of(buf[i]);
        const bool terminator = c != value_byte;
        if (terminator == value_before || c > blank) out[n++] = i;
        value_before = !terminator;
    }
    return n;
}

}  // namespace textio
