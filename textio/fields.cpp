// The fields of the output file, written in two steps as {fmt} and
// dragonbox write numbers. First the digits of the value, as a small result:
// the digits as a whole number, the power of ten of the last one, the sign,
// and what the field shows (the digits, asterisks, or a word). Then one
// writer lays any field out from that result, right-aligned in its width,
// from a description of its layout. Every table and magic constant is
// worked out, and checked, while compiling.
#include "textio/fields.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <utility>

#include "textio/u128.h"

namespace textio {
namespace {

// ---- Numbers, and the facts about them the fields rely on.

template <class U>
constexpr U power(unsigned base, int p) {
    U r = 1;
    for (int i = 0; i < p; ++i) r *= base;
    return r;
}

constexpr std::uint64_t power_of_ten(int p) { return power<std::uint64_t>(10, p); }

// All ones where c is 1, none where it is 0: for choosing without a branch.
template <class T>
constexpr T all_if(unsigned c) {
    return T{0} - c;
}

// The bits of a float: the sign bit, then the magnitude.
constexpr std::uint32_t sign_bit = std::uint32_t{1} << 31;
constexpr std::uint32_t infinity_bits = std::bit_cast<std::uint32_t>(std::numeric_limits<float>::infinity());
constexpr std::uint32_t largest_bits = std::bit_cast<std::uint32_t>(std::numeric_limits<float>::max());
constexpr std::uint32_t smallest_bits = 1;  // the smallest subnormal

// A float's magnitude holds a biased exponent above 23 bits of fraction;
// a double's, 52 bits of fraction.
constexpr int fraction_bits = std::numeric_limits<float>::digits - 1;
constexpr int exponent_bias = std::numeric_limits<float>::max_exponent - 1;
constexpr int double_fraction_bits = std::numeric_limits<double>::digits - 1;
constexpr int double_exponent_bias = std::numeric_limits<double>::max_exponent - 1;
static_assert(fraction_bits == 23 && exponent_bias == 127 && double_fraction_bits == 52 &&
              double_exponent_bias == 1023);

// The magnitude of a finite float as m x 2^e, m < 2^24.
struct binary {
    std::uint32_t m;
    int e;
};

constexpr binary split(std::uint32_t magnitude) {
    constexpr std::uint32_t one = std::uint32_t{1} << fraction_bits;
    const std::uint32_t biased = magnitude >> fraction_bits;
    const std::uint32_t fraction = magnitude & (one - 1);
    // Subnormals are 0.fraction x 2^(1 - bias), the others 1.fraction x 2^(biased - bias).
    if (biased == 0) return {fraction, 1 - exponent_bias - fraction_bits};
    return {fraction | one, static_cast<int>(biased) - exponent_bias - fraction_bits};
}

// x / 2^t rounded to nearest, ties to even; 0 < t < the width of U, and x
// below half the range of U. Adding half less one carries into the quotient
// when the rest is above half; adding the quotient's last bit as well, also
// when it is exactly half and the quotient is odd.
template <class U>
constexpr U shift_rounded(U x, int t) {
    return (x + (U{1} << (t - 1)) - 1 + ((x >> t) & 1)) >> t;
}

// Doubles from 2^52 to 2^53 are the whole numbers there and no others. So
// x + 2^52, for 0 <= x < 2^52, is x rounded to a whole number, to nearest
// with ties to even (how every double operation rounds: the program never
// changes it), and the low bits of the sum are that number.
constexpr double two_to_52 = 0x1p52;
static_assert(std::bit_cast<std::uint64_t>(two_to_52 + 5.0) - std::bit_cast<std::uint64_t>(two_to_52) == 5);

struct whole_number {
    std::uint64_t n;  // x rounded, ties to even
    double rest;      // x - n, exactly: from -1/2 to 1/2
};

[[gnu::always_inline]] inline whole_number round_to_whole(double x) {
    const double sum = x + two_to_52;
    // sum - 2^52 is n exactly, and x - n is exact: both are multiples of
    // the last place of x, and the difference is at most 1/2.
    return {std::bit_cast<std::uint64_t>(sum) - std::bit_cast<std::uint64_t>(two_to_52), x - (sum - two_to_52)};
}

// The powers base^0 to base^(count - 1), exactly.
template <int count>
struct exact_powers {
    u128 v[count];
};

template <int count>
constexpr exact_powers<count> powers_of(unsigned base) {
    exact_powers<count> t{};
    for (int i = 0; i < count; ++i) t.v[i] = power<u128>(base, i);
    return t;
}

// The exact powers of 5 and 10 for the exact scaling below: 5^55 and 10^38
// are the largest in 128 bits.
constexpr auto powers_of_five_exact = powers_of<56>(5);
constexpr auto powers_of_ten_exact = powers_of<39>(10);
// The last is the one before it times the base, so nothing wrapped; one
// more would not fit.
static_assert(powers_of_five_exact.v[55] / 5 == powers_of_five_exact.v[54] &&
              powers_of_five_exact.v[55] > ~u128{0} / 5);
static_assert(powers_of_ten_exact.v[38] / 10 == powers_of_ten_exact.v[37] && powers_of_ten_exact.v[38] > ~u128{0} / 10);

// Products and shifts for the tables below, which are worked out while
// compiling: one that would not fit 128 bits stops the compilation.
constexpr int bit_width(u128 a) {
    const auto high = static_cast<std::uint64_t>(a >> 64);
    return static_cast<int>(high != 0 ? 64 + std::bit_width(high) : std::bit_width(static_cast<std::uint64_t>(a)));
}
constexpr u128 checked_product(u128 a, u128 b) {
    if (bit_width(a) + bit_width(b) > 128) throw "a product beyond 128 bits";
    return a * b;
}
constexpr u128 checked_shift(u128 a, int s) {
    if (a != 0 && (s >= 128 || a > ~u128{0} >> s)) throw "a shift beyond 128 bits";
    return a << s;
}

// The sign of m x 2^e - c x 10^j, exactly: both sides become integers,
// m x 2^e against c x 5^j x 2^j.
constexpr int compare_exactly(std::uint32_t m, int e, std::uint32_t c, int j) {
    u128 left = m, right = c;
    int two = e;  // the power of two on the left, less the one on the right
    if (j >= 0) {
        right = checked_product(right, powers_of_five_exact.v[j]);
        two -= j;
    } else {
        left = checked_product(left, powers_of_five_exact.v[-j]);
        two += -j;
    }
    if (two >= 0)
        left = checked_shift(left, two);
    else
        right = checked_shift(right, -two);
    return left < right ? -1 : left > right ? 1 : 0;
}

// floor(log10 2^b) = floor(b x log10 2), with log10 2 as 78913 / 2^18:
// 78913 = floor(log10(2) x 2^18) = floor(78913.21...), close enough for
// every binary exponent of a float, as the check below shows.
template <class I>
constexpr I floor_log10_pow2(I b) {
    return (b * 78913) >> 18;
}

constexpr bool floor_log10_pow2_is_exact() {
    for (int b = -149; b <= 127; ++b) {
        const int k = floor_log10_pow2(b);  // 10^k <= 2^b < 10^(k+1)
        if (compare_exactly(1, b, 1, k) < 0 || compare_exactly(1, b, 1, k + 1) >= 0) return false;
    }
    return true;
}
static_assert(floor_log10_pow2_is_exact());

// The decimal exponents of floats: 1.4e-45 to 3.4e38.
constexpr int smallest_exponent = -45;
constexpr int largest_exponent = 38;

constexpr float nearest_powers_of_ten[] = {
    1e-45f, 1e-44f, 1e-43f, 1e-42f, 1e-41f, 1e-40f, 1e-39f, 1e-38f, 1e-37f, 1e-36f, 1e-35f, 1e-34f, 1e-33f, 1e-32f,
    1e-31f, 1e-30f, 1e-29f, 1e-28f, 1e-27f, 1e-26f, 1e-25f, 1e-24f, 1e-23f, 1e-22f, 1e-21f, 1e-20f, 1e-19f, 1e-18f,
    1e-17f, 1e-16f, 1e-15f, 1e-14f, 1e-13f, 1e-12f, 1e-11f, 1e-10f, 1e-9f,  1e-8f,  1e-7f,  1e-6f,  1e-5f,  1e-4f,
    1e-3f,  1e-2f,  1e-1f,  1e0f,   1e1f,   1e2f,   1e3f,   1e4f,   1e5f,   1e6f,   1e7f,   1e8f,   1e9f,   1e10f,
    1e11f,  1e12f,  1e13f,  1e14f,  1e15f,  1e16f,  1e17f,  1e18f,  1e19f,  1e20f,  1e21f,  1e22f,  1e23f,  1e24f,
    1e25f,  1e26f,  1e27f,  1e28f,  1e29f,  1e30f,  1e31f,  1e32f,  1e33f,  1e34f,  1e35f,  1e36f,  1e37f,  1e38f};

// The numbers the digits of a float are worked out with, by its decimal
// exponent k from -45 to 38 (index k + 45), in one block so that one
// address reaches them:
// - next_exponent_from: the bits of the smallest float that, rounded at six
//   significant digits, reaches 10^(k+1): |v| >= (10^6 - 1/2) x 10^(k-5) =
//   1999999 x 10^(k-5) / 2; found from the float nearest 10^(k+1), a bit
//   pattern at a time. No float reaches it for k = 38.
// - scales: the double nearest 10^(5-k), which brings six digits of a float
//   of exponent k before the point.
// - fixed_limits: below which a fixed-point field's |v| x 10^d fits, for a
//   positive and a negative value: x rounds, ties to even, below 10^14
//   exactly when x < 10^14 - 1/2, and a negative value's sign takes one of
//   the 14 places for digits.
constexpr int exponents = largest_exponent - smallest_exponent + 1;

constexpr double nearest_scales[] = {
    1e50,  1e49,  1e48,  1e47,  1e46,  1e45,  1e44,  1e43,  1e42,  1e41,  1e40,  1e39,  1e38,  1e37,
    1e36,  1e35,  1e34,  1e33,  1e32,  1e31,  1e30,  1e29,  1e28,  1e27,  1e26,  1e25,  1e24,  1e23,
    1e22,  1e21,  1e20,  1e19,  1e18,  1e17,  1e16,  1e15,  1e14,  1e13,  1e12,  1e11,  1e10,  1e9,
    1e8,   1e7,   1e6,   1e5,   1e4,   1e3,   1e2,   1e1,   1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,
    1e-6,  1e-7,  1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15, 1e-16, 1e-17, 1e-18, 1e-19,
    1e-20, 1e-21, 1e-22, 1e-23, 1e-24, 1e-25, 1e-26, 1e-27, 1e-28, 1e-29, 1e-30, 1e-31, 1e-32, 1e-33};
static_assert(std::size(nearest_scales) == exponents);

struct number_tables {
    std::uint32_t next_exponent_from[exponents];
    double scales[exponents];
    double fixed_limits[2];
};

constexpr number_tables numbers = [] {
    number_tables t{};
    auto reaches = [](std::uint32_t bits, int k) {
        const binary x = split(bits);
        return compare_exactly(x.m, x.e + 1, 1999999, k - 5) >= 0;
    };
    for (int k = smallest_exponent; k < largest_exponent; ++k) {
        std::uint32_t b = std::bit_cast<std::uint32_t>(nearest_powers_of_ten[k + 1 - smallest_exponent]);
        while (reaches(b - 1, k)) --b;
        while (!reaches(b, k)) ++b;
        t.next_exponent_from[k - smallest_exponent] = b;
    }
    t.next_exponent_from[largest_exponent - smallest_exponent] = ~std::uint32_t{0};
    for (int i = 0; i < exponents; ++i) t.scales[i] = nearest_scales[i];
    constexpr int places = real_width - 1;
    t.fixed_limits[0] = static_cast<double>(power_of_ten(places)) - 0.5;
    t.fixed_limits[1] = static_cast<double>(power_of_ten(places - 1)) - 0.5;
    return t;
}();

// ---- Digits.

// What a field shows: its digits, or a text of its own in their place.
// Zero has a text of its own in a scientific field, where it has no
// exponent to find. The order lets what a float shows be counted from how
// far its magnitude is from the finite range, below (zero) or above
// (infinity, then NaN), without a branch.
enum class shown : std::uint8_t { zero, digits, infinity, nan, asterisks };
constexpr int shown_kinds = 5;

// Zero, a finite value, an infinity or a NaN, from a float's magnitude and
// that magnitude held within [lowest, largest_bits]: zero alone falls below
// 1, so that it is one less than the others where lowest is 1.
constexpr shown float_class(std::uint32_t magnitude, std::uint32_t held) {
    return static_cast<shown>(std::min(magnitude - held + 1, static_cast<std::uint32_t>(shown::nan)));
}

// The digits of a value for its field: |value| = significand x 10^exponent,
// rounded at the field's last digit, and what the field shows. The
// significand never has more digits than the field, whatever it shows.
struct field_digits {
    std::uint64_t significand;
    int exponent;
    std::uint32_t negative;  // 1 for the sign bit, which every finite value shows as a minus sign
    shown what;
};

// I3.3: three digits; a negative value would need a fourth place for its sign.
field_digits integer_digits(std::int32_t v) {
    const bool fits = v >= 0 && v < static_cast<std::int32_t>(power_of_ten(integer_width));
    return {static_cast<std::uint64_t>(v) & all_if<std::uint64_t>(fits), 0, static_cast<std::uint32_t>(v < 0),
            fits ? shown::digits : shown::asterisks};
}

// F15.d: |v| x 10^d rounded to a whole number, whose digits fill every
// place of the field but the point's. The product is exact in a double:
// 24 significant bits times 10^d = 5^d x 2^d need at most 24 + 21 of the 53
// bits of a double's significand for d <= 9.
template <int decimals>
[[gnu::always_inline]] inline field_digits fixed_digits(float v) {
    static_assert((std::uint64_t{1} << 24) * power<std::uint64_t>(5, decimals) <= std::uint64_t{1} << 53);
    constexpr int places = real_width - 1;
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    const std::uint32_t magnitude = bits & ~sign_bit;
    const std::uint32_t negative = bits >> 31;
    const double scaled =
        static_cast<double>(std::bit_cast<float>(magnitude)) * static_cast<double>(power_of_ten(decimals));
    // Never for an infinity or a NaN.
    const bool fits = scaled < numbers.fixed_limits[negative];
    // Below 10^places whatever v is, so that the digits' tables are read
    // within their bounds: where scaled is 2^52 or more, an infinity or a
    // NaN, the bits of the sum are those of 2^53 or more.
    const std::uint64_t n = std::min(round_to_whole(scaled).n, power_of_ten(places) - 1);
    // Digits, infinity or NaN by the magnitude, counted as float_class
    // counts them; finite values that do not fit show asterisks (infinities
    // and NaNs never fit).
    const unsigned beyond = static_cast<unsigned>(magnitude >= infinity_bits);
    const unsigned kind =
        static_cast<unsigned>(shown::digits) + beyond + static_cast<unsigned>(magnitude > infinity_bits);
    constexpr unsigned to_asterisks = static_cast<unsigned>(shown::asterisks) - static_cast<unsigned>(shown::digits);
    const unsigned asterisks = static_cast<unsigned>(!fits) & (beyond ^ 1);
    return {n, -decimals, negative, static_cast<shown>(kind + to_asterisks * asterisks)};
}

// |v| x 10^s rounded to a whole number, ties to even, in exact integer
// arithmetic, for |v| = m x 2^e and s = 5 - k: the few products that the
// double one below cannot decide. With s >= 0, m x 5^s is the numerator,
// shifted by e + s; with s < 0, m x 2^e over 10^-s (x 2^-e where e < 0).
// All of it fits 128 bits, as the check after it shows.
[[gnu::noinline]] std::uint64_t exact_scaled(std::uint32_t magnitude, int s) {
    const binary x = split(magnitude);
    if (s >= 0) {
        const u128 p = u128{x.m} * powers_of_five_exact.v[s];
        const int shift = x.e + s;
        return static_cast<std::uint64_t>(shift >= 0 ? p << shift : shift_rounded(p, -shift));
    }
    const int t = -s;
    const u128 num = x.e >= 0 ? u128{x.m} << x.e : u128{x.m};
    const u128 den = x.e >= 0 ? powers_of_ten_exact.v[t] : powers_of_ten_exact.v[t] << -x.e;
    const u128 q = num / den;
    const u128 twice_rest = 2 * (num - q * den);
    return static_cast<std::uint64_t>(q) + (twice_rest > den || (twice_rest == den && (q & 1) != 0) ? 1 : 0);
}

// For every binade of floats, [2^b, 2^(b+1)): its largest m times 5^s for
// the largest s any of its values takes stays below 2^127, as
// shift_rounded needs; m x 2^e and 10^-s x 2^-e stay below 2^128, and the
// remainder twice over too.
constexpr bool exact_scaling_fits() {
    for (int b = 1 - exponent_bias - fraction_bits; b <= exponent_bias; ++b) {
        const int e = std::max(b - fraction_bits, 1 - exponent_bias - fraction_bits);
        const int m_width = b + 1 - e;          // bits of the largest m of the binade
        const int s = 5 - floor_log10_pow2(b);  // the largest scale, that of 2^b
        const int smallest_s = s - 1;           // k is floor(log10 2^b) or one more
        if (s >= 0 && m_width + bit_width(powers_of_five_exact.v[s]) > 127) return false;
        if (smallest_s < 0) {
            const int t = -smallest_s;
            if (e >= 0 && m_width + e > 128) return false;
            if (e < 0 && bit_width(powers_of_ten_exact.v[t]) - e + 1 > 128) return false;
        }
    }
    return true;
}
static_assert(exact_scaling_fits());

// ES15.5E3: six significant digits, |v| x 10^(5-k) rounded to a whole
// number from 10^5 to 10^6 - 1, and the exponent k of the first.
[[gnu::always_inline]] inline field_digits scientific_digits(float v) {
    constexpr int places = 6;
    // The double product is off by less than 2^-32: two roundings of 2^-53
    // each, on a product below 10^6 < 2^20. It rounds as the exact one does
    // unless it lies within that of a half, and those few (ties among them)
    // are worked out exactly.
    constexpr double near_half = 0.5 - 0x1p-31;
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    const std::uint32_t magnitude = bits & ~sign_bit;
    const std::uint32_t negative = bits >> 31;
    // Zero goes through the arithmetic as the smallest subnormal,
    // infinities and NaNs as the largest finite float, so that every table
    // index stays in range; what the field shows is settled at the end.
    const std::uint32_t x = std::clamp(magnitude, smallest_bits, largest_bits);
    const double a = static_cast<double>(std::bit_cast<float>(x));
    // k: floor(log10 |v|) of |v| rounded at six digits, so that the digits
    // never round up to 10^6. That of the power of two below |v|, or one
    // more; floor(log2 |v|) is the exponent of the double, in which every
    // float, subnormals included, is normal.
    const auto biased = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(a) >> double_fraction_bits);
    std::int64_t k = floor_log10_pow2(biased - double_exponent_bias);
    k += x >= numbers.next_exponent_from[k - smallest_exponent] ? 1 : 0;
    const double scaled = a * numbers.scales[k - smallest_exponent];
    const whole_number r = round_to_whole(scaled);
    std::uint64_t n = r.n;
    if (std::fabs(r.rest) >= near_half) [[unlikely]]
        n = exact_scaled(x, places - 1 - static_cast<int>(k));
    return {n, static_cast<int>(k) - (places - 1), negative, float_class(magnitude, x)};
}

// ---- Layout.

template <class T>
constexpr T repeated(char c, int count) {
    T t = 0;
    for (int i = 0; i < count; ++i) t = t << 8 | static_cast<unsigned char>(c);
    return t;
}

// The text of a field of `width` characters, as the two words it is
// written as: its first eight characters, and its last eight, which overlap
// them where the width is below 16. A character is a byte, the first in the
// lowest. A field of eight characters or fewer has the first word only.
// Built in a buffer of 16 characters and copied once instead, data lines of
// model rows took 51.4 ns against 37.7 (median ratio +36.5 %), and those of
// mixed rows 37.2 against 38.5 (-3.0 %), each the median of ten alternate
// runs of three repetitions (bench/micro.cpp, BM_write_data_lines_*).
template <int width>
struct field_text {
    static_assert(width <= 16);
    static constexpr int tail_start = width > 8 ? width - 8 : width;
    std::uint64_t head = 0;  // characters 0 to 7
    std::uint64_t tail = 0;  // characters tail_start to tail_start + 7

    // Puts `count` characters (at most 8, the first in the lowest byte of
    // `chars`, nothing above them) at place `at`.
    template <int at, int count>
    constexpr void put(std::uint64_t chars) {
        static_assert(at >= 0 && count <= 8 && at + count <= width);
        if constexpr (at < 8) head |= chars << 8 * at;  // those past place 7 fall off
        if constexpr (at + count > tail_start) {
            if constexpr (at >= tail_start)
                tail |= chars << 8 * (at - tail_start);
            else
                tail |= chars >> 8 * (tail_start - at);
        }
    }

    // The whole text in one number, and back.
    constexpr u128 whole() const { return u128{tail >> 8 * (8 - tail_start)} << 64 | head; }
    constexpr void set(u128 t) {
        head = static_cast<std::uint64_t>(t);
        tail = static_cast<std::uint64_t>(t >> 8 * tail_start);
    }
};

// A word right-aligned in a field: asterisks where it does not fit.
template <int width>
constexpr field_text<width> right_aligned(const char* word) {
    const int n = static_cast<int>(std::char_traits<char>::length(word));
    u128 t = 0;
    for (int i = 0; i < width; ++i) {
        const char c = n > width ? '*' : i < width - n ? ' ' : word[i - (width - n)];
        t |= u128{static_cast<unsigned char>(c)} << 8 * i;
    }
    field_text<width> f;
    f.set(t);
    return f;
}

// The four characters of every number below 10^4, leading zeros included,
// the first in the lowest byte (40,000 bytes). A table of two digits (200
// bytes) takes seven lookups and six divisions for a fixed-point field's 14
// digits where this one takes four and three: data lines took 47.5 ns
// against 37.3 with it on model rows and 48.0 against 37.7 on mixed ones
// (+28 % and +26 %, medians as for the field's text), and the whole program
// was 5 to 14 % slower on every shape of file but the one whose values
// change form at random, where it was level.
constexpr int group = 4;
constexpr auto digit_groups = [] {
    struct table {
        std::uint32_t v[10000];
    } t{};
    for (std::uint32_t i = 0; i < 10000; ++i)
        t.v[i] = ('0' + i / 1000) | ('0' + i / 100 % 10) << 8 | ('0' + i / 10 % 10) << 16 | ('0' + i % 10) << 24;
    return t;
}();

// The characters of the `count` digits of n < 10^count, count at most the
// table's, leading zeros included.
template <int count>
[[gnu::always_inline]] constexpr std::uint64_t digit_chars(std::uint32_t n) {
    static_assert(count >= 1 && count <= group);
    if constexpr (count == 1)
        return '0' + n;
    else
        return std::uint64_t{digit_groups.v[n]} >> 8 * (group - count);
}

// Puts the `count` digits of n < 10^count in their places, leading zeros
// included: digit `first` of the field's at place `at + first`, and those
// from the point on, after the first `whole`, one place further. Numbers
// longer than the table's are split in two, the lower part a power of two
// groups long, by the division the compiler makes of a product and shifts:
// a reciprocal searched for the quotients below 10^16 alone was no faster
// (-1.7 % on model rows, +0.3 % on mixed ones, medians as above).
template <int at, int whole, int first, int count, int width>
[[gnu::always_inline]] constexpr void put_digits(field_text<width>& t, std::uint64_t n) {
    if constexpr (count > group) {
        constexpr int low = group * static_cast<int>(std::bit_floor(static_cast<unsigned>((count - 1) / group)));
        constexpr std::uint64_t unit = power_of_ten(low);
        std::uint64_t high = 0;
        if constexpr (count <= 9)  // in 32 bits: 10^9 < 2^32
            high = static_cast<std::uint32_t>(n) / static_cast<std::uint32_t>(unit);
        else
            high = n / unit;
        put_digits<at, whole, first, count - low>(t, high);
        put_digits<at, whole, first + count - low, low>(t, n - high * unit);
    } else {
        const std::uint64_t chars = digit_chars<count>(static_cast<std::uint32_t>(n));
        constexpr int before = std::clamp(whole - first, 0, count);  // of these, those before the point
        if constexpr (before > 0) t.template put<at + first, before>(chars & ((std::uint64_t{1} << 8 * before) - 1));
        if constexpr (before < count) t.template put<at + first + before + 1, count - before>(chars >> 8 * before);
    }
}

// How a field lays out its digits.
struct layout {
    int width;
    int digits;        // places for digits, leading zeros included
    int whole;         // of them, those before the point (all: no point)
    bool exponent;     // E, the exponent's sign and exponent_digits digits follow
    bool blank_zeros;  // leading zeros before the last digit of the whole part show as blanks
};

constexpr layout i3_3{integer_width, integer_width, integer_width, false, false};
constexpr layout fixed_point(int decimals) {
    return {real_width, real_width - 1, real_width - 1 - decimals, false, true};
}
constexpr layout f15_9 = fixed_point(9);
constexpr layout f15_5 = fixed_point(5);
constexpr layout f15_3 = fixed_point(3);
constexpr layout es15_5e3{real_width, 6, 1, true, false};

constexpr int exponent_digits = 3;

// The places of a field's parts: its first digit, and its exponent.
template <layout f>
constexpr int start = f.width - f.digits - (f.whole < f.digits ? 1 : 0) - (f.exponent ? 2 + exponent_digits : 0);
template <layout f>
constexpr int exponent_place = start<f> + f.digits + (f.whole < f.digits ? 1 : 0);

// How many of the places before `last` hold zeros before any other digit.
template <int last, int width>
[[gnu::always_inline]] constexpr unsigned leading_zeros(const field_text<width>& t) {
    if constexpr (last < 8) {
        const std::uint64_t found = (t.head ^ repeated<std::uint64_t>('0', last)) | std::uint64_t{1} << 8 * last;
        return static_cast<unsigned>(std::countr_zero(found)) / 8;
    } else {
        const u128 found = (t.whole() ^ repeated<u128>('0', last)) | u128{1} << 8 * last;
        const auto low = static_cast<std::uint64_t>(found);
        const auto high = static_cast<std::uint64_t>(found >> 64);
        return static_cast<unsigned>(low != 0 ? std::countr_zero(low) : 64 + std::countr_zero(high)) / 8;
    }
}

// The texts of a layout's own: E, the sign and the digits of each exponent
// from -45 to 38 (index + 45) in their places, and what a text of digits
// loses for z leading zeros as blanks and a sign (a blank is a zero less
// '0' - ' ', a minus sign on the last blank a zero less '0' - '-'), by z and
// the sign; each word of the text apart. With the exponent's characters
// worked out for each field instead, data lines took 38.9 ns against 36.7
// on model rows and 38.4 against 36.7 on mixed ones (+4.5 % both); with
// the blanks' words worked out from z, 46.1 against 38.0 and 44.6 against
// 37.6 (+24 % and +20 %), medians as above.
template <layout f>
struct layout_parts {
    static constexpr int blank_places = f.blank_zeros ? f.whole : 1;
    std::uint64_t exponent_head[largest_exponent - smallest_exponent + 1];
    std::uint64_t exponent_tail[largest_exponent - smallest_exponent + 1];
    std::uint64_t blanks_head[blank_places][2];
    std::uint64_t blanks_tail[blank_places][2];
};

template <layout f>
constexpr layout_parts<f> parts_of = [] {
    layout_parts<f> t{};
    for (int k = smallest_exponent; k <= largest_exponent; ++k) {
        const int a = k < 0 ? -k : k;
        const char text[2 + exponent_digits] = {'E', k < 0 ? '-' : '+', static_cast<char>('0' + a / 100),
                                                static_cast<char>('0' + a / 10 % 10), static_cast<char>('0' + a % 10)};
        std::uint64_t w = 0;
        for (int i = 0; i < 2 + exponent_digits; ++i)
            w |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
        field_text<f.width> placed;
        if constexpr (f.exponent) placed.template put<exponent_place<f>, 2 + exponent_digits>(w);
        t.exponent_head[k - smallest_exponent] = placed.head;
        t.exponent_tail[k - smallest_exponent] = placed.tail;
    }
    for (int z = 0; z < t.blank_places; ++z) {
        for (int negative = 0; negative < 2; ++negative) {
            u128 less = 0;
            for (int i = 0; i < z; ++i) less |= u128{'0' - ' '} << 8 * (start<f> + i);
            if (negative != 0 && z > 0) less -= u128{'-' - ' '} << 8 * (start<f> + z - 1);
            field_text<f.width> w;
            w.set(less);
            t.blanks_head[z][negative] = w.head;
            t.blanks_tail[z][negative] = w.tail;
        }
    }
    return t;
}();

// The text of a field that shows digits, from its layout's parts: the
// digits with the point after the whole part, then the exponent; blanks
// before, and leading zeros as blanks too where the field has them, a
// negative value's minus sign on the last. A field with blanks of its own
// before the digits has its sign in place of the last of them: ' ' | '-' is
// '-'.
template <layout f>
[[gnu::always_inline]] constexpr field_text<f.width> digits_text(const field_digits& d, const layout_parts<f>& parts) {
    constexpr int first = start<f>;
    static_assert(first >= 0);
    field_text<f.width> t;
    if constexpr (first > 0) t.template put<0, first>(repeated<std::uint64_t>(' ', first));
    // The digits, and the point after the whole part.
    put_digits<first, f.whole, 0, f.digits>(t, d.significand);
    if constexpr (f.whole < f.digits) t.template put<first + f.whole, 1>('.');
    // The exponent, of the first digit.
    if constexpr (f.exponent) {
        const std::size_t k = static_cast<std::size_t>(d.exponent + f.digits - 1 - smallest_exponent);
        if constexpr (exponent_place<f> < 8) t.head |= parts.exponent_head[k];
        t.tail |= parts.exponent_tail[k];
    }
    // Leading zeros as blanks, and the sign on the last blank.
    if constexpr (f.blank_zeros) {
        constexpr int last = first + f.whole - 1;  // the whole part's last digit, which always shows
        const unsigned z = leading_zeros<last>(t);
        t.head -= parts.blanks_head[z][d.negative];
        if constexpr (last > t.tail_start) t.tail -= parts.blanks_tail[z][d.negative];
    } else if constexpr (first > 0) {
        t.template put<first - 1, 1>(all_if<std::uint64_t>(d.negative) & '-');
    }
    return t;
}

// All a layout's tables in one block, so that one address reaches them:
// its parts, then what a field shows in place of its digits, by what it
// shows and the sign (asterisks, the words, and zero in a scientific
// field; nothing for the digits), each word apart.
template <layout f>
struct layout_tables : layout_parts<f> {
    std::uint64_t instead_head[shown_kinds][2];
    std::uint64_t instead_tail[shown_kinds][2];
};

template <layout f>
constexpr layout_tables<f> tables_of = [] {
    using text = field_text<f.width>;
    text v[shown_kinds][2] = {};
    const auto put = [&](shown what, text positive, text negative) {
        v[static_cast<int>(what)][0] = positive;
        v[static_cast<int>(what)][1] = negative;
    };
    put(shown::asterisks, right_aligned<f.width>("****************"), right_aligned<f.width>("****************"));
    put(shown::infinity, right_aligned<f.width>("Infinity"), right_aligned<f.width>("-Infinity"));
    put(shown::nan, right_aligned<f.width>("NaN"), right_aligned<f.width>("NaN"));
    if constexpr (f.exponent) {
        constexpr int exponent = 1 - f.digits;  // 0 x 10^0 for the first digit
        put(shown::zero, digits_text<f>({0, exponent, 0, shown::digits}, parts_of<f>),
            digits_text<f>({0, exponent, 1, shown::digits}, parts_of<f>));
    }
    layout_tables<f> t{};
    static_cast<layout_parts<f>&>(t) = parts_of<f>;
    for (int i = 0; i < shown_kinds; ++i) {
        for (int negative = 0; negative < 2; ++negative) {
            t.instead_head[i][negative] = v[i][negative].head;
            t.instead_tail[i][negative] = v[i][negative].tail;
        }
    }
    return t;
}();

// Writes a word's first n characters (n <= 8).
void store_chars(char* p, std::uint64_t w, int n) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &w, static_cast<std::size_t>(n));
    } else {
        for (int i = 0; i < n; ++i) p[i] = static_cast<char>(w >> (8 * i));
    }
}

// Writes a field's text.
template <int width>
[[gnu::always_inline]] inline void store_text(char* field, const field_text<width>& t) {
    if constexpr (width > 8) {
        store_chars(field, t.head, 8);
        store_chars(field + t.tail_start, t.tail, 8);
    } else {
        store_chars(field, t.head, width);
    }
}

// Lays a field out and writes it: its digits, or what it shows instead.
// By a branch: where values of every kind follow one another, mixed rows
// took 28.8 ns a data line against 38.0 with the digits' text kept or
// dropped by a mask without one, and model rows were level (38.3 against
// 37.0 ns; medians of ten alternate runs of three repetitions each, the
// median ratio +0.2 %).
template <layout f>
[[gnu::always_inline]] inline void write_field(char* field, const field_digits& d) {
    const layout_tables<f>& tables = tables_of<f>;
    if (d.what != shown::digits) {
        const auto what = static_cast<std::size_t>(d.what);
        field_text<f.width> t;
        t.head = tables.instead_head[what][d.negative];
        t.tail = tables.instead_tail[what][d.negative];
        return store_text(field, t);
    }
    store_text(field, digits_text<f>(d, tables));
}

}  // namespace

void put_integer(char* field, std::int32_t v) { write_field<i3_3>(field, integer_digits(v)); }

void put_real(char* field, real_field kind, float v) {
    switch (kind) {
        case real_field::f15_9:
            return write_field<f15_9>(field, fixed_digits<9>(v));
        case real_field::f15_5:
            return write_field<f15_5>(field, fixed_digits<5>(v));
        case real_field::f15_3:
            return write_field<f15_3>(field, fixed_digits<3>(v));
        case real_field::es15_5e3:
            return write_field<es15_5e3>(field, scientific_digits(v));
    }
}

void put_data_fields(char* line, const float* values) {
    // The digits of all six first, then their layout: the steps of one
    // field wait on each other, and the processor can work on the next
    // field's while it waits.
    const field_digits d0 = fixed_digits<9>(values[0]);
    const field_digits d1 = scientific_digits(values[1]);
    const field_digits d2 = fixed_digits<9>(values[2]);
    const field_digits d3 = fixed_digits<9>(values[3]);
    const field_digits d4 = scientific_digits(values[4]);
    const field_digits d5 = scientific_digits(values[5]);
    write_field<f15_9>(line, d0);
    write_field<es15_5e3>(line + real_width, d1);
    write_field<f15_9>(line + 2 * real_width, d2);
    write_field<f15_9>(line + 3 * real_width, d3);
    write_field<es15_5e3>(line + 4 * real_width, d4);
    write_field<es15_5e3>(line + 5 * real_width, d5);
}

}  // namespace textio
