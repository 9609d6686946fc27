// The row conversion, checked to the bit.
//
// Expected values come from a different method than the code's: each
// operation is done in double and rounded once to float. A product of two
// floats is exact in double, and for a quotient or a sum, rounding to double
// and then to float gives the correctly rounded float (53 >= 2 * 24 + 2), so
// the method yields what single-precision arithmetic must give.
#include "app/rows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support.h"

namespace {

using testing_support::bits;
using testing_support::from_bits;

constexpr std::uint32_t any_nan = 0xffffffff;  // the result is a NaN, whatever its payload

struct row_case {
    const char* what;
    std::uint32_t ref;
    std::uint32_t in[7];
    std::uint32_t out[6];
};

// Worked out once by the method above, with the power taken in double and
// rounded to float (which the platform's powf matches for these ratios).
const row_case table[] = {
    {"a row of the shipped example",
     0x447a0000,
     {0x41200000, 0x447d2000, 0x43900ae1, 0x3c5767d1, 0x40a0ac08, 0xbf333333, 0xb924b593},
     {0x447d2000, 0x35f7ef00, 0x40a0ac08, 0xbf333333, 0x4391a3d7, 0x41525b62}},
    {"column 5 where a fused multiply-add gives 0x441677df",
     0x447a0000,
     {0x437a0000, 0x44d3d88a, 0xc4885499, 0x413325e4, 0x41480000, 0xc0500000, 0x3d800000},
     {0x44d3d88a, 0xba40ad04, 0x41480000, 0xc0500000, 0x441677e0, 0x462ef301}},
    {"column 5 where a fused multiply-add gives 0x4362f31b",
     0x447a0000,
     {0x3f800000, 0x44b86696, 0x4497de98, 0xc0d8869a, 0xc0e00000, 0x3a83126f, 0xc0900000},
     {0x44b86696, 0x3d58c2a5, 0xc0e00000, 0x3a83126f, 0x4362f318, 0xc5d37372}},
    {"c7 of +0 gives column 2 as -0",
     0x44548000,
     {0x00000000, 0x442f0000, 0x438c0000, 0x3ba3d70a, 0x3f800000, 0x40000000, 0x00000000},
     {0x442f0000, 0x80000000, 0x3f800000, 0x40000000, 0x43850249, 0x40a00000}},
    {"c7 of -0 gives +0; c2 equal to ref_value makes the power 1",
     0x44548000,
     {0x00000000, 0x44548000, 0x438c0000, 0x3ba3d70a, 0x3f800000, 0x40000000, 0x80000000},
     {0x44548000, 0x00000000, 0x3f800000, 0x40000000, 0x438c6aab, 0x40a00000}},
    {"ref_value 0 and c2 non-zero: an infinite ratio",
     0x00000000,
     {0x00000000, 0x44610000, 0x438c0000, 0x3ba3d70a, 0x3f800000, 0x40000000, 0x40400000},
     {0x44610000, 0xbd1081c4, 0x3f800000, 0x40000000, 0x7f800000, 0x40a00000}},
    {"ref_value 0 and c2 zero: a NaN ratio",
     0x00000000,
     {0x00000000, 0x00000000, 0x438c0000, 0x3ba3d70a, 0x3f800000, 0x40000000, 0x40400000},
     {0x00000000, 0xbd1081c4, 0x3f800000, 0x40000000, any_nan, 0x40a00000}},
    {"an infinite power times a zero c3",
     0x00000000,
     {0x00000000, 0x44610000, 0x00000000, 0x3ba3d70a, 0x3f800000, 0x40000000, 0x40400000},
     {0x44610000, 0xbd1081c4, 0x3f800000, 0x40000000, any_nan, 0x40a00000}},
    {"a negative ratio: a NaN power, column 6 unaffected",
     0x447a0000,
     {0x00000000, 0xc3fa0000, 0x438c0000, 0x3ba3d70a, 0x3f800000, 0x40000000, 0x40400000},
     {0xc3fa0000, 0xbd1081c4, 0x3f800000, 0x40000000, any_nan, 0x40a00000}},
    {"a ratio of -0: the power is +0",
     0x40a00000,
     {0x00000000, 0x80000000, 0x438c0000, 0x3ba3d70a, 0x3f800000, 0x40000000, 0x40400000},
     {0x80000000, 0xbd1081c4, 0x3f800000, 0x40000000, 0x3f555555, 0x40a00000}},
    {"a ratio of -infinity: the power is +infinity",
     0x3f800000,
     {0x00000000, 0xff800000, 0xc38c0000, 0x3ba3d70a, 0x3f800000, 0x40000000, 0x40400000},
     {0xff800000, 0xbd1081c4, 0x3f800000, 0x40000000, 0xff800000, 0x40a00000}},
    {"products beyond the finite range",
     0x447a0000,
     {0x00000000, 0x447a0000, 0x3f800000, 0x7f61b1e6, 0x3f800000, 0x40000000, 0x7f61b1e6},
     {0x447a0000, 0xff800000, 0x3f800000, 0x40000000, 0x7f800000, 0x7f800000}},
    {"subnormal inputs",
     0x447a0000,
     {0x00000000, 0x447a0000, 0x3f800000, 0x800116c2, 0x3f800000, 0x40000000, 0x00000007},
     {0x447a0000, 0x80000000, 0x3f800000, 0x40000000, 0x3f800000, 0x82081cba}},
};

void expect_row(const float* got, const std::uint32_t* want) {
    for (int j = 0; j < app::out_columns; ++j) {
        if (want[j] == any_nan)
            EXPECT_TRUE(std::isnan(got[j])) << "column " << j + 1;
        else
            EXPECT_EQ(bits(got[j]), want[j]) << "column " << j + 1 << " is " << std::hexfloat << got[j];
    }
}

TEST(RowConversion, TableOfRowsToTheBit) {
    for (const row_case& c : table) {
        SCOPED_TRACE(c.what);
        float in[7], out[6];
        for (int j = 0; j < 7; ++j) in[j] = from_bits(c.in[j]);
        app::convert_row(in, out, from_bits(c.ref));
        expect_row(out, c.out);
    }
}

TEST(RowConversion, TableRowsDiscriminateFusedMultiplyAdd) {
    // The two rows above are only worth having if contraction changes them.
    for (const row_case& c : {table[1], table[2]}) {
        const float p = ::powf(from_bits(c.in[1]) / from_bits(c.ref), from_bits(0x3E8F5C29));
        const float s = from_bits(0x447A0000) * from_bits(c.in[3]) / from_bits(0x40C00000);
        EXPECT_NE(bits(std::fma(from_bits(c.in[2]), p, s)), c.out[4]);
    }
}

// The whole row by the double method, over many random rows; the power is
// the platform's powf, as the conversion uses it.
TEST(RowConversion, RandomRowsMatchRoundedDoubleArithmetic) {
    const double k1_2 = from_bits(0x3F99999A), k9_8 = from_bits(0x411CCCCD), k1000 = from_bits(0x447A0000),
                 k6 = from_bits(0x40C00000);
    const float k0_28 = from_bits(0x3E8F5C29);
    std::mt19937 gen(12345);
    std::uniform_int_distribution<std::uint32_t> any_bits;
    std::uniform_real_distribution<float> typical(-2000.0f, 2000.0f);
    for (int i = 0; i < 1000000; ++i) {
        float in[7], ref;
        // Half the rows of the usual magnitudes, half of any bit pattern.
        for (float& v : in) v = i % 2 ? typical(gen) : from_bits(any_bits(gen));
        ref = i % 2 ? std::fabs(typical(gen)) : from_bits(any_bits(gen));
        float out[6];
        app::convert_row(in, out, ref);

        const float t1 = static_cast<float>(k1_2 * in[6]);
        const float t2 = static_cast<float>(t1 * k9_8);
        const float t3 = static_cast<float>(t2 / k1000);
        const float r = static_cast<float>(static_cast<double>(in[1]) / ref);
        const float p = ::powf(r, k0_28);
        const float u = static_cast<float>(static_cast<double>(in[2]) * p);
        const float c6 = static_cast<float>(k1000 * in[3]);
        const float s = static_cast<float>(c6 / k6);
        const float c5 = static_cast<float>(static_cast<double>(s) + u);
        const float want[6] = {in[1], from_bits(bits(t3) ^ 0x80000000u), in[4], in[5], c5, c6};
        for (int j = 0; j < 6; ++j) {
            const bool same = std::isnan(want[j]) ? std::isnan(out[j]) : bits(out[j]) == bits(want[j]);
            if (!same) {
                ADD_FAILURE() << "row " << i << " column " << j + 1 << ": " << std::hexfloat << out[j] << " instead of "
                              << want[j];
                return;
            }
        }
    }
}

TEST(RowConversion, BlockLayoutAndEmptyBlocks) {
    // Rows are seven values in, six out, one after another.
    std::vector<float> vars(3 * 7), varso(3 * 6, -1.0f);
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 7; ++j) vars[7 * i + j] = static_cast<float>(10 * i + j + 1);
    app::convert_rows(vars.data(), varso.data(), 3, 2.0f);
    for (std::size_t i = 0; i < 3; ++i) {
        float one[6];
        app::convert_row(&vars[7 * i], one, 2.0f);
        for (std::size_t j = 0; j < 6; ++j) EXPECT_EQ(bits(varso[6 * i + j]), bits(one[j]));
        EXPECT_EQ(varso[6 * i], vars[7 * i + 1]);
    }
    // With no rows nothing is computed or written.
    std::vector<float> untouched(6, -1.0f);
    app::convert_rows(vars.data(), untouched.data(), 0, 2.0f);
    app::convert_rows(vars.data(), untouched.data(), -5, 2.0f);
    for (float v : untouched) EXPECT_EQ(v, -1.0f);
}

}  // namespace
