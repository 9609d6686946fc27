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
classes classify(const char* p) {
    const auto is = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    classes k{0, 0};
    for (unsigned i = 0; i < 64; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i separator = _mm_or_si128(_mm_or_si128(is(v, '\n'), is(v, ',')), is(v, '/'));
        const __m128i blank = _mm_or_si128(_mm_or_si128(is(v, ' '), is(v, '\t')), is(v, '\r'));
        const auto mask = [](__m128i m) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m)));
        };
        k.separators |= mask(separator) << i;
        k.terminators |= mask(_mm_or_si128(separator, blank)) << i;
    }
    return k;
}
#else
classes classify(const char* p) {
    classes k{0, 0};
    for (unsigned i = 0; i < 64; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        k.terminators |= std::uint64_t{is_terminator(c)} << i;
        k.separators |= std::uint64_t{c == '\n' || c == ',' || c == '/'} << i;
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
        const auto c = static_cast<unsigned char>(buf[i]);
        const bool terminator = is_terminator(c);
        if (terminator == value_before || c == '\n' || c == ',' || c == '/') out[n++] = i;
        value_before = !terminator;
    }
    return n;
}

}  // namespace textio
