// The powers of five that turn a decimal exponent into a binary one, scaled
// to 128 bits and worked out at compile time.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "textio/u128.h"

namespace textio {


// The exponents of ten a float needs: below 10^-65 any w below 2^64 gives
// less than half the smallest subnormal; from 10^39 on even w = 1 gives more
// than the largest float.
inline constexpr int smallest_power = -65;
inline constexpr int largest_power = 38;

struct power_of_five {
    std::uint64_t high, low;  // 128 bits, the top one set
};

namespace detail {

// A number of 8 x 64 bits, least significant limb first: just enough
// arithmetic to work out the table, cheaply enough for any compiler's limit
// on compile-time evaluation.
struct wide {
    std::uint64_t limb[8]{};

    constexpr int bits() const {
        for (int i = 7; i >= 0; --i)
            if (limb[i] != 0) return 64 * i + 64 - std::countl_zero(limb[i]);
        return 0;
    }
    constexpr void times(std::uint64_t m) {
        u128 carry = 0;
        for (auto& l : limb) {
            const u128 t = static_cast<u128>(l) * m + carry;
            l = static_cast<std::uint64_t>(t);
            carry = t >> 64;
        }
    }
    // Divides by d, rounding down.
    constexpr void divide(std::uint64_t d) {
        u128 rest = 0;
        for (int i = 7; i >= 0; --i) {
            const u128 t = rest << 64 | limb[i];
            limb[i] = static_cast<std::uint64_t>(t / d);
            rest = t % d;
        }
    }
    constexpr void add_one() {
        for (auto& l : limb)
            if (++l != 0) break;
    }
    constexpr wide shifted_right(int k) const {
        wide r;
        const int limbs = k / 64, bits = k % 64;
        for (int i = 0; i + limbs < 8; ++i) {
            r.limb[i] = limb[i + limbs] >> bits;
            if (bits != 0 && i + limbs + 1 < 8) r.limb[i] |= limb[i + limbs + 1] << (64 - bits);
        }
        return r;
    }
};

// 5^q scaled by a power of two into [2^127, 2^128): exact for q >= 0 (5^38
// has 89 bits); for q < 0 the quotient 2^b / 5^-q, one more than its floor,
// with b as large as the proof of the 128-bit product's error bound wants,
// cut to its top 128 bits. The floors come from one quotient 2^511 / 5^k,
// divided by 5 once for each k.
constexpr auto make_powers_of_five() {
    std::array<power_of_five, largest_power - smallest_power + 1> t{};
    wide five;  // 5^q
    five.limb[0] = 1;
    for (int q = 0; q <= largest_power; ++q, five.times(5)) {
        const u128 v = static_cast<u128>(five.limb[1]) << 64 | five.limb[0];
        const u128 c = v << (128 - five.bits());
        t[static_cast<std::size_t>(q - smallest_power)] = {static_cast<std::uint64_t>(c >> 64), static_cast<std::uint64_t>(c)};
    }
    constexpr int top = 511;
    wide quotient;  // floor(2^top / 5^k)
    quotient.limb[7] = std::uint64_t{1} << 63;
    five = wide{};
    five.limb[0] = 1;
    for (int k = 1; k <= -smallest_power; ++k) {
        quotient.divide(5);
        five.times(5);
        const int z = five.bits();  // 2^(z-1) < 5^k < 2^z
        const int b = k <= 27 ? z + 127 : 2 * z + 128;
        wide c = quotient.shifted_right(top - b);
        c.add_one();
        c = c.shifted_right(c.bits() - 128);
        t[static_cast<std::size_t>(-k - smallest_power)] = {c.limb[1], c.limb[0]};
    }
    return t;
}

}  // namespace detail

inline constexpr auto powers_of_five = detail::make_powers_of_five();

static_assert(powers_of_five[0 - smallest_power].high == std::uint64_t{1} << 63 &&
              powers_of_five[0 - smallest_power].low == 0);
static_assert(powers_of_five[1 - smallest_power].high == std::uint64_t{5} << 61);
static_assert(powers_of_five[-1 - smallest_power].high == 0xccccccccccccccccu &&
              powers_of_five[-1 - smallest_power].low == 0xcccccccccccccccdu);

}  // namespace textio
