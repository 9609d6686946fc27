// Decimal text to single precision, checked against glibc's strtof (correctly
// rounded) and against exact ties worked out from the floats themselves. The
// numbers go through the reader, one per line, so the scanning that builds
// each decimal is checked along with the conversion.

#include "textio/decimal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "memory_stream.h"
#include "support.h"
#include "textio/reader.h"

namespace {

using namespace std::string_literals;

// Enough zeros to carry any midpoint's digits past those a decimal keeps.
constexpr std::size_t decimal_far_zeros = textio::decimal::max_digits + 50;

using testing_support::bits;
using testing_support::from_bits;

std::string hex(float v) {
    char b[64];
    std::snprintf(b, sizeof b, "%a (0x%08x)", static_cast<double>(v), bits(v));
    return b;
}

// Case counts scale with LSF2ASCII_DECIMAL_SCALE (default 1) for longer runs.
std::size_t scaled(std::size_t n) {
    static const double scale = [] {
        const char* s = std::getenv("LSF2ASCII_DECIMAL_SCALE");
        const double v = s != nullptr ? std::atof(s) : 1.0;
        return v > 0 ? v : 1.0;
    }();
    return static_cast<std::size_t>(static_cast<double>(n) * scale);
}

// Numbers read in batches, one per line, through one reader per batch, each
// compared with the float it must give. A batch that checked no number at
// all fails: its test would pass on nothing.
class batch {
public:
    ~batch() {
        flush();
        EXPECT_GT(checked_, 0u) << "no number was checked";
    }

    void add(std::string_view text, float expect) {
        if (failures_ >= 20) return;  // enough to go on
        text_.append(text);
        text_.push_back('\n');
        expect_.push_back(bits(expect));
        if (expect_.size() >= 1u << 15) flush();
    }

    // Whole, and in chunks of a few bytes, where most of them straddle a
    // refill and move to the front of the buffer.
    void flush() {
        if (expect_.empty()) return;
        for (const std::uint8_t chunks : {std::uint8_t{0}, std::uint8_t{7}}) read(chunks);
        text_.clear();
        expect_.clear();
    }

private:
    void read(std::uint8_t chunks) {
        if (failures_ >= 20) return;
        testing_support::memory_source src(text_, chunks);
        textio::reader rd(src);
        std::size_t line_start = 0;
        for (const std::uint32_t e : expect_) {
            const std::size_t line_end = text_.find('\n', line_start);
            const std::string_view line(text_.data() + line_start, line_end - line_start);
            line_start = line_end + 1;
            float v = -1;
            const textio::item it[] = {textio::item::real(v)};
            const textio::read_result r = rd.read_list(it);
            ++checked_;
            if (!r || bits(v) != e) {
                ADD_FAILURE() << "\"" << line.substr(0, 400) << "\" (" << line.size() << " bytes"
                              << (chunks != 0 ? ", in chunks" : "") << "): read " << (r ? hex(v) : "failed")
                              << ", expected " << hex(from_bits(e));
                if (++failures_ == 20) {
                    ADD_FAILURE() << "no more numbers checked after 20 failures";
                    return;
                }
            }
        }
    }

    std::string text_;
    std::vector<std::uint32_t> expect_;
    int failures_ = 0;
    std::size_t checked_ = 0;
};

// One number as two texts: the reader's, in any of the forms it accepts, and
// strtof's, with a plain 'e' exponent.
struct texts {
    std::string ours;
    std::string theirs;
};

// The number 0.<digits> x 10^mag with `digits` starting with a non-zero digit,
// written with the point at a random place and a matching exponent.
texts render(std::mt19937_64& rng, bool negative, std::string_view digits, int mag) {
    const std::size_t n = digits.size();
    const std::size_t p = std::uniform_int_distribution<std::size_t>(0, n)(rng);
    const long long e = static_cast<long long>(mag) - static_cast<long long>(p);
    std::string s;
    switch (rng() % 4) {
        case 0:
            s = negative ? "-" : "+";
            break;
        default:
            s = negative ? "-" : "";
            break;
    }
    s.append(rng() % 4 == 0 ? rng() % 3 + 1 : 0, '0');
    s.append(digits.substr(0, p));
    if (p < n || rng() % 2 == 0) {
        if (p == 0 && rng() % 2 == 0) s.push_back('0');
        s.push_back('.');
        s.append(digits.substr(p));
    }
    texts t{s, s};
    if (e == 0 && rng() % 2 == 0) return t;
    const std::string ev = std::to_string(e < 0 ? -e : e);
    const char sign = e < 0 ? '-' : '+';
    static constexpr const char* markers[] = {"e", "E", "d", "D", ""};
    const char* m = markers[rng() % 5];
    t.ours += m;
    if (e < 0 || *m == '\0' || rng() % 2 == 0) t.ours.push_back(sign);
    t.ours += ev;
    t.theirs += 'e';
    t.theirs.push_back(sign);
    t.theirs += ev;
    return t;
}

float reference(const std::string& text) { return std::strtof(text.c_str(), nullptr); }

// The digits and the magnitude of a number printed by "%.*e".
void split(const char* printed, bool& negative, std::string& digits, int& mag) {
    const char* p = printed;
    negative = *p == '-';
    if (negative) ++p;
    digits.clear();
    for (; *p != 'e'; ++p)
        if (*p != '.') digits.push_back(*p);
    mag = std::atoi(p + 1) + 1;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

// Random digit strings of 1 to 40 digits, over every magnitude from below
// the smallest subnormal to beyond the largest float.
TEST(Decimal, RandomDigitsMatchStrtof) {
    std::mt19937_64 rng(20240611);
    batch b;
    std::string digits;
    for (std::size_t i = 0, n = scaled(1000000); i < n; ++i) {
        const std::size_t nd = std::uniform_int_distribution<std::size_t>(1, 40)(rng);
        digits.assign(1, static_cast<char>('1' + rng() % 9));
        const int tail = static_cast<int>(rng() % 8);  // some runs of zeros or nines
        for (std::size_t k = 1; k < nd; ++k)
            digits.push_back(tail == 0 ? '0' : tail == 1 ? '9' : static_cast<char>('0' + rng() % 10));
        const int mag = std::uniform_int_distribution<int>(-47, 40)(rng);
        const texts t = render(rng, rng() % 2 == 0, digits, mag);
        b.add(t.ours, reference(t.theirs));
    }
}

// Numbers close to floats: a random float printed to 1 to 40 digits.
TEST(Decimal, NearFloatsMatchStrtof) {
    std::mt19937_64 rng(7);
    batch b;
    char printed[128];
    std::string digits;
    for (std::size_t i = 0, n = scaled(600000); i < n; ++i) {
        const float f = from_bits(static_cast<std::uint32_t>(rng()) & 0x7fffffff);
        if (!std::isfinite(f) || f == 0) continue;
        const int prec = static_cast<int>(rng() % 40);
        std::snprintf(printed, sizeof printed, "%.*e", prec, static_cast<double>(f));
        bool negative;
        int mag;
        split(printed, negative, digits, mag);
        const texts t = render(rng, rng() % 2 == 0, digits, mag);
        b.add(t.ours, reference(t.theirs));
    }
}

// Integers of at most 2^53 times powers of ten up to 10^22 either way, the
// ones a double product converts, chosen near the midpoints of floats.
TEST(Decimal, ShortNumbersNearTiesMatchStrtof) {
    std::mt19937_64 rng(11);
    batch b;
    const long double two53 = 9007199254740992.0L;
    for (std::size_t i = 0, n = scaled(500000); i < n; ++i) {
        const std::uint32_t fb = static_cast<std::uint32_t>(rng() % (0x7f7fffffu - 0x1e000000u)) + 0x1e000000u;
        const float f = from_bits(fb);
        const double mid = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, INFINITY))) / 2;
        const int lo = std::max(-22, static_cast<int>(std::ceil(std::log10(static_cast<long double>(mid) / two53))));
        const int hi = std::min(22, static_cast<int>(std::floor(std::log10(mid))));
        if (lo > hi) continue;
        const int q = std::uniform_int_distribution<int>(lo, hi)(rng);
        const long double w = std::nearbyint(static_cast<long double>(mid) / std::pow(10.0L, q));
        const long long d = static_cast<long long>(rng() % 3) - 1;
        const long long wi = static_cast<long long>(w) + d;
        if (wi < 1 || static_cast<long double>(wi) > two53) continue;
        const std::string text = std::to_string(wi) + "e" + std::to_string(q);
        b.add(text, reference(text));
    }
}

// w x 10^q by the 128-bit products, for w over the whole 64-bit range (past
// the 19 digits a number in the input gives) and every exponent that leaves
// a finite non-zero float, and beyond both ends. A range [w, w + 1) x 10^q is
// settled only where both of its ends give the same float.
TEST(Decimal, ProductsMatchStrtof) {
    std::mt19937_64 rng(13);
    int failures = 0;
    std::size_t declined = 0;
    const std::size_t n = scaled(1000000);
    const auto check = [&](std::uint64_t w, int q, bool neg, bool settled, float got) {
        char text[64];
        std::snprintf(text, sizeof text, "%s%llue%d", neg ? "-" : "", static_cast<unsigned long long>(w), q);
        if (settled && bits(got) != bits(reference(text)) && ++failures <= 20)
            ADD_FAILURE() << text << ": " << hex(got) << ", expected " << hex(reference(text));
    };
    for (std::size_t i = 0; i < n && failures < 20; ++i) {
        std::uint64_t w;
        int q = std::uniform_int_distribution<int>(-70, 45)(rng);
        switch (i % 5) {
            case 0:
                w = rng();
                break;
            case 1:
                w = rng() >> (rng() % 64);
                break;
            case 2:
                w = (std::uint64_t{1} << (rng() % 64)) + rng() % 5 - 2;
                break;  // near powers of two
            case 3:
                w = ~std::uint64_t{0} - rng() % 3;
                break;
            default: {
                // Half-way between two floats, M x 2^e with M odd and of 25
                // bits, or next to it: w x 10^q is that for w = (M / 5^q) x
                // 2^s with q from 0 to 10, or w = M x 5^-q x 2^s with q from
                // -16 to -1; beyond those w would need more than 64 bits.
                q = std::uniform_int_distribution<int>(-16, 10)(rng);
                std::uint64_t five = 1;
                for (int k = 0; k < (q < 0 ? -q : q); ++k) five *= 5;
                std::uint64_t base;
                if (q >= 0) {
                    const std::uint64_t lo = ((std::uint64_t{1} << 24) + five) / five;
                    const std::uint64_t hi = ((std::uint64_t{1} << 25) - 1) / five;
                    base = std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng) | 1;
                } else {
                    base = five * ((std::uint64_t{1} << 24) | rng() % (std::uint64_t{1} << 24) | 1);
                }
                const int room = std::countl_zero(base);
                w = (base << (rng() % static_cast<std::uint64_t>(room + 1))) + rng() % 3 - 1;
                break;
            }
        }
        const bool neg = rng() % 2 == 0;
        float got = 0;
        const bool settled = textio::to_float_by_products(w, q, neg, got);
        declined += settled ? 0 : 1;
        check(w, q, neg, settled, got);
        if (textio::to_float_between(w, q, neg, got)) {
            check(w, q, neg, true, got);
            check(w + 1, q, neg, true, got);
        }
    }
    EXPECT_LE(declined, n / 10000) << "the products should settle nearly every number";
}

// "%.9g" of any float reads back to that float.
TEST(Decimal, ShortestTextsRoundTrip) {
    std::mt19937_64 rng(3);
    batch b;
    char text[64];
    for (std::size_t i = 0, n = scaled(2000000); i < n; ++i) {
        const float f = from_bits(static_cast<std::uint32_t>(rng()));
        if (std::isnan(f)) continue;
        std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
        b.add(text, f);
    }
    for (const float f : {0.0f, -0.0f, FLT_MIN, FLT_MAX, -FLT_MAX, FLT_TRUE_MIN, -FLT_TRUE_MIN, INFINITY, -INFINITY,
                          std::nextafter(FLT_MIN, 0.0f)}) {
        std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
        b.add(text, f);
    }
}

// The decimal digits of x exactly ("%.120e" is enough for every midpoint of
// two floats), carried at least to the tenths so that one more digit is a
// step smaller than any between x and a float.
void exact_digits(double x, bool& negative, std::string& digits, int& mag) {
    char printed[160];
    std::snprintf(printed, sizeof printed, "%.120e", x);
    split(printed, negative, digits, mag);
    ASSERT_LT(digits.size(), 120u) << printed;
    if (static_cast<int>(digits.size()) <= mag) digits.resize(static_cast<std::size_t>(mag) + 1, '0');
}

// A number just below the given one: its last digit lowered by one, with
// borrows, and `nines` 9s appended.
struct number {
    std::string digits;
    int mag;
};

number just_below(std::string digits, int mag, std::size_t nines) {
    std::size_t k = digits.size();
    while (digits[--k] == '0') digits[k] = '9';
    --digits[k];
    if (digits[0] == '0') {
        digits.erase(0, 1);
        --mag;
    }
    digits.append(nines, '9');
    return {digits, mag};
}

// Exact ties go to the even float; a hair above or below goes to the nearer
// one, the hair being in the next digit or in a digit far past the ones kept.
TEST(Decimal, TiesToEvenAndJustAside) {
    std::mt19937_64 rng(5);
    batch b;
    std::string digits;
    const std::string far(decimal_far_zeros, '0');
    for (std::size_t i = 0, n = scaled(50000); i < n; ++i) {
        // Every binade, the subnormals and the top one (whose upper neighbour
        // is the infinity) included.
        std::uint32_t fb = static_cast<std::uint32_t>(rng() % 0x7f800000u);
        if (i % 100 == 0) fb = static_cast<std::uint32_t>(rng() % 0x00800000u);
        const float f = from_bits(fb);
        const float up = std::nextafter(f, INFINITY);
        const float even = (fb & 1) == 0 ? f : up;
        const double mid = (static_cast<double>(f) +
                            (std::isinf(up) ? static_cast<double>(FLT_MAX) + 0x1p103 : static_cast<double>(up))) /
                           2;
        bool negative;
        int mag;
        exact_digits(mid, negative, digits, mag);
        const bool neg = rng() % 2 == 0;
        const auto add = [&](const number& d, float expect) {
            const texts t = render(rng, neg, d.digits, d.mag);
            const float e = neg ? -expect : expect;
            ASSERT_EQ(bits(reference(t.theirs)), bits(e)) << "strtof disagrees on " << t.theirs;
            b.add(t.ours, e);
        };
        add({digits, mag}, even);
        add({digits + "1", mag}, up);
        add(just_below(digits, mag, 1), f);
        add({digits + far, mag}, even);
        add({digits + far + "1", mag}, up);
        add(just_below(digits, mag, far.size()), f);
    }
}

TEST(Decimal, UnderflowAndOverflowBoundaries) {
    std::mt19937_64 rng(9);
    batch b;
    std::string digits;
    bool negative;
    int mag;
    const std::string far(decimal_far_zeros, '0');
    const float tiny = FLT_TRUE_MIN;  // 2^-149

    // 2^-150, half the smallest subnormal: a tie with zero, which is even.
    exact_digits(0x1p-150, negative, digits, mag);
    for (const bool neg : {false, true}) {
        const float s = neg ? -1.0f : 1.0f;
        b.add(render(rng, neg, digits, mag).ours, s * 0.0f);
        b.add(render(rng, neg, digits + "1", mag).ours, s * tiny);
        b.add(render(rng, neg, digits + far + "1", mag).ours, s * tiny);
        const number below = just_below(digits, mag, 3);
        b.add(render(rng, neg, below.digits, below.mag).ours, s * 0.0f);
    }
    b.add("1e-45", tiny);
    b.add("-1e-45", -tiny);
    b.add("1.4e-45", tiny);
    b.add("7.1e-46", tiny);
    b.add("7e-46", 0.0f);
    b.add("9.99e-47", 0.0f);
    b.add("1e-46", 0.0f);
    b.add("2.1e-45", tiny);       // just below 1.5 x 2^-149
    b.add("2.11e-45", 2 * tiny);  // just above it
    // 3 x 2^-150 lies half-way between 2^-149 and 2^-148: the even one is 2^-148.
    exact_digits(0x3p-150, negative, digits, mag);
    b.add(render(rng, false, digits, mag).ours, 2 * tiny);
    // Half-way between the largest subnormal and the smallest normal.
    exact_digits((static_cast<double>(FLT_MIN) + std::nextafter(FLT_MIN, 0.0f)) / 2, negative, digits, mag);
    b.add(render(rng, false, digits, mag).ours, FLT_MIN);

    // FLT_MAX plus half its ulp is a tie between FLT_MAX (odd) and the
    // infinity: it goes to the infinity; anything below it to FLT_MAX.
    exact_digits(static_cast<double>(FLT_MAX) + 0x1p103, negative, digits, mag);
    for (const bool neg : {false, true}) {
        const float s = neg ? -1.0f : 1.0f;
        b.add(render(rng, neg, digits, mag).ours, s * INFINITY);
        const number below = just_below(digits, mag, 1);
        b.add(render(rng, neg, below.digits, below.mag).ours, s * FLT_MAX);
        const number far_below = just_below(digits, mag, far.size());
        b.add(render(rng, neg, far_below.digits, far_below.mag).ours, s * FLT_MAX);
        b.add(render(rng, neg, digits + far + "1", mag).ours, s * INFINITY);
    }
    b.add("3.4028235e38", FLT_MAX);
    b.add("3.40282356e38", FLT_MAX);
    b.add("3.40282357e38", INFINITY);
    b.add("3.4028236e38", INFINITY);
    b.add("9.99e38", INFINITY);
    b.add("1e39", INFINITY);
    b.add("-1e39", -INFINITY);
}

// Beyond the digits a decimal keeps, only whether a dropped digit is
// non-zero counts, and that is enough wherever it stands.
TEST(Decimal, DigitsPastTheKeptOnes) {
    batch b;
    const std::size_t kept = textio::decimal::max_digits;
    for (const std::size_t extra : {std::size_t{1}, std::size_t{2}, kept, 10 * kept, std::size_t{100000}}) {
        const std::string z(kept + extra, '0');
        // 2^24 + 1 is a tie between 2^24 and 2^24 + 2.
        b.add("16777217."s + z, 16777216.0f);
        b.add("16777217."s + z + "1", 16777218.0f);
        b.add("16777216."s + std::string(kept + extra, '9'), 16777216.0f);
        b.add("16777217"s + z + "e-" + std::to_string(z.size()), 16777216.0f);
        b.add("16777217"s + z + "1e-" + std::to_string(z.size() + 1), 16777218.0f);
        b.add("16777219"s + z + "e-" + std::to_string(z.size()), 16777220.0f);  // a tie, up to the even one
        b.add("-0.16777219"s + z + "1e8", -16777220.0f);
        b.add("0."s + std::string(extra, '0') + "16777217" + z + "1e" + std::to_string(extra + 8), 16777218.0f);
    }
    // Fewer digits than kept: all are used.
    b.add("16777217.000000000000000000000000000000000000001", 16777218.0f);
    b.add("16777217", 16777216.0f);
    b.add("16777219", 16777220.0f);
    b.add("33554434", 33554432.0f);
    b.add("9007199254740993", 9007199254740992.0f);
}

// A decimal built digit by digit, past the digits it keeps.
TEST(Decimal, BuiltDirectly) {
    textio::decimal d;
    d.clear();
    EXPECT_EQ(bits(textio::to_float(d)), bits(0.0f));
    d.negative = true;
    EXPECT_EQ(bits(textio::to_float(d)), bits(-0.0f));

    d.clear();
    for (const char c : std::string_view("16777217")) d.add_integer_digit(static_cast<unsigned>(c - '0'));
    for (int i = 0; i < 1000; ++i) d.add_fraction_digit(0);
    EXPECT_EQ(textio::to_float(d), 16777216.0f);
    EXPECT_FALSE(d.inexact);
    d.add_fraction_digit(3);
    EXPECT_TRUE(d.inexact);
    EXPECT_EQ(textio::to_float(d), 16777218.0f);

    // Exponents far past the range stay clamped and give zero or infinity.
    d.clear();
    d.add_integer_digit(1);
    for (int i = 0; i < 10; ++i) d.bump_exponent(std::int64_t{1} << 62);
    EXPECT_EQ(textio::to_float(d), INFINITY);
    for (int i = 0; i < 30; ++i) d.bump_exponent(-(std::int64_t{1} << 62));
    EXPECT_EQ(textio::to_float(d), 0.0f);
    d.bump_exponent(std::int64_t{1} << 62);
    d.bump_exponent(std::int64_t{1} << 62);
    d.bump_exponent(-(std::int64_t{1} << 62));
    EXPECT_EQ(textio::to_float(d), 1.0f);
}

}  // namespace
