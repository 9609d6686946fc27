#include "textio/fields.h"

#include <bit>
#include <cstring>

namespace textio {
namespace {

using u128 = unsigned __int128;

template <class U, unsigned base, int count>
constexpr auto power_table() {
    struct table {
        U v[count];
    } t{};
    U r = 1;
    for (int i = 0; i < count; ++i, r *= base) t.v[i] = r;
    return t;
}

// 5^55 and 10^38 are the largest that fit; the scientific field needs at
// most 5^51 and 10^34.
constexpr auto pow5 = power_table<u128, 5, 56>();
constexpr auto pow10 = power_table<u128, 10, 39>();
constexpr auto pow10_u64 = power_table<std::uint64_t, 10, 20>();

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
template <class U>
U divide_rounded_in(U a, U b) {
    const U q = a / b;
    const U r = a % b;
    const U rest = b - r;
    return (r > rest || (r == rest && (q & 1) != 0)) ? q + 1 : q;
}

// The same, in 64 bits where both fit: that division is much cheaper.
u128 divide_rounded(u128 a, u128 b) {
    if ((a >> 64) == 0 && (b >> 64) == 0)
        return divide_rounded_in(static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(b));
    return divide_rounded_in(a, b);
}

// x / 2^t rounded to nearest, ties to even; 0 < t < 128.
template <class U>
U shift_rounded(U x, int t) {
    const U q = x >> t;
    const U r = x & ((U{1} << t) - 1);
    const U half = U{1} << (t - 1);
    return (r > half || (r == half && (q & 1) != 0)) ? q + 1 : q;
}

constexpr auto pow5_u64 = power_table<std::uint64_t, 5, 18>();  // 5^17 x 2^24 < 2^64

// The floats nearest 10^-45 to 10^38, by way of the nearest doubles.
constexpr float pow10_float[] = {
    1e-45f, 1e-44f, 1e-43f, 1e-42f, 1e-41f, 1e-40f, 1e-39f, 1e-38f, 1e-37f, 1e-36f, 1e-35f, 1e-34f,
    1e-33f, 1e-32f, 1e-31f, 1e-30f, 1e-29f, 1e-28f, 1e-27f, 1e-26f, 1e-25f, 1e-24f, 1e-23f, 1e-22f,
    1e-21f, 1e-20f, 1e-19f, 1e-18f, 1e-17f, 1e-16f, 1e-15f, 1e-14f, 1e-13f, 1e-12f, 1e-11f, 1e-10f,
    1e-9f,  1e-8f,  1e-7f,  1e-6f,  1e-5f,  1e-4f,  1e-3f,  1e-2f,  1e-1f,  1e0f,   1e1f,   1e2f,
    1e3f,   1e4f,   1e5f,   1e6f,   1e7f,   1e8f,   1e9f,   1e10f,  1e11f,  1e12f,  1e13f,  1e14f,
    1e15f,  1e16f,  1e17f,  1e18f,  1e19f,  1e20f,  1e21f,  1e22f,  1e23f,  1e24f,  1e25f,  1e26f,
    1e27f,  1e28f,  1e29f,  1e30f,  1e31f,  1e32f,  1e33f,  1e34f,  1e35f,  1e36f,  1e37f,  1e38f};

// Two decimal digits at a time.
constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

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

// Writes exactly `count` decimal digits of v < 10^count so that they end at
// `end`; returns where they begin.
template <int count>
char* exact_digits_before(char* end, std::uint32_t v) {
    char* p = end;
    for (int i = 0; i < count / 2; ++i) {
        p -= 2;
        std::memcpy(p, digit_pairs + 2 * (v % 100), 2);
        v /= 100;
    }
    if constexpr (count % 2 != 0) *--p = static_cast<char>('0' + v);
    return p;
}

// Writes the decimal digits of v, at least min_digits of them with leading
// zeros, so that they end at `end`; returns where they begin.
char* digits_before(char* end, std::uint64_t v, int min_digits) {
    char* p = end;
    while (v >= 100) {
        p -= 2;
        std::memcpy(p, digit_pairs + 2 * (v % 100), 2);
        v /= 100;
    }
    if (v >= 10) {
        p -= 2;
        std::memcpy(p, digit_pairs + 2 * v, 2);
    } else {
        *--p = static_cast<char>('0' + v);
    }
    while (end - p < min_digits) *--p = '0';
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

namespace {

template <int decimals>
void fixed(char* field, float v) {
    constexpr std::uint64_t scale = pow10_u64.v[decimals];
    constexpr std::uint64_t too_wide = pow10_u64.v[14];  // |v| x 10^decimals from here on does not fit
    if (place_non_finite(field, v)) return;
    const parts x = split(v);
    // |v| x 10^decimals = m x 10^decimals x 2^e, with m x 10^decimals < 2^54.
    const std::uint64_t num = std::uint64_t{x.m} * scale;
    std::uint64_t n;
    if (x.e >= 0) {
        if (x.e >= 64 || num > (too_wide >> x.e)) {
            fill(field, real_width, '*');
            return;
        }
        n = num << x.e;
    } else {
        n = x.e <= -64 ? 0 : shift_rounded(num, -x.e);  // below 2^54 is less than half of 2^64
    }
    // The text is the sign, the whole part, the point and the decimals.
    const std::uint64_t whole = n / scale;
    if (whole >= pow10_u64.v[(x.negative ? 13 : 14) - decimals]) {
        fill(field, real_width, '*');
        return;
    }
    fill(field, real_width, ' ');
    char* p = field + real_width;
    if constexpr (decimals > 0) p = exact_digits_before<decimals>(p, static_cast<std::uint32_t>(n % scale));
    *--p = '.';
    p = digits_before(p, whole, 1);
    if (x.negative) *--p = '-';
}

}  // namespace

void put_fixed(char* field, float v, int decimals) {
    switch (decimals) {
        case 9: return fixed<9>(field, v);
        case 5: return fixed<5>(field, v);
        case 3: return fixed<3>(field, v);
        case 0: return fixed<0>(field, v);
        case 1: return fixed<1>(field, v);
        case 2: return fixed<2>(field, v);
        case 4: return fixed<4>(field, v);
        case 6: return fixed<6>(field, v);
        case 7: return fixed<7>(field, v);
        default: return fixed<8>(field, v);
    }
}

namespace {

// |v| x 10^s for v = m x 2^e: its floor and its nearest integer, ties to
// even.
struct scaled_value {
    u128 floor;
    u128 nearest;
};

template <class U>
scaled_value by_shift(U num, int shift) {
    if (shift >= 0) return {num << shift, num << shift};
    return {num >> -shift, shift_rounded(num, -shift)};
}

scaled_value scaled(const parts& x, int s) {
    if (s >= 0) {
        // 10^s = 5^s x 2^s: 64 bits do while m x 5^s fits in them.
        const int shift = x.e + s;
        if (s <= 17 && shift > -64) return by_shift(std::uint64_t{x.m} * pow5_u64.v[s], shift);
        return by_shift(u128{x.m} * pow5.v[s], shift);
    }
    const u128 num = x.e >= 0 ? u128{x.m} << x.e : u128{x.m};
    const u128 den = x.e >= 0 ? pow10.v[-s] : pow10.v[-s] << -x.e;
    return {num / den, divide_rounded(num, den)};
}

}  // namespace

void put_scientific(char* field, float v) {
    if (place_non_finite(field, v)) return;
    const parts x = split(v);
    std::uint64_t n = 0;  // six significant digits
    int k = 0;            // the decimal exponent
    if (x.m != 0) {
        // k starts at floor(log10(2^b)) for 2^b <= |v| < 2^(b+1), to within
        // one, and goes up where |v| reaches the float nearest 10^(k+1):
        // that is k = floor(log10 |v|) but perhaps at a float next to a power
        // of ten. The loop below makes it exact either way.
        const int b = 31 - std::countl_zero(x.m) + x.e;
        k = (b * 78913) >> 18;
        const std::uint32_t magnitude = std::bit_cast<std::uint32_t>(v) & 0x7fffffffu;
        if (k + 1 <= 38 && magnitude >= std::bit_cast<std::uint32_t>(pow10_float[k + 1 + 45])) ++k;
        for (;;) {
            const scaled_value q = scaled(x, 5 - k);
            if (q.floor >= 1000000) {
                ++k;
            } else if (q.floor < 100000) {
                --k;
            } else {
                n = static_cast<std::uint64_t>(q.nearest);
                break;
            }
        }
        if (n == 1000000) {  // rounded up to ten: the next exponent
            n = 100000;
            ++k;
        }
    }
    // The text is 12 characters, 13 with a sign.
    fill(field, real_width, ' ');
    char* p = exact_digits_before<3>(field + real_width, static_cast<std::uint32_t>(k < 0 ? -k : k));
    *--p = k < 0 ? '-' : '+';
    *--p = 'E';
    p = exact_digits_before<5>(p, static_cast<std::uint32_t>(n % 100000));
    *--p = '.';
    *--p = static_cast<char>('0' + n / 100000);
    if (x.negative) *--p = '-';
}

}  // namespace textio
