// The fixed-width writer of the output file: one header line per block, then
// its data lines, buffered in large chunks that end where a block ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "textio/stream.h"

namespace textio {

constexpr std::size_t header_line_length = 61;  // without the line feed
constexpr std::size_t data_line_length = 90;
constexpr int data_columns = 6;

enum class line_kind : std::uint8_t { header, data };

struct write_result {
    int error = 0;                       // errno of the failed write, 0 on success
    line_kind lost = line_kind::header;  // the kind of the first line that did not reach the sink
    checkpoint kept;                     // what the sink holds once cut back after the failure
    int cut_error = 0;                   // errno of a cut-back that failed: the sink may end inside a block

    explicit operator bool() const { return error == 0; }
};

// The text of the lines, without buffering: each returns the end of what it wrote.
char* format_header_line(char* out, std::int32_t block_count, std::int32_t nrows, float lead_value, float ref_value);
char* format_data_line(char* out, const float* row);

class writer {
public:
    static constexpr std::size_t buffer_size = std::size_t{1} << 18;

    // Buffers in `storage` (buffer_size bytes at least), which the caller
    // obtains, so that a program can have it before it opens any file.
    writer(sink& out, std::span<char> storage);
    // The same with storage of its own.
    explicit writer(sink& out);

    // "(2(I3.3,5X),F15.5,2F15.3)": block_count, nrows, lead_value,
    // ref_value and a zero.
    write_result write_header_line(std::int32_t block_count, std::int32_t nrows, float lead_value, float ref_value);

    // "(F15.9,ES15.5e3,2F15.9,2ES15.5e3)" for each of the rows of varso (six
    // values a row), or one empty line when nrows is 0 or negative.
    write_result write_data_lines(const float* varso, std::int32_t nrows);

    // Writes the pending lines.
    write_result flush();

    // What the sink holds whole: the last checkpoint that reached it.
    const checkpoint& kept() const { return safe_; }

private:
    char* room(std::size_t n);
    write_result send(std::size_t n);

    sink& out_;
    std::unique_ptr<char[]> own_;  // the storage, when the writer obtained it
    char* buf_;
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;   // bytes that reached the sink
    std::uint64_t boundary_ = 0;  // where the last block began or ended, counted like written_
    std::uint64_t blocks_ = 0;    // complete blocks before boundary_
    checkpoint safe_;             // the last boundary that reached the sink
    write_result failure_;        // once a write fails, nothing more is written
};

}  // namespace textio
