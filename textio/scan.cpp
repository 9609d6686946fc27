#include "textio/scan.h"

#include <limits>

namespace textio::detail {
namespace {

char lower(char c) { return static_cast<char>(c | 0x20); }

}  // namespace

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

}  // namespace textio::detail
