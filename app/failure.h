// How a run ends: one small struct for each kind of end, each field with one
// meaning, built where the facts are known and put into words in
// app/diagnostics.cpp.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "app/names.h"
#include "textio/reader.h"
#include "textio/stream.h"
#include "textio/writer.h"

namespace app {

// A value as it stands in the input, kept without the heap: the reader
// keeps at most text_size bytes and one more, to show that it cut it.
class value_text {
public:
    value_text() = default;
    explicit value_text(std::string_view s) : size_(std::min(s.size(), sizeof bytes_)) {
        std::copy_n(s.data(), size_, bytes_);
    }
    std::string_view view() const { return {bytes_, size_}; }
    bool operator==(const value_text& other) const { return view() == other.view(); }

private:
    char bytes_[textio::reader::text_size + 1] = {};
    std::size_t size_ = 0;
};

// Statement 13: the input holds nothing, not even a title line.
struct input_empty {
    bool operator==(const input_empty&) const = default;
};

// Statement 18, between two blocks: the usual end of a run.
struct input_ended {
    std::int64_t line = 0;     // the input's last line
    bool no_line_end = false;  // that line has no line feed
    std::int32_t blocks = 0;   // blocks converted
    bool operator==(const input_ended&) const = default;
};

// Statement 18: the input ended inside a block header.
struct header_cut {
    std::int64_t line = 0;
    bool no_line_end = false;
    std::int32_t block = 0;  // the block's number, from 1
    int values_read = 0;     // of its 3
    bool operator==(const header_cut&) const = default;
};

// Statement 21: the input ended inside a block's rows; the block is neither
// counted nor written.
struct block_cut {
    std::int64_t line = 0;
    bool no_line_end = false;
    std::int32_t block = 0;
    std::int64_t header_line = 0;  // the input line the block's header ends on
    std::int32_t rows_read = 0;
    std::int32_t nrows = 0;
    bool operator==(const block_cut&) const = default;
};

// A block by its number, its header's input line and its header's nrows.
struct block_of_header {
    std::int32_t block = 0;  // 0: none
    std::int64_t header_line = 0;
    std::int32_t nrows = 0;
    bool operator==(const block_of_header&) const = default;
};

// Statement 18 or 21: a value that is not what its item needs.
struct malformed_value {
    statement where = read_header;
    std::int64_t line = 0;  // the input line the value stands on
    int position = 0;       // the item's position in the read, from 1
    textio::kind expected = textio::kind::real;
    value_text text;               // the value as it stands in the input
    bool out_of_range = false;     // a whole number beyond the 32-bit range, for an integer item
    std::int64_t line_values = 0;  // how many values the value's line holds (-1: unknown)
    block_of_header before;        // statement 18: the block converted last, whose rows may run on into this header
    bool operator==(const malformed_value&) const = default;
};

// Statement 13, 18 or 21: the input could not be read.
struct read_failed {
    statement where = skip_title;
    std::int64_t line = 0;  // the input line the read was on
    int error = 0;
    bool operator==(const read_failed&) const = default;
};

// Statement 9 or 10: a file could not be opened or created.
struct open_failed {
    statement where = open_input;
    int error = 0;
    bool missing = false;  // the file does not exist, and creating it was refused
    bool operator==(const open_failed&) const = default;
};

// Statement 10: the output and the input are one regular file.
struct same_file {
    bool operator==(const same_file&) const = default;
};

// Statement 10: another run holds the output.
struct in_use {
    bool operator==(const in_use&) const = default;
};

// Statement 9 or 10: standard output or standard error is one of the two
// files, so that a diagnostic would land in it.
struct stream_is_a_file {
    int descriptor = 2;                // 1 or 2
    run_file file = run_file::output;  // the file it is
    bool operator==(const stream_is_a_file&) const = default;
};

// Statement 63 or 66: a line could not be written.
struct write_failed {
    textio::line_kind line = textio::line_kind::header;  // the first line that did not arrive whole
    int error = 0;
    bool operator==(const write_failed&) const = default;
};

// Statement 66: the output reported a failure when it was closed, which on a
// network file system may be that of a write it had taken.
struct close_failed {
    int error = 0;
    bool operator==(const close_failed&) const = default;
};

// Statement 63 or 66: another process has cut the output short (emptied it,
// or a log rotation truncated it), so that what it holds is not the
// conversion; the run writes no more into it.
struct output_cut_short {
    textio::line_kind line = textio::line_kind::header;  // the line the run was about to write
    std::uint64_t size = 0;                              // what the file holds
    std::uint64_t written = 0;                           // what this run had written there
    bool operator==(const output_cut_short&) const = default;
};

// At the end: the output's name no longer names the file this run wrote (it
// was renamed away or removed, and perhaps made anew).
struct output_replaced {
    bool name_exists = false;  // a file has the name now
    bool operator==(const output_replaced&) const = default;
};

// Storage for a block could not be obtained.
struct no_block_storage {
    int error = 0;
    std::int32_t block = 0;
    std::int32_t nrows = 0;
    std::int64_t header_line = 0;
    bool operator==(const no_block_storage&) const = default;
};

// The buffers of the input and the output could not be obtained.
struct no_buffers {
    int error = 0;
    std::uint64_t bytes = 0;
    bool operator==(const no_buffers&) const = default;
};

using failure =
    std::variant<input_empty, input_ended, header_cut, block_cut, malformed_value, read_failed, open_failed, same_file,
                 in_use, stream_is_a_file, write_failed, output_cut_short, no_block_storage, no_buffers>;

// Output lost once the run had ended otherwise.
using loss = std::variant<write_failed, close_failed, output_cut_short, output_replaced>;

// What the output holds once the run has ended.
struct output_state {
    textio::checkpoint kept;
    int cut_error = 0;  // errno of a cut-back that failed: the file may end inside a block
    bool operator==(const output_state&) const = default;
};

struct outcome {
    failure end;               // what ended the run
    std::optional<loss> lost;  // output lost when the run ended: pending lines, or the file itself
    output_state output;
    const compressor* compressed = nullptr;  // the input begins as a file of this compressor does
    bool operator==(const outcome&) const = default;
};

// What the program knows of its two files once both are open.
struct opened_files {
    bool input_created = false;   // the input did not exist and was created, empty
    bool output_created = false;  // likewise the output
    bool output_regular = true;   // false for a FIFO or a device, which is sent blocks, not cut back
    bool operator==(const opened_files&) const = default;
};

}  // namespace app
