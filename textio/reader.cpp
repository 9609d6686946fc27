#include "textio/reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "textio/masks.h"
#include "textio/scan.h"

namespace textio {

// One value as it stands in the input: a number, an infinity or a NaN,
// possibly behind a repeat count.
struct reader::token {
    enum class shape : std::uint8_t { number, infinity, nan };

    decimal dec;              // the significant digits and exponent
    std::uint64_t whole = 0;  // the digits before any point, saturated
    shape form = shape::number;
    bool digits = false;  // at least one digit before the exponent
    bool point = false;
    bool exponent = false;

    static constexpr std::uint64_t saturation = 100000000000000000ull;  // 1e17

    void clear() {
        dec.clear();
        whole = 0;
        form = shape::number;
        digits = point = exponent = false;
    }

    bool integer_value(std::int32_t& v) const {
        if (form != shape::number || !digits || point || exponent) return false;
        const std::uint64_t limit = dec.negative ? 2147483648ull : 2147483647ull;
        if (whole > limit) return false;
        v = static_cast<std::int32_t>(dec.negative ? -static_cast<std::int64_t>(whole)
                                                   : static_cast<std::int64_t>(whole));
        return true;
    }

    float real_value() const {
        switch (form) {
            case shape::infinity:
                return dec.negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
            case shape::nan:
                return dec.negative ? -std::numeric_limits<float>::quiet_NaN()
                                    : std::numeric_limits<float>::quiet_NaN();
            case shape::number:
                break;
        }
        return to_float(dec);
    }
};

namespace {

bool is_digit(int c) { return static_cast<unsigned>(c - '0') <= 9; }
bool is_letter(int c) { return static_cast<unsigned>((c | 0x20) - 'a') <= 25; }

}  // namespace

// The bytes after the input are set once, so that the scans read only bytes
// that hold something.
reader::reader(source& in, std::span<char> storage, real_scan scan)
    : choosing_(scan == real_scan::chosen),
      by_masks_(scan == real_scan::by_masks),
      until_sample_(choosing_ ? sample_every : never),
      in_(in),
      buf_(storage.data()) {
    static_assert(buffer_size + 1 + window_size <= storage_size);
    std::memset(buf_, 0, storage_size);
    p_ = end_ = buf_;
}

reader::reader(source& in, real_scan scan) : reader(in, {new char[storage_size], storage_size}, scan) {
    own_.reset(buf_);
}

bool reader::fill() {
    if (eof_ || error_ != 0) return false;
    if (mark_ != nullptr) keep_text(end_);  // the buffer is about to be overwritten
    char* const b = buf_;
    const std::ptrdiff_t n = in_.read(b, buffer_size);
    if (n <= 0) {
        if (n == 0)
            eof_ = true;
        else
            error_ = static_cast<int>(-n);
        return false;
    }
    if (mark_ != nullptr) mark_ = b;
    p_ = b;
    end_ = b + n;
    b[n] = '\0';  // stops the fast scans at the end of what was read
    return true;
}

// A value ends at a blank, a line end, a comma, a slash or the end of the input.
bool reader::at_terminator() {
    const int c = peek();
    return c < 0 || is_terminator(c);
}

void reader::scan_digits(token& t, bool fraction) {
    for (int c = peek(); is_digit(c); c = peek()) {
        const unsigned d = static_cast<unsigned>(c - '0');
        if (fraction) {
            t.dec.add_fraction_digit(d);
        } else {
            t.dec.add_integer_digit(d);
            if (t.whole < token::saturation) t.whole = t.whole * 10 + d;
        }
        t.digits = true;
        ++p_;
    }
}

// Inf, Infinity and NaN, in any mix of cases; the sign is already taken.
bool reader::scan_word(token& t) {
    char w[9];
    std::size_t n = 0;
    for (int c = peek(); is_letter(c); c = peek()) {
        if (n < sizeof w) w[n] = static_cast<char>(c | 0x20);
        ++n;
        ++p_;
    }
    if (!at_terminator()) return false;
    if ((n == 3 && std::memcmp(w, "inf", 3) == 0) || (n == 8 && std::memcmp(w, "infinity", 8) == 0)) {
        t.form = token::shape::infinity;
        return true;
    }
    if (n == 3 && std::memcmp(w, "nan", 3) == 0) {
        t.form = token::shape::nan;
        return true;
    }
    return false;
}

// The rest of a value after any digits before the point: the point and the
// digits after it, the exponent, and then the value's end. Returns whether
// the value is well formed.
bool reader::scan_value(token& t) {
    int c = peek();
    if (c == '.') {
        t.point = true;
        ++p_;
        scan_digits(t, true);
        c = peek();
    }
    if (!t.digits) return false;
    bool exponent_sign = false;
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
        ++p_;
        c = peek();
        exponent_sign = c == '+' || c == '-';
    } else if (c == '+' || c == '-') {
        exponent_sign = true;  // 1.5+3 is 1.5e+3
    } else {
        return at_terminator();
    }
    t.exponent = true;
    const bool negative = c == '-';
    if (exponent_sign) {
        ++p_;
        c = peek();
    }
    if (!is_digit(c)) return false;
    std::int64_t e = 0;
    for (; is_digit(c); c = peek()) {
        if (e < static_cast<std::int64_t>(token::saturation)) e = e * 10 + (c - '0');
        ++p_;
    }
    t.dec.bump_exponent(negative ? -e : e);
    return at_terminator();
}

// A whole value: its sign, then a number or a word.
bool reader::scan_signed(token& t) {
    const int c = peek();
    if (c == '+' || c == '-') {
        t.dec.negative = c == '-';
        ++p_;
    }
    if (is_letter(peek())) return scan_word(t);
    scan_digits(t, false);
    return scan_value(t);
}

read_result reader::discard_line() {
    if (*p_ == '\n') {  // the usual case: nothing after the last value
        ++p_;
        ++line_;
        return {};
    }
    for (;;) {
        if (p_ == end_ && !fill()) {
            if (error_ != 0) return stopped();
            return {};
        }
        const void* nl = std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_));
        if (nl != nullptr) {
            p_ = static_cast<const char*>(nl) + 1;
            ++line_;
            return {};
        }
        p_ = end_;
    }
}

std::int64_t reader::last_line() const {
    // A failed refill leaves the position after the last byte read.
    const char previous = p_ > buf_ ? p_[-1] : '\n';
    return previous == '\n' ? line_ - 1 : line_;
}

// The read cannot go on: the input has ended or failed after `reached` items.
read_result reader::stopped(std::size_t reached) {
    read_result r;
    if (error_ != 0) {
        r.what = status::read_error;
        r.error = error_;
        r.line = line_;
        return r;
    }
    r.what = status::end_of_file;
    r.position = static_cast<int>(reached);
    r.line = last_line();
    r.no_line_end = p_ > buf_ && p_[-1] != '\n';
    return r;
}

// The general scan begins a value here. Out of line: inlined, its two
// stores cost the loop of read_list about 0.5% more instructions per row
// (callgrind), though the quick scan never reaches them.
[[gnu::noinline]] void reader::mark_value() {
    mark_ = p_;
    text_length_ = 0;
}

// Adds the bytes from the mark up to `to` to the text of the value, as far as
// there is room, and moves the mark there.
void reader::keep_text(const char* to) {
    const std::size_t n = std::min(static_cast<std::size_t>(to - mark_), sizeof text_ - text_length_);
    std::memcpy(text_ + text_length_, mark_, n);
    text_length_ += n;
    mark_ = to;
}

read_result reader::malformed(std::size_t index, kind expected) {
    // The value's text goes on to its end, or one byte past what is quoted.
    if (mark_ == nullptr)
        text_length_ = 0;
    else {
        while (text_length_ + static_cast<std::size_t>(p_ - mark_) <= text_size && !at_terminator()) ++p_;
        keep_text(p_);
        mark_ = nullptr;
    }
    read_result r;
    r.what = status::malformed;
    r.position = static_cast<int>(index + 1);
    r.expected = expected;
    r.line = line_;
    return r;
}

// One value of a sampled read: a change of form since the last sample counts
// 2 for its column, a repeat -1, within 0 to 15.
void reader::record(std::size_t index, unsigned shape) {
    if (index >= columns) return;
    column& c = columns_[index];
    const int changes = c.changes + (shape != c.shape ? 2 : -1);
    c.changes = changes < 0 ? 0 : changes > 15 ? 15 : changes;
    c.shape = shape;
}

// The common case inline: the scan byte by byte, no sample due.
read_result reader::read_list(std::span<const item> items) {
    if (--until_sample_ != 0 && !by_masks_)
        return read_list_using(items, [](const char* p, float& out, std::size_t) {
            unsigned shape;
            return scan_real_by_bytes(p, out, shape);
        });
    return read_list_otherwise(items);
}

// The scan by masks, or a sampled read, which then chooses the scan.
[[gnu::noinline]] read_result reader::read_list_otherwise(std::span<const item> items) {
    if (until_sample_ != 0)
        return read_list_using(items, [](const char* p, float& out, std::size_t) {
            unsigned shape;
            return scan_real_by_masks(p, out, shape);
        });
    until_sample_ = choosing_ ? sample_every : never;
    const read_result r = read_list_using(items, [this](const char* p, float& out, std::size_t index) {
        unsigned shape;
        const char* const q = by_masks_ ? scan_real_by_masks(p, out, shape) : scan_real_by_bytes(p, out, shape);
        if (q != nullptr) record(index, shape);
        return q;
    });
    if (choosing_) {
        int changing = 0;
        for (const column& c : columns_) changing += c.changes >= often;
        by_masks_ = changing >= often_columns;
    }
    return r;
}

read_result reader::skip_line() {
    if (peek() < 0) return stopped();
    return discard_line();
}

template <class Scan>
[[gnu::always_inline]] inline read_result reader::read_list_using(std::span<const item> items, Scan scan) {
    const std::size_t n = items.size();
    if (n == 0) return skip_line();

    std::size_t next = 0;     // the index of the next item to fill
    bool after_comma = true;  // a comma now would stand for a null value
    token t;
    for (;;) {
        const int c = peek();
        if (c < 0) return stopped(next);
        if (is_blank(c)) {
            ++p_;
            while (*p_ == ' ') ++p_;  // the NUL after the bytes read stops it
            continue;
        }
        if (c == '\n') {  // a line end is a blank; the list goes on
            ++p_;
            ++line_;
            continue;
        }
        if (c == ',') {
            ++p_;
            if (after_comma && ++next == n) return discard_line();
            after_comma = true;
            continue;
        }
        if (c == '/') return discard_line();

        if (items[next].type == kind::real) {
            if (const char* const q = scan(p_, *static_cast<float*>(items[next].target), next)) {
                p_ = q;
                after_comma = false;
                if (++next == n) return discard_line();
                continue;
            }
        }

        // A value, a null value r* or a repeated value r*c.
        t.clear();
        mark_value();
        std::uint64_t repeat = 1;
        bool well_formed;
        if (!is_digit(c)) {
            well_formed = scan_signed(t);
        } else {
            scan_digits(t, false);
            if (peek() != '*') {
                well_formed = scan_value(t);
            } else {
                ++p_;
                repeat = t.whole;
                if (repeat == 0) return malformed(next, items[next].type);
                t.clear();
                if (at_terminator()) {
                    mark_ = nullptr;
                    if (error_ != 0) return stopped();
                    // r null values: the items keep their values.
                    if (repeat >= n - next) return discard_line();
                    next += static_cast<std::size_t>(repeat);
                    after_comma = false;
                    continue;
                }
                well_formed = scan_signed(t);
            }
        }
        if (error_ != 0) return stopped();
        after_comma = false;

        const std::size_t copies = repeat < n - next ? static_cast<std::size_t>(repeat) : n - next;
        bool real_done = false;
        float real = 0;
        for (std::size_t k = 0; k < copies; ++k, ++next) {
            const item& it = items[next];
            if (it.type == kind::real) {
                if (!well_formed) return malformed(next, kind::real);
                if (!real_done) {
                    real = t.real_value();
                    real_done = true;
                }
                *static_cast<float*>(it.target) = real;
            } else {
                std::int32_t v;
                if (!well_formed || !t.integer_value(v)) return malformed(next, kind::integer);
                *static_cast<std::int32_t*>(it.target) = v;
            }
        }
        mark_ = nullptr;
        if (next == n) return discard_line();
    }
}

}  // namespace textio
