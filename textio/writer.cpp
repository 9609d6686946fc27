#include "textio/writer.h"

#include <cstring>

#include "textio/fields.h"

namespace textio {
namespace {

constexpr int blanks = 5;

}  // namespace

char* format_header_line(char* out, std::int32_t block_count, std::int32_t nrows, float lead_value,
                         float ref_value) {
    char* p = out;
    put_integer(p, block_count);
    p += integer_width;
    std::memset(p, ' ', blanks);
    p += blanks;
    put_integer(p, nrows);
    p += integer_width;
    std::memset(p, ' ', blanks);
    p += blanks;
    put_fixed(p, lead_value, 5);
    p += real_width;
    put_fixed(p, ref_value, 3);
    p += real_width;
    put_fixed(p, 0.0f, 3);
    p += real_width;
    *p++ = '\n';
    return p;
}

char* format_data_line(char* out, const float* row) {
    put_data_fields(out, row);
    out[6 * real_width] = '\n';
    return out + 6 * real_width + 1;
}

writer::writer(sink& out) : out_(out), buf_(new char[buffer_size]) {}

// Room for n more bytes, sending the buffer first when it lacks them.
// Returns null once a write has failed.
char* writer::room(std::size_t n) {
    if (failure_.error != 0) return nullptr;
    if (buffer_size - used_ < n && !send()) return nullptr;
    return buf_.get() + used_;
}

write_result writer::write_header_line(std::int32_t block_count, std::int32_t nrows,
                                       float lead_value, float ref_value) {
    char* p = room(header_line_length + 1);
    if (p == nullptr) return failure_;
    boundary_ = written_ + used_;
    used_ = static_cast<std::size_t>(format_header_line(p, block_count, nrows, lead_value, ref_value) -
                                     buf_.get());
    // The first line goes out at once, so that an output that cannot be
    // written is known before any more input is read.
    if (!started_) return send();
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
                                             buf_.get());
        }
    }
    boundary_ = written_ + used_;
    return {};
}

write_result writer::flush() { return send(); }

// Sends the whole buffer. On a failure, cuts the sink back to the last block
// that reached it whole, so that it holds only complete blocks.
write_result writer::send() {
    if (failure_.error != 0) return failure_;
    if (used_ == 0) return {};
    const char* const b = buf_.get();
    int error = 0;
    std::size_t done = 0;
    if (!started_) {
        // The run's first line replaces everything the sink held.
        error = out_.truncate(0);
        started_ = true;
    }
    if (error == 0) error = out_.write(b, used_, done);
    if (error == 0) {
        written_ += used_;
        used_ = 0;
        safe_ = boundary_;
        return {};
    }

    // Find the first line that did not arrive whole, and the last header
    // line that begins at or before it.
    std::uint64_t cut = safe_;
    line_kind lost = line_kind::data;
    for (std::size_t pos = 0; pos < used_;) {
        const char* nl = static_cast<const char*>(std::memchr(b + pos, '\n', used_ - pos));
        const std::size_t end = static_cast<std::size_t>(nl - b) + 1;
        const bool header = end - pos - 1 == header_line_length;
        if (header) cut = written_ + pos;
        if (done < end) {
            lost = header ? line_kind::header : line_kind::data;
            break;
        }
        pos = end;
    }
    out_.truncate(cut);
    failure_ = {error, lost};
    used_ = 0;
    return failure_;
}

}  // namespace textio
