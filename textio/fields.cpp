#include "textio/fields.h"

#include <bit>
#include <cstring>

#include "textio/u128.h"

// Every field is worked out in integers from the float's exact binary value
// m x 2^e: scaled by a power of ten, rounded once, then written as text
// words of eight characters, one character a byte from the lowest up.

namespace textio {
namespace {

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
// most 5^50 and 10^33.
constexpr auto pow5 = power_table<u128, 5, 56>();
constexpr auto pow10 = power_table<u128, 10, 39>();
constexpr auto pow5_u64 = power_table<std::uint64_t, 5, 18>();  // 5^17 x 2^24 < 2^64
constexpr auto pow10_u64 = power_table<std::uint64_t, 10, 20>();

// The magnitude of a finite float as m x 2^e, m < 2^24.
struct parts {
    std::uint32_t m;
    int e;
};

constexpr parts split(std::uint32_t bits) {
    const std::uint32_t biased = (bits >> 23) & 0xff;
    const std::uint32_t frac = bits & 0x7fffff;
    if (biased == 0) return {frac, -149};
    return {frac | 0x800000, static_cast<int>(biased) - 150};
}

// x / 2^t rounded to nearest, ties to even; 0 < t < the width of U, and x
// below half the range of U. Adding half less one carries into the quotient
// when the rest is above half; adding the quotient's last bit as well, also
// when it is exactly half and the quotient is odd.
template <class U>
constexpr U shift_rounded(U x, int t) {
    return (x + (U{1} << (t - 1)) - 1 + ((x >> t) & 1)) >> t;
}

// ---- Tables, worked out and checked while compiling.

// The sign of m x 2^e - 10^j, exactly, for a float and a power of ten near
// it: both sides become integers, m x 2^e against 5^j x 2^j.
constexpr int compare_with_power_of_ten(std::uint32_t m, int e, int j) {
    u128 left = m, right = 1;
    int two = e;  // the power of two on the left, less the one on the right
    if (j >= 0) {
        right = pow5.v[j];
        two -= j;
    } else {
        left *= pow5.v[-j];
        two += -j;
    }
    if (two >= 0)
        left <<= two;
    else
        right <<= -two;
    return left < right ? -1 : left > right ? 1 : 0;
}

constexpr int floor_log10_pow2(int b) { return (b * 78913) >> 18; }

// floor(log10 2^b) for every binary exponent of a float: 10^k <= 2^b < 10^(k+1).
constexpr bool floor_log10_pow2_is_exact() {
    for (int b = -149; b <= 127; ++b) {
        const int k = floor_log10_pow2(b);
        if (compare_with_power_of_ten(1, b, k) < 0 || compare_with_power_of_ten(1, b, k + 1) >= 0) return false;
    }
    return true;
}
static_assert(floor_log10_pow2_is_exact());

constexpr float nearest_powers_of_ten[] = {
    1e-45f, 1e-44f, 1e-43f, 1e-42f, 1e-41f, 1e-40f, 1e-39f, 1e-38f, 1e-37f, 1e-36f, 1e-35f, 1e-34f, 1e-33f, 1e-32f,
    1e-31f, 1e-30f, 1e-29f, 1e-28f, 1e-27f, 1e-26f, 1e-25f, 1e-24f, 1e-23f, 1e-22f, 1e-21f, 1e-20f, 1e-19f, 1e-18f,
    1e-17f, 1e-16f, 1e-15f, 1e-14f, 1e-13f, 1e-12f, 1e-11f, 1e-10f, 1e-9f,  1e-8f,  1e-7f,  1e-6f,  1e-5f,  1e-4f,
    1e-3f,  1e-2f,  1e-1f,  1e0f,   1e1f,   1e2f,   1e3f,   1e4f,   1e5f,   1e6f,   1e7f,   1e8f,   1e9f,   1e10f,
    1e11f,  1e12f,  1e13f,  1e14f,  1e15f,  1e16f,  1e17f,  1e18f,  1e19f,  1e20f,  1e21f,  1e22f,  1e23f,  1e24f,
    1e25f,  1e26f,  1e27f,  1e28f,  1e29f,  1e30f,  1e31f,  1e32f,  1e33f,  1e34f,  1e35f,  1e36f,  1e37f,  1e38f};

// The bits of the smallest float at or above 10^j, for j from -45 to 39
// (index j + 45): |v| >= 10^j exactly when the bits of |v| are at least these.
constexpr auto powers_of_ten_from = [] {
    struct table {
        std::uint32_t bits[85];
    } t{};
    for (int j = -45; j <= 38; ++j) {
        // The nearest float, or the next one up where that is below.
        const std::uint32_t near = std::bit_cast<std::uint32_t>(nearest_powers_of_ten[j + 45]);
        const parts x = split(near);
        t.bits[j + 45] = compare_with_power_of_ten(x.m, x.e, j) < 0 ? near + 1 : near;
    }
    t.bits[39 + 45] = 0x7f800000;  // beyond every finite float
    return t;
}();

// floor(2^(z+63) / 10^t) for t from 1 to 33: the 64 leading bits of 10^-t,
// with z such that 2^(z-1) < 10^t < 2^z, so that the top one is set.
struct reciprocal {
    std::uint64_t r;
    int z;
};

constexpr auto reciprocals = [] {
    struct table {
        reciprocal v[34];
    } t{};
    for (int p = 1; p <= 33; ++p) {
        const u128 d = pow10.v[p];
        int z = 0;
        while ((u128{1} << z) < d) ++z;
        // Long division of 2^(z+63) by d, a bit at a time.
        u128 rem = u128{1} << z;
        std::uint64_t q = 0;
        for (int i = 0; i < 64; ++i) {
            const bool bit = rem >= d;
            q = q << 1 | (bit ? 1 : 0);
            if (bit) rem -= d;
            rem <<= 1;
        }
        t.v[p] = {q, z};
    }
    return t;
}();

// ---- Text words.

// The byte c in every byte of a word.
template <class U>
constexpr U every_byte(unsigned char c) {
    U w = 0;
    for (std::size_t i = 0; i < sizeof(U); ++i) w = w << 8 | c;
    return w;
}

// The four characters of every number below 10^4, leading zeros included,
// the first in the lowest byte (40,000 bytes).
constexpr auto four_digits = [] {
    struct table {
        std::uint32_t v[10000];
    } t{};
    for (std::uint32_t i = 0; i < 10000; ++i)
        t.v[i] = ('0' + i / 1000) | ('0' + i / 100 % 10) << 8 | ('0' + i / 10 % 10) << 16 | ('0' + i % 10) << 24;
    return t;
}();

// The eight characters of v < 10^8, leading zeros included.
constexpr std::uint64_t eight_digits(std::uint32_t v) {
    return four_digits.v[v / 10000] | std::uint64_t{four_digits.v[v % 10000]} << 32;
}
static_assert(eight_digits(1234567) == 0x3736353433323130);  // "01234567"

// Writes the eight characters of a text word.
void store_bytes(char* p, std::uint64_t w) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &w, sizeof w);
    } else {
        for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(w >> (8 * i));
    }
}

// Writes the first 15 characters of a text word of 16: a whole real field,
// as two words of eight overlapping in one character.
void store_field(char* field, u128 w) {
    store_bytes(field, static_cast<std::uint64_t>(w));
    store_bytes(field + 7, static_cast<std::uint64_t>(w >> 56));
}

int count_trailing_zeros(u128 v) {
    const auto low = static_cast<std::uint64_t>(v);
    return low != 0 ? std::countr_zero(low) : 64 + std::countr_zero(static_cast<std::uint64_t>(v >> 64));
}

// Turns the `count` first characters of a text word, zero digits, into
// blanks (fewer than the word holds), and for a negative value puts the
// minus sign on the last of them.
template <class U>
U blank_leading(U text, int count, bool negative) {
    const U blanks = (U{1} << (8 * count)) - 1;
    const U last = blanks ^ (blanks >> 8);
    return text - (blanks & every_byte<U>('0' - ' ')) + (negative ? last & every_byte<U>('-' - ' ') : 0);
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

// Infinity, -Infinity and NaN; returns false for a finite value.
bool place_non_finite(char* field, std::uint32_t bits) {
    if ((bits & 0x7f800000) != 0x7f800000) return false;
    if ((bits & 0x7fffff) != 0)
        place(field, real_width, "NaN", 3);
    else if (bits >> 31)
        place(field, real_width, "-Infinity", 9);
    else
        place(field, real_width, "Infinity", 8);
    return true;
}

// ---- Fixed point.

// The fixed-point text of n < 10^14 with `decimals` digits after the point:
// fourteen digits with the point among them fill the field; leading zeros
// before the last digit of the whole part become blanks, and a negative
// value's minus sign takes the place of the last of those blanks.
template <int decimals>
[[gnu::always_inline]] inline void put_fixed_text(char* field, std::uint64_t n, bool negative) {
    constexpr int whole = 14 - decimals;  // digits before the point, leading zeros included
    // The first six digits (the last six of n / 10^8's eight) and the last eight.
    const std::uint64_t first = eight_digits(static_cast<std::uint32_t>(n / 100000000)) >> 16;
    const std::uint64_t last = eight_digits(static_cast<std::uint32_t>(n % 100000000));
    if constexpr (whole <= 6) {
        // The whole part and the point fall in the first eight characters
        // and the last eight are digits: two words overlapping in a digit.
        constexpr std::uint64_t whole_bytes = (std::uint64_t{1} << (8 * whole)) - 1;
        const int zeros =
            std::countr_zero((first ^ every_byte<std::uint64_t>('0')) | std::uint64_t{1} << (8 * whole - 8)) / 8;
        const std::uint64_t head =
            (first & whole_bytes) | std::uint64_t{'.'} << (8 * whole) | (first & ~whole_bytes) << 8;
        store_bytes(field, blank_leading(head, zeros, negative));
        store_bytes(field + 7, last);
    } else {
        const u128 chars = first | u128{last} << 48;
        constexpr u128 whole_bytes = (u128{1} << (8 * whole)) - 1;
        const u128 digits = chars ^ every_byte<u128>('0');
        const int zeros = count_trailing_zeros(digits | u128{1} << (8 * whole - 8)) / 8;
        const u128 text = (chars & whole_bytes) | u128{'.'} << (8 * whole) | (chars & ~whole_bytes) << 8;
        store_field(field, blank_leading(text, zeros, negative));
    }
}

template <int decimals>
[[gnu::always_inline]] inline void fixed(char* field, float v) {
    constexpr std::uint64_t scale = pow10_u64.v[decimals];
    constexpr std::uint64_t too_wide = pow10_u64.v[14];  // |v| x 10^decimals from here on does not fit
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    const std::uint32_t biased = (bits >> 23) & 0xff;
    // |v| x 10^decimals = m x 10^decimals x 2^e, with m x 10^decimals < 2^54.
    const std::uint64_t num = std::uint64_t{(bits & 0x7fffff) | 0x800000} * scale;
    std::uint64_t n = 0;  // below 2^-63 (subnormals too) it rounds to zero
    if (biased >= 150) {  // e >= 0
        if (place_non_finite(field, bits)) return;
        const int e = static_cast<int>(biased) - 150;
        if (e >= 64 || num > (too_wide >> e)) {
            fill(field, real_width, '*');
            return;
        }
        n = num << e;
    } else if (biased >= 150 - 63) {
        n = shift_rounded(num, static_cast<int>(150 - biased));
    }
    // The sign takes the place of one digit of the whole part.
    const bool negative = (bits >> 31) != 0;
    if (n >= (negative ? too_wide / 10 : too_wide)) {
        fill(field, real_width, '*');
        return;
    }
    put_fixed_text<decimals>(field, n, negative);
}

// ---- Scientific.

// |v| x 10^s rounded to nearest, ties to even, for v = m x 2^e, where the
// result has six or seven digits; the cases beyond 64 bits.
[[gnu::noinline]] std::uint32_t scaled_wide(parts x, int s) {
    if (s >= 0) {
        // m x 5^s x 2^(e+s), exactly; m x 5^s is below 2^(20 - e - s) < 2^128.
        const int shift = x.e + s;
        const u128 p = u128{x.m} * pow5.v[s];
        return static_cast<std::uint32_t>(shift >= 0 ? p << shift : shift_rounded(p, -shift));
    }
    // |v| / 10^t = num / den. The leading bits of 10^-t give a quotient q
    // below it by less than 2^-63 of it, itself below 2^20: q is the floor,
    // or one below where num / den lies less than 2^-43 above a whole
    // number. The remainder is then above den (by a hair), and rounding it
    // adds the one that is missing.
    const int t = -s;
    const reciprocal& r = reciprocals.v[t];
    const std::uint64_t q = static_cast<std::uint64_t>((u128{x.m} * r.r) >> (r.z + 63 - x.e));
    const u128 num = x.e >= 0 ? u128{x.m} << x.e : u128{x.m};
    const u128 den = x.e >= 0 ? pow10.v[t] : pow10.v[t] << -x.e;
    const u128 rem = num - q * den;
    return static_cast<std::uint32_t>(q + (2 * rem + (q & 1) > den ? 1 : 0));
}

[[gnu::always_inline]] inline std::uint32_t scaled(parts x, int s) {
    // m x 5^s x 2^(e+s) in 64 bits, while m x 5^s fits them.
    const int shift = x.e + s;
    if (s < 0 || s > 17 || shift <= -64) return scaled_wide(x, s);
    const std::uint64_t p = std::uint64_t{x.m} * pow5_u64.v[s];
    return static_cast<std::uint32_t>(shift >= 0 ? p << shift : shift_rounded(p, -shift));
}

// The text from the letter E on, in the last five characters of a word,
// for the exponents -45 to 38 (index + 45).
constexpr auto exponent_texts = [] {
    struct table {
        std::uint64_t w[84];
    } t{};
    for (int k = -45; k <= 38; ++k) {
        const int a = k < 0 ? -k : k;
        const char text[5] = {'E', k < 0 ? '-' : '+', '0', static_cast<char>('0' + a / 10),
                              static_cast<char>('0' + a % 10)};
        std::uint64_t w = 0;
        for (int i = 0; i < 5; ++i) w |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * (3 + i));
        t.w[k + 45] = w;
    }
    return t;
}();

[[gnu::always_inline]] inline void scientific(char* field, float v) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    if (place_non_finite(field, bits)) return;
    std::uint32_t n = 0;  // six significant digits
    int k = 0;            // the decimal exponent
    if ((bits & 0x7fffffff) != 0) {
        const parts x = split(bits);
        // k = floor(log10 |v|): that of the power of two below |v|, or one
        // more where |v| reaches the next power of ten.
        k = floor_log10_pow2(31 - std::countl_zero(x.m) + x.e);
        k += (bits & 0x7fffffff) >= powers_of_ten_from.bits[k + 1 + 45] ? 1 : 0;
        n = scaled(x, 5 - k);
        if (n == 1000000) {  // rounded up to ten: the next exponent
            n = 100000;
            ++k;
        }
    }
    // "  -d.ddd" and "dddE+0kk", overlapping in the third decimal; the
    // sign's place is blank when the sign bit is clear.
    const std::uint64_t d = eight_digits(n);  // "00dddddd"
    const std::uint64_t sign = bits >> 31 != 0 ? '-' : ' ';
    const std::uint64_t head = std::uint64_t{' '} | std::uint64_t{' '} << 8 | sign << 16 | (d & 0xff0000) << 8 |
                               std::uint64_t{'.'} << 32 | (d & 0xffffff000000) << 16;
    store_bytes(field, head);
    store_bytes(field + 7, d >> 40 | exponent_texts.w[k + 45]);
}

}  // namespace

void put_integer(char* field, std::int32_t v) {
    if (v < 0 || v > 999) {
        fill(field, integer_width, '*');
        return;
    }
    field[0] = static_cast<char>('0' + v / 100);
    field[1] = static_cast<char>('0' + v / 10 % 10);
    field[2] = static_cast<char>('0' + v % 10);
}

void put_fixed(char* field, float v, int decimals) {
    switch (decimals) {
        case 9:
            return fixed<9>(field, v);
        case 5:
            return fixed<5>(field, v);
        case 3:
            return fixed<3>(field, v);
        case 0:
            return fixed<0>(field, v);
        case 1:
            return fixed<1>(field, v);
        case 2:
            return fixed<2>(field, v);
        case 4:
            return fixed<4>(field, v);
        case 6:
            return fixed<6>(field, v);
        case 7:
            return fixed<7>(field, v);
        default:
            return fixed<8>(field, v);
    }
}

void put_scientific(char* field, float v) { scientific(field, v); }

void put_data_fields(char* line, const float* values) {
    fixed<9>(line, values[0]);
    scientific(line + real_width, values[1]);
    fixed<9>(line + 2 * real_width, values[2]);
    fixed<9>(line + 3 * real_width, values[3]);
    scientific(line + 4 * real_width, values[4]);
    scientific(line + 5 * real_width, values[5]);
}

}  // namespace textio
