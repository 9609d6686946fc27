#include "textio/writer.h"

#include <cstring>

#include "textio/fields.h"

namespace textio {
namespace {

constexpr int blanks = 5;

}  // namespace

char* format_header_line(char* out, std::int32_t block_count, std::int32_t nrows, float lead_value, float ref_value) {
    char* p = out;
    put_integer(p, block_count);
    p += integer_width;
    std::memset(p, ' ', blanks);
    p += blanks;
    put_integer(p, nrows);
    p += integer_width;
    std::memset(p, ' ', blanks);
    p += blanks;
    put_real(p, real_field::f15_5, lead_value);
    p += real_width;
    put_real(p, real_field::f15_3, ref_value);
    p += real_width;
    put_real(p, real_field::f15_3, 0.0f);
    p += real_width;
    *p++ = '\n';
    return p;
}

char* format_data_line(char* out, const float* row) {
    put_data_fields(out, row);
    out[6 * real_width] = '\n';
    return out + 6 * real_width + 1;
}

writer::writer(sink& out, std::span<char> storage) : out_(out), buf_(storage.data()) {}

writer::writer(sink& out) : writer(out, {new char[buffer_size], buffer_size}) { own_.reset(buf_); }

// Room for n more bytes. When the buffer lacks them, the complete blocks in
// it go out and the current block's lines stay; a block that began before
// the buffer's start (one larger than the buffer) goes out in whole lines.
// Returns null once a write has failed.
char* writer::room(std::size_t n) {
    while (failure_.error == 0 && buffer_size - used_ < n)
        send(boundary_ > written_ ? static_cast<std::size_t>(boundary_ - written_) : used_);
    return failure_.error == 0 ? buf_ + used_ : nullptr;
}

write_result writer::write_header_line(std::int32_t block_count, std::int32_t nrows, float lead_value,
                                       float ref_value) {
    char* p = room(header_line_length + 1);
    if (p == nullptr) return failure_;
    boundary_ = written_ + used_;
    used_ = static_cast<std::size_t>(format_header_line(p, block_count, nrows, lead_value, ref_value) - buf_);
    return {};
}

write_result writer::write_data_lines(const float* varso, std::int32_t nrows) {
    if (nrows <= 0) {
        char* p = room(1);
        if (p == nullptr) return failure_;
        *p = '\n';
        ++used_;
    } else {
        for (std::int32_t i = 0; i < nrows; ++i) {
            char* p = room(data_line_length + 1);
            if (p == nullptr) return failure_;
            used_ = static_cast<std::size_t>(format_data_line(p, varso + data_columns * static_cast<std::size_t>(i)) -
                                             buf_);
        }
    }
    boundary_ = written_ + used_;
    ++blocks_;
    // The first block goes out at once, so that an output that cannot be
    // written is known before any more input is read.
    if (!safe_.touched) return send(used_);
    return {};
}

write_result writer::flush() { return send(used_); }

// Sends the first n bytes of the buffer and keeps the rest. On a failure,
// cuts the sink back to the last block that reached it whole, so that it
// holds complete blocks only.
write_result writer::send(std::size_t n) {
    if (failure_.error != 0) return failure_;
    if (n == 0) return {};
    char* const b = buf_;
    out_.begin_change();
    int error = 0;
    std::size_t done = 0;
    if (!safe_.touched) {
        // The run's first line replaces everything the sink held.
        error = out_.truncate(0);
        safe_.touched = error == 0;
    }
    if (error == 0) error = out_.write(b, n, done);
    if (error == 0) {
        written_ += n;
        used_ -= n;
        std::memmove(b, b + n, used_);
        // Every send ends at boundary_ or within the block that begins there.
        safe_ = {true, boundary_, blocks_};
        out_.end_change(safe_);
        return {};
    }

    // Find the first line that did not arrive whole, and the last header
    // line that begins at or before it. The buffer begins inside a block
    // when the last checkpoint lies before it.
    checkpoint cut = safe_;
    std::uint64_t before = safe_.blocks + (safe_.size < written_ ? 1 : 0);  // blocks ending before the next header
    line_kind lost = line_kind::data;
    for (std::size_t pos = 0; pos < n;) {
        const char* nl = static_cast<const char*>(std::memchr(b + pos, '\n', n - pos));
        const std::size_t end = static_cast<std::size_t>(nl - b) + 1;
        const bool header = end - pos - 1 == header_line_length;
        if (header) cut = {cut.touched, written_ + pos, before++};
        if (done < end) {
            lost = header ? line_kind::header : line_kind::data;
            break;
        }
        pos = end;
    }
    int cut_error = 0;
    if (safe_.touched) {
        cut_error = out_.truncate(cut.size);
        safe_ = cut;
    }
    out_.end_change(safe_);
    failure_ = {error, lost, safe_, cut_error};
    used_ = 0;
    return failure_;
}

}  // namespace textio
