#include "textio/fields.h"

#include <bit>
#include <cstring>

namespace textio {
namespace {

using u128 = unsigned __int128;

constexpr std::uint64_t pow10_u64[] = {1ull,
                                       10ull,
                                       100ull,
                                       1000ull,
                                       10000ull,
                                       100000ull,
                                       1000000ull,
                                       10000000ull,
                                       100000000ull,
                                       1000000000ull,
                                       10000000000ull,
                                       100000000000ull,
                                       1000000000000ull,
                                       10000000000000ull,
                                       100000000000000ull,
                                       1000000000000000ull,
                                       10000000000000000ull,
                                       100000000000000000ull,
                                       1000000000000000000ull,
                                       10000000000000000000ull};

template <unsigned base, int count>
constexpr auto power_table() {
    struct table {
        u128 v[count];
    } t{};
    u128 r = 1;
    for (int i = 0; i < count; ++i, r *= base) t.v[i] = r;
    return t;
}

// 5^55 and 10^38 are the largest that fit; the scientific field needs at
// most 5^51 and 10^34.
constexpr auto pow5 = power_table<5, 56>();
constexpr auto pow10 = power_table<10, 39>();

// A finite float as negative, m x 2^e with m < 2^24.
struct parts {
    bool negative;
    std::uint32_t m;
    int e;
};

parts split(float v) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    const std::uint32_t biased = (bits >> 23) & 0xff;
    const std::uint32_t frac = bits & 0x7fffff;
    if (biased == 0) return {(bits >> 31) != 0, frac, -149};
    return {(bits >> 31) != 0, frac | 0x800000, static_cast<int>(biased) - 150};
}

// a / b rounded to nearest, ties to even; b > 0.
u128 divide_rounded(u128 a, u128 b) {
    const u128 q = a / b;
    const u128 r = a % b;
    const u128 rest = b - r;
    return (r > rest || (r == rest && (q & 1) != 0)) ? q + 1 : q;
}

// x x 2^s rounded to nearest, ties to even (x < 2^127).
u128 shift_rounded(u128 x, int s) {
    if (s >= 0) return x << s;
    if (s <= -128) return 0;  // x < 2^127 is below half of 2^128
    return divide_rounded(x, u128{1} << -s);
}

void fill(char* field, int width, char c) { std::memset(field, c, static_cast<std::size_t>(width)); }

// Right-aligns text of length n in the field, or asterisks when it is longer.
void place(char* field, int width, const char* text, int n) {
    if (n > width) {
        fill(field, width, '*');
        return;
    }
    fill(field, width - n, ' ');
    std::memcpy(field + (width - n), text, static_cast<std::size_t>(n));
}

// Writes the decimal digits of v to the end of `end`; returns the new start.
char* digits_before(char* end, std::uint64_t v, int min_digits) {
    char* p = end;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 || end - p < min_digits);
    return p;
}

// Infinity, -Infinity and NaN; returns false for a finite value.
bool place_non_finite(char* field, float v) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    if ((bits & 0x7f800000) != 0x7f800000) return false;
    if ((bits & 0x7fffff) != 0)
        place(field, real_width, "NaN", 3);
    else if (bits >> 31)
        place(field, real_width, "-Infinity", 9);
    else
        place(field, real_width, "Infinity", 8);
    return true;
}

}  // namespace

void put_integer(char* field, std::int32_t v) {
    if (v < 0 || v > 999) {
        fill(field, integer_width, '*');
        return;
    }
    digits_before(field + integer_width, static_cast<std::uint64_t>(v), integer_width);
}

void put_fixed(char* field, float v, int decimals) {
    if (place_non_finite(field, v)) return;
    const parts x = split(v);
    // From 10^14 on, |v| x 10^decimals has more digits than the field holds
    // beside the point; 2^50 is beyond that for every number of decimals.
    if (x.e > 50 - 24) {
        fill(field, real_width, '*');
        return;
    }
    const u128 scaled = shift_rounded(u128{x.m} * pow10_u64[decimals], x.e);
    if (scaled >= pow10_u64[14]) {
        fill(field, real_width, '*');
        return;
    }
    const std::uint64_t n = static_cast<std::uint64_t>(scaled);
    const std::uint64_t whole = n / pow10_u64[decimals];
    const std::uint64_t frac = n % pow10_u64[decimals];

    char text[48];
    char* const end = text + sizeof text;
    char* p = decimals > 0 ? digits_before(end, frac, decimals) : end;
    *--p = '.';
    p = digits_before(p, whole, 1);
    if (x.negative) *--p = '-';
    place(field, real_width, p, static_cast<int>(end - p));
}

void put_scientific(char* field, float v) {
    if (place_non_finite(field, v)) return;
    const parts x = split(v);
    std::uint64_t n = 0;  // six significant digits
    int k = 0;            // the decimal exponent
    if (x.m != 0) {
        // k starts at floor(log10(2^b)) for 2^b <= |v| < 2^(b+1), to within one.
        const int b = 31 - std::countl_zero(x.m) + x.e;
        k = (b * 78913) >> 18;
        for (;;) {
            // floor and rounding of |v| x 10^(5-k) = m x 2^e x 10^(5-k)
            const int s = 5 - k;
            u128 num, den = 1;
            int shift = x.e;
            if (s >= 0) {
                num = u128{x.m} * pow5.v[s];  // 10^s = 5^s x 2^s
                shift += s;
            } else {
                num = x.m;
                den = pow10.v[-s];
            }
            if (shift >= 0)
                num <<= shift;
            else
                den <<= -shift;
            const u128 q = num / den;
            if (q >= 1000000) {
                ++k;
                continue;
            }
            if (q < 100000) {
                --k;
                continue;
            }
            n = static_cast<std::uint64_t>(divide_rounded(num, den));
            break;
        }
        if (n == 1000000) {  // rounded up to ten: the next exponent
            n = 100000;
            ++k;
        }
    }
    char text[16];
    char* const end = text + sizeof text;
    char* p = digits_before(end, static_cast<std::uint64_t>(k < 0 ? -k : k), 3);
    *--p = k < 0 ? '-' : '+';
    *--p = 'E';
    p = digits_before(p, n % 100000, 5);
    *--p = '.';
    *--p = static_cast<char>('0' + n / 100000);
    if (x.negative) *--p = '-';
    place(field, real_width, p, static_cast<int>(end - p));
}

}  // namespace textio
