// A simple reader of the input, written for the tests: byte by byte over the
// whole text in memory, each rule as plainly as it can be put, the floats
// from strtof (correctly rounded) on the digits rewritten with an 'e'. Slow
// and obviously right, it is what the fuzz target holds the reader to.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "textio/reader.h"

namespace testing_support {

class reference_reader {
public:
    explicit reference_reader(std::string_view text) : text_(text) {}

    textio::read_result skip_line() {
        if (pos_ == text_.size()) return end_of_file(0);
        rest_of_line();
        return {};
    }

    textio::read_result read_list(std::span<const textio::item> items) {
        if (items.empty()) return skip_line();
        std::size_t next = 0;
        bool after_comma = true;
        for (;;) {
            if (pos_ == text_.size()) return end_of_file(next);
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (c == '\n') {
                ++pos_;
                ++line_;
            } else if (c == ',') {
                ++pos_;
                if (after_comma && ++next == items.size()) return rest_of_line();
                after_comma = true;
            } else if (c == '/') {
                return rest_of_line();
            } else {
                std::size_t end = pos_;
                while (end < text_.size() && !terminator(text_[end])) ++end;
                const std::string_view token = text_.substr(pos_, end - pos_);
                const std::size_t token_start = pos_;
                pos_ = end;
                after_comma = false;
                bool out_of_range = false;
                if (!take(token, items, next, out_of_range)) {
                    text_kept_ = std::string(token.substr(0, textio::reader::text_size + 1));
                    textio::malformed m;
                    m.position = static_cast<int>(next + 1);
                    m.expected = items[next].type;
                    m.out_of_range = out_of_range;
                    m.line = line_;
                    m.line_values = values_of_line(token_start);
                    rest_of_line();
                    return {m};
                }
                if (next == items.size()) return rest_of_line();
            }
        }
    }

    std::string_view malformed_text() const { return text_kept_; }

private:
    static bool terminator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '/'; }
    static bool digits_only(std::string_view s) {
        if (s.empty()) return false;
        for (const char c : s)
            if (c < '0' || c > '9') return false;
        return true;
    }
    static std::string lower(std::string_view s) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }

    // A real: sign, digits with at most one point (a digit at least), then
    // nothing, or E, e, D or d and a signed exponent, or a sign and the
    // exponent's digits; or Inf, Infinity, NaN.
    static bool real(std::string_view s, float& out) {
        bool negative = false;
        std::string_view body = s;
        if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
            negative = body[0] == '-';
            body.remove_prefix(1);
        }
        const std::string word = lower(body);
        if (word == "inf" || word == "infinity" || word == "nan") {
            const float v =
                word == "nan" ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
            out = negative ? -v : v;
            return true;
        }
        std::size_t i = 0, digits = 0;
        while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++digits;
        if (i < body.size() && body[i] == '.') {
            ++i;
            while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++digits;
        }
        if (digits == 0) return false;
        std::string text(s.substr(0, s.size() - body.size() + i));
        std::string_view rest = body.substr(i);
        if (!rest.empty()) {
            const char m = rest[0];
            if (m == 'e' || m == 'E' || m == 'd' || m == 'D') {
                rest.remove_prefix(1);
                if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
                    text += rest[0] == '-' ? "e-" : "e+";
                    rest.remove_prefix(1);
                } else {
                    text += 'e';
                }
            } else if (m == '+' || m == '-') {
                text += m == '-' ? "e-" : "e+";
                rest.remove_prefix(1);
            } else {
                return false;
            }
            if (!digits_only(rest)) return false;
            text += rest;
        }
        out = std::strtof(text.c_str(), nullptr);
        return true;
    }

    // An integer: sign and digits, within 32 bits; `out_of_range` tells a
    // whole number beyond them.
    static bool integer(std::string_view s, std::int32_t& out, bool& out_of_range) {
        bool negative = false;
        if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
            negative = s[0] == '-';
            s.remove_prefix(1);
        }
        if (!digits_only(s)) return false;
        out_of_range = true;
        while (s.size() > 1 && s[0] == '0') s.remove_prefix(1);
        if (s.size() > 10) return false;
        const long long v = std::stoll(std::string(s));
        if (v > (negative ? 2147483648LL : 2147483647LL)) return false;
        out_of_range = false;
        out = static_cast<std::int32_t>(negative ? -v : v);
        return true;
    }

    // A value for the items from `next` on: r* skips r of them, r*c fills r
    // of them with c, and anything else fills one.
    static bool take(std::string_view token, std::span<const textio::item> items, std::size_t& next,
                     bool& out_of_range) {
        std::size_t repeat = 1;
        const std::size_t star = token.find('*');
        std::string_view value = token;
        if (star != std::string_view::npos && digits_only(token.substr(0, star))) {
            std::string_view r = token.substr(0, star);
            while (r.size() > 1 && r[0] == '0') r.remove_prefix(1);
            if (r == "0") return false;
            repeat = r.size() > 9 ? std::size_t{1000000000} : std::stoul(std::string(r));
            value = token.substr(star + 1);
            if (value.empty()) {
                next = std::min(items.size(), next + repeat);
                return true;
            }
        }
        for (std::size_t k = 0; k < repeat && next < items.size(); ++k, ++next) {
            const textio::item& it = items[next];
            if (it.type == textio::kind::real) {
                float v;
                if (!real(value, v)) return false;
                *static_cast<float*>(it.target) = v;
            } else {
                std::int32_t v;
                if (!integer(value, v, out_of_range)) return false;
                *static_cast<std::int32_t*>(it.target) = v;
            }
        }
        return true;
    }

    textio::read_result rest_of_line() {
        const std::size_t nl = text_.find('\n', pos_);
        if (nl == std::string_view::npos) {
            pos_ = text_.size();
        } else {
            pos_ = nl + 1;
            ++line_;
        }
        return {};
    }

    textio::read_result end_of_file(std::size_t reached) const {
        textio::end_of_file e;
        e.items_reached = static_cast<int>(reached);
        e.no_line_end = !text_.empty() && text_.back() != '\n';
        e.lines = line_ - (e.no_line_end ? 0 : 1);
        return {e};
    }

    // The values of the line that holds the byte at `at`: runs of bytes
    // that are not terminators.
    std::int64_t values_of_line(std::size_t at) const {
        const std::size_t nl = at == 0 ? std::string_view::npos : text_.rfind('\n', at - 1);
        std::size_t p = nl == std::string_view::npos ? 0 : nl + 1;
        const std::size_t end = std::min(text_.find('\n', at), text_.size());
        std::int64_t n = 0;
        for (bool in = false; p < end; ++p) {
            n += !terminator(text_[p]) && !in;
            in = !terminator(text_[p]);
        }
        return n;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::int64_t line_ = 1;
    std::string text_kept_;
};

}  // namespace testing_support
