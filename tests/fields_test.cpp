// Field editing against the C library's conversion of the same values
// (tests/field_reference.h), over a few million float bit patterns chosen
// where the fields change behaviour, plus readable cases.
#include "textio/fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "field_reference.h"
#include "support.h"

namespace {

using reference::kind;

std::string ours(float v, kind k) {
    char f[textio::real_width];
    textio::put_real(f, reference::program_kind(k), v);
    return std::string(f, sizeof f);
}

std::string integer_field(std::int32_t v) {
    char f[textio::integer_width];
    textio::put_integer(f, v);
    return std::string(f, sizeof f);
}

using testing_support::bits;
using testing_support::from_bits;

struct xorshift {
    std::uint64_t s;
    std::uint32_t next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<std::uint32_t>(s >> 32);
    }
};

// Adds v and its neighbours up to `ulps` steps away, with both signs.
void around(std::vector<std::uint32_t>& out, float v, int ulps) {
    const std::uint32_t b = bits(std::fabs(v));
    for (int i = -ulps; i <= ulps; ++i) {
        const std::int64_t c = static_cast<std::int64_t>(b) + i;
        if (c < 0 || c > 0x7f800000) continue;  // up to +infinity
        out.push_back(static_cast<std::uint32_t>(c));
        out.push_back(static_cast<std::uint32_t>(c) | 0x80000000u);
    }
}

// Every exponent (subnormals, infinities and NaNs included) with its
// extreme and middle mantissas and a few random ones, both signs.
std::vector<std::uint32_t> structured() {
    std::vector<std::uint32_t> out;
    xorshift r{0x9e3779b97f4a7c15ull};
    const std::uint32_t mantissas[] = {0, 1, 2, 3, 0x3fffff, 0x400000, 0x400001, 0x7ffffe, 0x7fffff};
    for (std::uint32_t e = 0; e < 256; ++e) {
        for (std::uint32_t sign : {0u, 0x80000000u}) {
            for (std::uint32_t m : mantissas) out.push_back(sign | e << 23 | m);
            for (int i = 0; i < 32; ++i) out.push_back(sign | e << 23 | (r.next() & 0x7fffff));
        }
    }
    // NaNs: quiet and signalling, with payloads, either sign.
    for (std::uint32_t b : {0x7fc00000u, 0x7f800001u, 0x7fa00000u, 0x7fffffffu, 0x7fc00001u, 0x7f812345u})
        for (std::uint32_t sign : {0u, 0x80000000u}) out.push_back(sign | b);
    return out;
}

// Near every power of ten, and near the values from which a field's text
// gains a digit: 10^k less half a unit of the last decimal for fixed
// point (this includes where the field turns to asterisks: 1e5 and -1e4
// with 9 decimals, 1e9 and -1e8 with 5, 1e11 and -1e10 with 3), and
// 9.999995 x 10^k for scientific, which rounds up to the next exponent.
std::vector<std::uint32_t> decimal_boundaries(kind k) {
    std::vector<std::uint32_t> out;
    for (int p = -46; p <= 39; ++p) {
        const double ten = std::pow(10.0, p);
        around(out, static_cast<float>(ten), 48);
        if (k == kind::scientific)
            around(out, static_cast<float>(ten * 0.9999995), 48);
        else
            around(out, static_cast<float>(ten - 0.5 * std::pow(10.0, -reference::decimals(k))), 48);
    }
    return out;
}

// Values whose exact binary value ends half-way at the field's last digit,
// and their neighbours. With d decimals these are the odd multiples of
// 2^-(d+1); at six significant digits, r x 2^-t with r odd and r x 5^t of
// seven digits (its last one a 5), and seven-digit integers ending in 5.
std::vector<std::uint32_t> ties(kind k) {
    std::vector<std::uint32_t> out;
    xorshift r{0x2545f4914f6cdd1dull};
    auto add = [&](double v) { around(out, static_cast<float>(v), 1); };
    if (k != kind::scientific) {
        const int shift = reference::decimals(k) + 1;
        for (std::uint32_t odd = 1; odd < 8192; odd += 2) add(std::ldexp(odd, -shift));
        for (int i = 0; i < 30000; ++i) add(std::ldexp((r.next() & 0xffffff) | 1, -shift));
    } else {
        double five = 1;
        for (int t = 1; t <= 10; ++t) {
            five *= 5;
            const auto lo = static_cast<std::uint32_t>(std::ceil(1e6 / five));
            const auto hi = static_cast<std::uint32_t>(std::ceil(1e7 / five));  // exclusive
            const std::uint32_t span = hi - lo;
            for (int i = 0; i < 3000; ++i) {
                const std::uint32_t odd = (lo + r.next() % span) | 1;
                if (odd < hi) add(std::ldexp(odd, -t));
            }
            add(std::ldexp(lo | 1, -t));
            add(std::ldexp((hi - 1) | 1, -t));
        }
        for (int i = 0; i < 10000; ++i) add(1000005.0 + 10.0 * (r.next() % 900000));
        // Above 10^7 the ties are the odd multiples of 50; and where the
        // quotient by a power of ten is a whole number, it is one below or
        // above the division's first estimate.
        for (int i = 0; i < 10000; ++i) add(10000050.0 + 100.0 * (r.next() % 900000));
        for (int t = 1; t <= 5; ++t)
            for (int i = 0; i < 2000; ++i) add((100000 + r.next() % 900000) * std::pow(10.0, t));
    }
    return out;
}

// Random patterns over the whole range, and as many again with exponents
// where the field shows digits.
std::vector<std::uint32_t> random_patterns(std::uint64_t seed) {
    std::vector<std::uint32_t> out;
    xorshift r{seed};
    for (int i = 0; i < 600000; ++i) out.push_back(r.next());
    for (int i = 0; i < 600000; ++i) {
        const std::uint32_t b = r.next();
        const std::uint32_t e = 127 - 45 + r.next() % 100;  // about 1e-14 to 1e16
        out.push_back((b & 0x807fffffu) | e << 23);
    }
    return out;
}

// Compares every pattern with the reference; shows the first few that differ.
void check(const std::vector<std::uint32_t>& patterns, kind k) {
    int wrong = 0;
    for (std::uint32_t b : patterns) {
        const float v = from_bits(b);
        const std::string want = reference::field(v, k);
        const std::string got = ours(v, k);
        if (got != want && ++wrong <= 10) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%08x", b);
            ADD_FAILURE() << reference::name(k) << " of 0x" << hex << " (" << static_cast<double>(v) << "): got ["
                          << got << "], want [" << want << "]";
        }
    }
    EXPECT_EQ(wrong, 0) << "of " << patterns.size() << " patterns";
}

void check_kind(kind k, std::uint64_t seed) {
    {
        SCOPED_TRACE("structured");
        check(structured(), k);
    }
    {
        SCOPED_TRACE("decimal boundaries");
        check(decimal_boundaries(k), k);
    }
    {
        SCOPED_TRACE("ties");
        check(ties(k), k);
    }
    {
        SCOPED_TRACE("random");
        check(random_patterns(seed), k);
    }
}

TEST(FieldsAgainstPrintf, Fixed9) { check_kind(kind::fixed9, 1); }
TEST(FieldsAgainstPrintf, Fixed5) { check_kind(kind::fixed5, 2); }
TEST(FieldsAgainstPrintf, Fixed3) { check_kind(kind::fixed3, 3); }
TEST(FieldsAgainstPrintf, Scientific) { check_kind(kind::scientific, 4); }

TEST(FieldsAgainstPrintf, DataLineIsItsSixFields) {
    // Rows of values of every shape, and rows of ordinary magnitudes, and
    // rows where zeros, subnormals, infinities and NaNs stand beside every
    // other kind of value; the line must not touch the byte after it.
    const kind kinds[] = {kind::fixed9, kind::scientific, kind::fixed9,
                          kind::fixed9, kind::scientific, kind::scientific};
    std::vector<std::uint32_t> patterns = random_patterns(5);
    const std::vector<std::uint32_t> every_exponent = structured();
    patterns.insert(patterns.end(), every_exponent.begin(), every_exponent.end());
    patterns.insert(patterns.end(), every_exponent.rbegin(), every_exponent.rend());
    int wrong = 0;
    for (std::size_t i = 0; i + 6 <= patterns.size(); i += 6) {
        float row[6];
        std::string want;
        for (int c = 0; c < 6; ++c) {
            row[c] = from_bits(patterns[i + static_cast<std::size_t>(c)]);
            want += reference::field(row[c], kinds[c]);
        }
        char line[6 * textio::real_width + 1];
        line[6 * textio::real_width] = '#';
        textio::put_data_fields(line, row);
        if ((std::string(line, sizeof line) != want + "#") && ++wrong <= 10)
            ADD_FAILURE() << "got [" << std::string(line, sizeof line) << "], want [" << want << "#]";
    }
    EXPECT_EQ(wrong, 0);
}

TEST(FieldsAgainstPrintf, IntegerOverAWideRange) {
    int wrong = 0;
    auto check_one = [&](std::int32_t v) {
        char text[16];  // at least three digits, then the sign
        const int n = std::snprintf(text, sizeof text, "%.3d", static_cast<int>(v));
        const std::string want = n > 3 ? "***" : std::string(text, 3);
        if (integer_field(v) != want && ++wrong <= 10) ADD_FAILURE() << v << ": got " << integer_field(v);
    };
    for (std::int32_t v = -20000; v <= 20000; ++v) check_one(v);
    for (std::int32_t v :
         {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), -1000000, 1000000})
        check_one(v);
    EXPECT_EQ(wrong, 0);
}

// Readable cases: each is checked against the field and the reference.
struct example {
    float v;
    const char* text;
};

void check_examples(kind k, std::initializer_list<example> cases) {
    for (const example& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ours(c.v, k), c.text);
        EXPECT_EQ(reference::field(c.v, k), c.text);
    }
}

constexpr float inf = std::numeric_limits<float>::infinity();
const float nan_negative = from_bits(0xffc00001u);

TEST(FieldExamples, Integer) {
    EXPECT_EQ(integer_field(0), "000");
    EXPECT_EQ(integer_field(1), "001");
    EXPECT_EQ(integer_field(42), "042");
    EXPECT_EQ(integer_field(999), "999");
    EXPECT_EQ(integer_field(1000), "***");
    EXPECT_EQ(integer_field(-1), "***");
}

TEST(FieldExamples, Fixed9) {
    check_examples(kind::fixed9, {
                                     {1.0f, "    1.000000000"},
                                     {0.1f, "    0.100000001"},  // digits of the binary value
                                     {-0.0f, "   -0.000000000"},
                                     {-1e-10f, "   -0.000000000"},  // rounds to zero, keeps its sign
                                     {99999.99f, "99999.992187500"},
                                     {1e5f, "***************"},
                                     {-9999.999f, "-9999.999023438"},
                                     {-1e4f, "***************"},
                                     {std::ldexp(1.0f, -10), "    0.000976562"},  // tie, to even
                                     {std::ldexp(3.0f, -10), "    0.002929688"},  // tie, to even
                                     {inf, "       Infinity"},
                                     {-inf, "      -Infinity"},
                                     {nan_negative, "            NaN"},
                                 });
}

TEST(FieldExamples, Fixed5) {
    check_examples(kind::fixed5, {
                                     {0.0f, "        0.00000"},
                                     {123456789.0f, "123456792.00000"},
                                     {999999936.0f, "999999936.00000"},  // the largest float below 1e9
                                     {1e9f, "***************"},
                                     {-99999992.0f, "-99999992.00000"},
                                     {-1e8f, "***************"},
                                     {0.015625f, "        0.01562"},  // tie, to even
                                     {0.046875f, "        0.04688"},  // tie, to even
                                 });
}

TEST(FieldExamples, Fixed3) {
    check_examples(kind::fixed3, {
                                     {101325.0f, "     101325.000"},
                                     {0.0625f, "          0.062"},  // tie, to even
                                     {0.1875f, "          0.188"},  // tie, to even
                                     {-0.0625f, "         -0.062"},
                                     {-0.0004f, "         -0.000"},
                                     {1e11f, "99999997952.000"},  // 1e11 is just below as a float
                                     {100000006144.0f, "***************"},
                                     {-9999998976.0f, "-9999998976.000"},
                                     {-1e10f, "***************"},
                                 });
}

TEST(FieldExamples, Scientific) {
    check_examples(kind::scientific, {
                                         {0.0f, "   0.00000E+000"},
                                         {-0.0f, "  -0.00000E+000"},
                                         {1.0f, "   1.00000E+000"},
                                         {-0.0823200f, "  -8.23200E-002"},
                                         {999999.5f, "   1.00000E+006"},  // rounds up to ten
                                         {9.999995f, "   1.00000E+001"},  // just above 9.999995: ten
                                         {9.999994f, "   9.99999E+000"},
                                         {99999.95f, "   1.00000E+005"},  // 99999.953125
                                         {9.999994e-3f, "   9.99999E-003"},
                                         {500000.5f, "   5.00000E+005"},              // tie, to even
                                         {500001.5f, "   5.00002E+005"},              // tie, to even
                                         {1234565.0f, "   1.23456E+006"},             // tie, to even
                                         {std::ldexp(1.0f, -10), "   9.76562E-004"},  // tie, to even
                                         {1e6f, "   1.00000E+006"},                   // a whole quotient by 10
                                         {9999995.0f, "   1.00000E+007"},             // tie, to even: ten
                                         {12345650.0f, "   1.23456E+007"},            // tie, to even
                                         {-3e38f, "  -3.00000E+038"},
                                         {1e-12f, "   1.00000E-012"},  // just below 10^-12
                                         {1e-40f, "   9.99995E-041"},  // subnormal
                                         {std::numeric_limits<float>::max(), "   3.40282E+038"},
                                         {std::numeric_limits<float>::denorm_min(), "   1.40130E-045"},
                                         {-std::numeric_limits<float>::min(), "  -1.17549E-038"},
                                         {-inf, "      -Infinity"},
                                         {std::numeric_limits<float>::quiet_NaN(), "            NaN"},
                                     });
}

}  // namespace
