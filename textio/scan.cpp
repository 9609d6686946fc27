#include "textio/scan.h"

#include <limits>

#include "textio/decimal.h"

namespace textio {
namespace {

// Appends the digits at p to w (which wraps past 19 digits), two at a time;
// returns how many there were.
std::ptrdiff_t append_digits(const char*& p, std::uint64_t& w) {
    const char* const start = p;
    for (;;) {
        const unsigned d0 = static_cast<unsigned char>(p[0]) - unsigned{'0'};
        if (d0 > 9) break;
        const unsigned d1 = static_cast<unsigned char>(p[1]) - unsigned{'0'};
        if (d1 > 9) {
            w = w * 10 + d0;
            ++p;
            break;
        }
        w = w * 100 + (d0 * 10 + d1);
        p += 2;
    }
    return p - start;
}

bool is_digit(char c) { return static_cast<unsigned>(c - '0') <= 9; }
char lower(char c) { return static_cast<char>(c | 0x20); }

// Inf, Infinity or NaN, in any mix of cases, then a terminator.
const char* scan_word(const char* p, bool negative, float& out) {
    if (lower(p[0]) == 'i' && lower(p[1]) == 'n' && lower(p[2]) == 'f') {
        const char* end = p + 3;
        if (!is_terminator(*end)) {
            if (lower(p[3]) != 'i' || lower(p[4]) != 'n' || lower(p[5]) != 'i' || lower(p[6]) != 't' ||
                lower(p[7]) != 'y' || !is_terminator(p[8]))
                return nullptr;
            end = p + 8;
        }
        out = negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
        return end;
    }
    if (lower(p[0]) == 'n' && lower(p[1]) == 'a' && lower(p[2]) == 'n' && is_terminator(p[3])) {
        out = negative ? -std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::quiet_NaN();
        return p + 3;
    }
    return nullptr;
}

// The digits from `first` to `last`, more than 19 and perhaps a point among
// them, times 10^exp10: the first 19 significant digits and what the others
// add.
bool convert_long(const char* first, const char* last, std::int64_t exp10, bool negative, float& out) {
    std::uint64_t w = 0;
    int kept = 0;
    bool exact = true;
    bool fraction = false;
    for (const char* s = first; s != last; ++s) {
        if (*s == '.') {
            fraction = true;
            continue;
        }
        const unsigned d = static_cast<unsigned>(*s - '0');
        if (kept < 19) {
            if (kept > 0 || d != 0) {
                w = w * 10 + d;
                ++kept;
            }
            if (fraction) --exp10;
        } else {
            exact &= d == 0;
            if (!fraction) ++exp10;
        }
    }
    return exact ? to_float_quickly(w, exp10, negative, out) : to_float_between(w, exp10, negative, out);
}

}  // namespace

const char* scan_real(const char* p, float& out) {
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    const char* const first = p;
    std::uint64_t w = 0;
    std::ptrdiff_t digits = append_digits(p, w);
    std::ptrdiff_t fraction = 0;
    if (*p == '.') {
        ++p;
        fraction = append_digits(p, w);
        digits += fraction;
    } else if (digits == 0) {
        return scan_word(p, negative, out);
    }
    if (digits == 0) return nullptr;
    const char* const last = p;

    std::int64_t exp10 = 0;
    char c = *p;
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == '+' || c == '-') {
        if (c != '+' && c != '-') c = *++p;
        const bool minus = c == '-';
        if (c == '+' || c == '-') ++p;
        if (!is_digit(*p)) return nullptr;
        std::int64_t e = 0;
        // Saturated far beyond any exponent that leaves a finite non-zero.
        for (; is_digit(*p); ++p)
            if (e < 100000000) e = e * 10 + (*p - '0');
        exp10 = minus ? -e : e;
    }
    if (!is_terminator(*p)) return nullptr;

    if (digits <= 19 ? !to_float_quickly(w, exp10 - fraction, negative, out)
                     : !convert_long(first, last, exp10, negative, out))
        return nullptr;
    return p;
}

}  // namespace textio
