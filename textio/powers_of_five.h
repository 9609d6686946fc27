// The powers of five that turn a decimal exponent into a binary one, scaled
// to 128 bits and worked out at compile time.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace textio {

__extension__ using u128 = unsigned __int128;

// The exponents of ten a float needs: below 10^-65 any w below 2^64 gives
// less than half the smallest subnormal; from 10^39 on even w = 1 gives more
// than the largest float.
inline constexpr int smallest_power = -65;
inline constexpr int largest_power = 38;

namespace detail {

// A number of n x 64 bits, least significant limb first: just enough
// arithmetic to work out the table.
template <int n>
struct wide {
    std::array<std::uint64_t, n> limb{};

    constexpr int bits() const {
        for (int i = n - 1; i >= 0; --i)
            if (limb[i] != 0) return 64 * i + 64 - std::countl_zero(limb[i]);
        return 0;
    }
    constexpr void set_bit(int i) { limb[i / 64] |= std::uint64_t{1} << (i % 64); }
    constexpr void times(std::uint64_t m) {
        u128 carry = 0;
        for (auto& l : limb) {
            const u128 t = static_cast<u128>(l) * m + carry;
            l = static_cast<std::uint64_t>(t);
            carry = t >> 64;
        }
    }
    constexpr void add_one() {
        for (auto& l : limb)
            if (++l != 0) break;
    }
    // By 0 to 63 bits.
    constexpr void shift_left(int k) {
        if (k == 0) return;
        for (int i = n - 1; i > 0; --i) limb[i] = limb[i] << k | limb[i - 1] >> (64 - k);
        limb[0] <<= k;
    }
    constexpr void shift_right(int k) {
        if (k == 0) return;
        for (int i = 0; i < n - 1; ++i) limb[i] = limb[i] >> k | limb[i + 1] << (64 - k);
        limb[n - 1] >>= k;
    }
    constexpr bool at_least(const wide& o) const {
        for (int i = n - 1; i >= 0; --i)
            if (limb[i] != o.limb[i]) return limb[i] > o.limb[i];
        return true;
    }
    constexpr void subtract(const wide& o) {
        std::uint64_t borrow = 0;
        for (int i = 0; i < n; ++i) {
            const std::uint64_t a = limb[i], b = o.limb[i];
            limb[i] = a - b - borrow;
            borrow = (a < b || (a == b && borrow != 0)) ? 1 : 0;
        }
    }
};

}  // namespace detail

struct power_of_five {
    std::uint64_t high, low;  // 128 bits, the top one set
};

// 5^q scaled by a power of two into [2^127, 2^128): exact for q >= 0 (5^38
// has 89 bits); for q < 0 the quotient 2^b / 5^-q, one more than its floor,
// with b as large as the proof of the 128-bit product's error bound wants,
// cut to its top 128 bits.
constexpr power_of_five scaled_power_of_five(int q) {
    using detail::wide;
    wide<3> five;  // 5^65 has 151 bits
    five.limb[0] = 1;
    for (int i = 0; i < (q < 0 ? -q : q); ++i) five.times(5);
    const int z = five.bits();  // 2^(z-1) < 5^|q| < 2^z, or 5^0 = 2^0
    if (q >= 0) {
        wide<3> c = five;
        for (int k = 128 - z; k > 0; k -= 63) c.shift_left(k < 63 ? k : 63);
        return {c.limb[1], c.limb[0]};
    }
    // Long division of 2^b, one quotient bit at a time; the bits above
    // b - z + 1 are zero, as 2^(z-1) < 5^-q.
    const int b = q >= -27 ? z + 127 : 2 * z + 128;
    wide<3> rest;
    rest.set_bit(z - 1);
    wide<5> c;  // at most 2 x 151 + 128 - 151 + 1 bits
    for (int i = b - z + 1; i >= 0; --i) {
        if (rest.at_least(five)) {
            rest.subtract(five);
            c.set_bit(i);
        }
        if (i > 0) rest.shift_left(1);
    }
    c.add_one();
    const int extra = c.bits() - 128;
    for (int k = extra; k > 0; k -= 63) c.shift_right(k < 63 ? k : 63);
    return {c.limb[1], c.limb[0]};
}

inline constexpr auto powers_of_five = [] {
    std::array<power_of_five, largest_power - smallest_power + 1> t{};
    for (int q = smallest_power; q <= largest_power; ++q) t[q - smallest_power] = scaled_power_of_five(q);
    return t;
}();

static_assert(powers_of_five[0 - smallest_power].high == std::uint64_t{1} << 63 &&
              powers_of_five[0 - smallest_power].low == 0);
static_assert(powers_of_five[1 - smallest_power].high == std::uint64_t{5} << 61);

}  // namespace textio
