// The list rules of a read over the separator index (textio/index.h): the
// values come as spans whose ends are known, which the grammar
// (textio/grammar.h) reads and the conversion (textio/decimal.h) turns into
// floats; the commas, slashes and line ends between them fill, end or
// spread the list.
#include "textio/reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "textio/decimal.h"
#include "textio/grammar.h"
#include "textio/index.h"

namespace textio {

namespace {

float word_value(value::form what, bool negative) {
    const float v = what == value::form::infinity ? std::numeric_limits<float>::infinity()
                                                  : std::numeric_limits<float>::quiet_NaN();
    return negative ? -v : v;
}

bool integer_value(const value& v, std::uint64_t whole, std::int32_t& out) {
    if (v.what != value::form::number || !v.integral) return false;
    const std::uint64_t limit = v.negative ? 2147483648u : 2147483647u;
    if (whole > limit) return false;
    out = static_cast<std::int32_t>(v.negative ? -static_cast<std::int64_t>(whole) : static_cast<std::int64_t>(whole));
    return true;
}

// The float of the digits the quick path keeps; false in the rare cases
// where every digit decides.
[[gnu::always_inline]] inline bool quick_real(const short_digits& d, bool negative, float& out) {
    const std::int64_t q = d.exponent + d.scale;
    if (d.inexact) [[unlikely]]
        return to_float_between(d.w, q, negative, out);
    return to_float_quickly(d.w, q, negative, out);
}

// A real of the common forms, read and converted; false for anything else,
// which the general path takes.
[[gnu::always_inline]] inline bool read_real(const char* first, const char* last, float& out) {
    span_input in{first, last};
    short_digits d;
    const value v = scan_plain_value(in, d);
    return v.what == value::form::number && quick_real(d, v.negative, out);
}

// The values that begin in [first, last): runs of bytes other than blanks,
// commas, slashes and line feeds. Where `on`, a run at `first` goes on from
// a value before it.
std::int64_t values_in(const char* first, const char* last, bool on) {
    std::int64_t n = 0;
    for (; first != last; ++first) {
        const bool in = class_of(*first) == value_byte;
        n += in && !on;
        on = in;
    }
    return n;
}

float real_value(const value& v, exact_digits& d) {
    if (v.what != value::form::number) return word_value(v.what, v.negative);
    d.d.negative = v.negative;
    return to_float(d.d);
}

}  // namespace

// A value longer than the buffer, read through refills of the whole buffer.
struct reader::long_input {
    reader& r;
    std::uint32_t p;

    unsigned peek() {
        if (p == r.end_ && !r.eof_ && r.error_ == 0) {
            r.refill(r.end_);
            p = 0;
        }
        return static_cast<unsigned char>(r.buf_[p]);  // a line feed after the data
    }
    bool at_end() { return is_terminator(static_cast<char>(peek())); }
    void skip() { ++p; }
    void skip_if(bool b) {
        if (b) skip();
    }
    mantissa_parts mantissa(exact_digits& d) { return mantissa_by_digits(*this, d); }
    bool exponent(std::int64_t& e) { return exponent_by_digits(*this, e); }
};

// Past the data's line feed the index reads up to index_overread bytes and
// a mantissa sixteen.
static_assert(reader::padding >= 1 + index_overread + 16);

reader::reader(source& in, std::span<char> storage) : in_(in), buf_(storage.data()) {
    // The padding is read but decides nothing: it is set once.
    std::memset(buf_, 0, buffer_size + padding);
    const auto after = reinterpret_cast<std::uintptr_t>(buf_ + buffer_size + padding);
    entries_ = reinterpret_cast<std::uint32_t*>((after + alignof(std::uint32_t) - 1) & ~(alignof(std::uint32_t) - 1));
    // No data, all of it indexed: the first read refills.
    buf_[0] = '\n';
    entries_[0] = 0;
    cur_ = entries_;
    indexed_ = 1;
}

reader::reader(source& in) : reader(in, {new char[storage_size], storage_size}) { own_.reset(buf_); }

// The next window of the data, up to and including the line feed after it.
void reader::index_more() {
    const std::uint32_t to = std::min(indexed_ + static_cast<std::uint32_t>(window), end_ + 1);
    std::size_t n = index_bytes(buf_, indexed_, to, value_before_, entries_);
    if (to <= end_) entries_[n++] = end_;
    indexed_ = to;
    cur_ = entries_;
}

// Moves the bytes from `keep` on (a value begun but not ended) to the front
// and fills the rest of the buffer from the input. Returns whether the input
// gave anything; the data and its index are whole either way.
bool reader::refill(std::uint32_t keep) {
    if (eof_ || error_ != 0) return false;
    const std::uint32_t kept = end_ - keep;
    if (keep != 0) {
        values_gone_ = values_before(keep);
        value_gone_on_ = class_of(buf_[keep - 1]) == value_byte;
    }
    if (kept != 0 && keep != 0) std::memmove(buf_, buf_ + keep, kept);
    const std::ptrdiff_t n = in_.read(buf_ + kept, buffer_size - kept);
    std::uint32_t got = 0;
    if (n > 0) {
        got = static_cast<std::uint32_t>(n);
        last_byte_ = static_cast<unsigned char>(buf_[kept + got - 1]);
    } else if (n == 0) {
        eof_ = true;
    } else {
        error_ = static_cast<int>(-n);
    }
    end_ = kept + got;
    buf_[end_] = '\n';
    indexed_ = kept;
    value_before_ = kept != 0;
    line_begin_ = 0;
    index_more();
    return got != 0;
}

// At the last entry, nothing begun: the next window, or more data.
bool reader::more() {
    if (indexed_ <= end_) {
        index_more();
        return true;
    }
    return refill(end_);
}

// The value at `start` runs on to the end of the data: brings in more,
// until its end is known. Not found where the input fails first, or where
// the value fills the buffer (then `end` is end_).
reader::span reader::find_end(std::uint32_t start) {
    for (;;) {
        if (indexed_ <= end_) {
            index_more();  // the first entry is where the value ends, or end_
        } else if (eof_) {
            return {start, end_, true};  // the end of the input ends the value
        } else if (error_ != 0 || (start == 0 && end_ == buffer_size)) {
            return {start, end_, false};
        } else {
            refill(start);
            start = 0;
        }
        if (*cur_ != end_) return {start, *cur_, true};
    }
}

read_result reader::discard_line() {
    for (;;) {
        const std::uint32_t at = *cur_;
        if (buf_[at] == '\n') {
            if (at == end_) [[unlikely]] {
                if (more()) continue;
                if (error_ != 0) return stopped();
                ended_on_line_feed_ = false;  // the input ended the line
                line_begin_ = end_;
                return {};
            }
            ++cur_;
            ++line_;
            line_begin_ = at + 1;
            ended_on_line_feed_ = true;
            return {};
        }
        ++cur_;
    }
}

read_result reader::skip_line() {
    // At the end of the data with nothing of a line left, the line must come
    // from the input.
    if (*cur_ == end_ && line_begin_ >= end_ && indexed_ > end_ && !refill(end_)) return stopped();
    return discard_line();
}

// The read cannot go on: the input has ended or failed after `reached` items.
read_result reader::stopped(std::size_t reached) {
    line_begin_ = end_;  // nothing is left to read
    if (error_ != 0) return {read_error{line_, error_}};
    const bool ended = last_byte_ < 0 || last_byte_ == '\n';
    return {end_of_file{ended ? line_ - 1 : line_, static_cast<int>(reached), !ended}};
}

void reader::keep_text(std::uint32_t start, std::uint32_t end) {
    text_length_ = std::min<std::size_t>(end - start, sizeof text_);
    std::memcpy(text_, buf_ + start, text_length_);
}

// The values of the current line in the data before `at`.
std::int64_t reader::values_before(std::uint32_t at) const {
    for (std::uint32_t p = at; p != 0; --p)
        if (buf_[p - 1] == '\n') return values_in(buf_ + p, buf_ + at, false);
    return values_gone_ + values_in(buf_, buf_ + at, value_gone_on_);
}

// Consumes the rest of the line, from the next entry on, and counts the
// values that begin in it; -1 where the input fails first.
std::int64_t reader::values_to_line_end() {
    std::int64_t n = 0;
    for (;;) {
        const std::uint32_t at = *cur_;
        const byte_class c = class_of(buf_[at]);
        if (c == line_feed) {
            if (at == end_) {
                const bool refills = indexed_ > end_;
                if (more()) {
                    // A value the refill cut goes on at the start of the buffer.
                    if (refills && value_gone_on_ && *cur_ == 0 && class_of(buf_[0]) == value_byte) ++cur_;
                    continue;
                }
                if (error_ != 0) return -1;
                ended_on_line_feed_ = false;
                line_begin_ = end_;
                return n;
            }
            ++cur_;
            ++line_;
            line_begin_ = at + 1;
            ended_on_line_feed_ = true;
            return n;
        }
        n += c == value_byte;
        ++cur_;
    }
}

// The value before the next entry is malformed: where it stands, and the
// values of its line, whose rest is consumed.
read_result reader::malformed_at(std::size_t index, kind expected, bool out_of_range) {
    malformed m{line_, values_before(*cur_), static_cast<int>(index + 1), expected, out_of_range};
    const std::int64_t rest = values_to_line_end();
    m.line_values = rest < 0 ? -1 : m.line_values + rest;
    return {m};
}

// Every value but a plain number for a real item: repeats, null values,
// words, integers, numbers of many digits, and the value longer than the
// buffer (`end` is end_ then, and its entry not yet taken).
reader::outcome reader::take(std::span<const item> items, std::size_t next, std::uint32_t start, std::uint32_t end) {
    value v;
    short_digits quick;
    exact_digits exact;
    bool is_exact = false;
    if (end != end_ || eof_) {
        span_input in{buf_ + start, buf_ + end};
        v = scan_value(in, quick);
        if (v.what == value::form::malformed) {
            keep_text(start, end);
            return {taken::malformed, next};
        }
    } else {
        keep_text(0, end_);
        long_input in{*this, 0};
        v = scan_value(in, exact);
        is_exact = true;
        while (!in.at_end()) in.skip();  // the rest of a malformed value
        if (error_ != 0) return {taken::failed, next};
        indexed_ = in.p;
        value_before_ = true;
        index_more();
        cur_ += is_blank(buf_[*cur_]);
        if (v.what == value::form::malformed) return {taken::malformed, next};
    }

    const std::size_t n = items.size();
    if (v.what == value::form::nulls) {
        if (v.repeat >= n - next) return {taken::full, next};
        return {taken::more, next + static_cast<std::size_t>(v.repeat)};
    }
    const std::size_t copies = v.repeat < n - next ? static_cast<std::size_t>(v.repeat) : n - next;
    bool real_done = false;
    float real = 0;
    for (std::size_t k = 0; k < copies; ++k, ++next) {
        const item& it = items[next];
        if (it.type == kind::real) {
            if (!real_done) {
                if (is_exact) {
                    real = real_value(v, exact);
                } else if (v.what != value::form::number) {
                    real = word_value(v.what, v.negative);
                } else if (!quick_real(quick, v.negative, real)) {
                    // The rare product that cannot tell: every digit decides.
                    span_input again{buf_ + start, buf_ + end};
                    v = scan_value(again, exact);
                    real = real_value(v, exact);
                }
                real_done = true;
            }
            *static_cast<float*>(it.target) = real;
        } else {
            std::int32_t x;
            if (!integer_value(v, is_exact ? exact.whole() : quick.whole(), x)) {
                if (end != end_ || eof_) keep_text(start, end);
                const bool whole_number = v.what == value::form::number && v.integral;
                return {whole_number ? taken::out_of_range : taken::malformed, next};
            }
            *static_cast<std::int32_t*>(it.target) = x;
        }
    }
    return {next == items.size() ? taken::full : taken::more, next};
}

read_result reader::read_list(std::span<const item> items) {
    if (items.empty()) return skip_line();

    const item* it = items.data();  // the next item to fill
    const item* const items_end = it + items.size();
    bool after_comma = true;  // a comma now would stand for a null value
    const char* const b = buf_;
    // The walk keeps the next entry and the end of the data in registers,
    // and hands them back to the members around everything out of line.
    const std::uint32_t* e = cur_;
    std::uint32_t stop = end_;
    for (;;) {
        const std::uint32_t at = *e;
        const byte_class c = class_of(b[at]);
        if (c == value_byte) {
            after_comma = false;
            std::uint32_t start = at, end = e[1];
            if (end != stop) [[likely]] {
                e += is_blank(b[end]) ? 2 : 1;
                if (it->type == kind::real && read_real(b + start, b + end, *static_cast<float*>(it->target)))
                    [[likely]] {
                    if (++it != items_end) continue;
                    // The list is full: the usual line feed right after
                    // the last value, or the rest of the line.
                    const std::uint32_t after = *e;
                    if (b[after] == '\n' && after != stop) [[likely]] {
                        cur_ = e + 1;
                        ++line_;
                        line_begin_ = after + 1;
                        ended_on_line_feed_ = true;
                        return {};
                    }
                    cur_ = e;
                    return discard_line();
                }
                cur_ = e;
            } else {
                cur_ = e + 1;
                const span s = find_end(start);
                if (!s.found && error_ != 0) return stopped();
                start = s.start;
                end = s.end;
                if (s.found) cur_ += is_blank(b[end]);
            }
            const outcome o = take(items, static_cast<std::size_t>(it - items.data()), start, end);
            it = items.data() + o.next;
            e = cur_;
            stop = end_;
            switch (o.what) {
                case taken::more:
                    continue;
                case taken::full:
                    return discard_line();
                case taken::malformed:
                case taken::out_of_range:
                    return malformed_at(o.next, it->type, o.what == taken::out_of_range);
                case taken::failed:
                    return stopped();
            }
        }
        if (c == line_feed) {
            if (at == stop) [[unlikely]] {
                cur_ = e;
                if (!more()) return stopped(static_cast<std::size_t>(it - items.data()));
                e = cur_;
                stop = end_;
                continue;
            }
            ++e;
            ++line_;  // a line end is a blank; the list goes on
            continue;
        }
        ++e;
        if (c == comma) {
            if (after_comma && ++it == items_end) {
                cur_ = e;
                return discard_line();
            }
            after_comma = true;
        } else if (c == slash) {
            cur_ = e;
            return discard_line();
        }
        // Otherwise a blank after a value that a failed read left.
    }
}

}  // namespace textio
