// The list-directed reader of the input file: free-form values, read in order
// into a list of items, each read beginning on a new line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <variant>

#include "textio/stream.h"

namespace textio {

enum class kind : std::uint8_t { real, integer };

// One variable a read fills: a single-precision real or a 32-bit integer.
struct item {
    kind type;
    void* target;

    static item real(float& v) { return {kind::real, &v}; }
    static item integer(std::int32_t& v) { return {kind::integer, &v}; }
};

// How a read ended: one small struct for each way, each field with one
// meaning.

// The read filled its list, or a slash or null values ended it.
struct done {
    bool operator==(const done&) const = default;
};

// The input ended before the read was complete.
struct end_of_file {
    std::int64_t lines = 0;    // how many lines the input holds
    int items_reached = 0;     // the items the read had filled or passed over
    bool no_line_end = false;  // the input's last line has no line feed
    bool operator==(const end_of_file&) const = default;
};

// A value that is not what its item needs. The rest of its line is
// consumed.
struct malformed {
    std::int64_t line = 0;         // the input line the value stands on
    std::int64_t line_values = 0;  // how many values that line holds (-1: the input failed before its end)
    int position = 0;              // the item's position in the list, from 1
    kind expected = kind::real;
    bool out_of_range = false;  // an integer item's value is a whole number beyond 32 bits
    bool operator==(const malformed&) const = default;
};

// The input could not be read.
struct read_error {
    std::int64_t line = 0;  // the input line the read was on
    int error = 0;          // the errno value
    bool operator==(const read_error&) const = default;
};

struct read_result {
    std::variant<done, end_of_file, malformed, read_error> what;

    explicit operator bool() const { return what.index() == 0; }
};

class reader {
public:
    static constexpr std::size_t buffer_size = std::size_t{1} << 18;
    // The bytes indexed at a time: the index stays in the first-level cache.
    static constexpr std::size_t window = 4096;
    // After the data: the line feed that ends it, and the bytes that the
    // index and the digit runs read past it.
    static constexpr std::size_t padding = 128;
    // The storage a reader works in: the buffer, its padding and the index
    // of one window (an entry for every byte and the last one), aligned.
    static constexpr std::size_t storage_size =
        buffer_size + padding + (window + 1) * sizeof(std::uint32_t) + alignof(std::uint32_t);

    // Reads into `storage` (storage_size bytes at least), which the caller
    // obtains, so that a program can have it before it opens any file.
    reader(source& in, std::span<char> storage);
    // The same with storage of its own.
    explicit reader(source& in);

    // Consumes the next line whole, whatever it holds.
    read_result skip_line();

    // Fills the items from the values that follow, beginning at the start of
    // the next line. Items that get no value (a null value, or a slash ending
    // the read early) keep what they held.
    read_result read_list(std::span<const item> items);

    // After a read that failed with a malformed value: the value as it
    // stands in the input, repeat count included, up to the next blank,
    // comma, slash or line end. A longer value is cut to its first
    // `text_size` bytes and one more, so that the cut shows.
    static constexpr std::size_t text_size = 40;
    std::string_view malformed_text() const { return {text_, text_length_}; }

    // The input line holding the last byte consumed: after a read that
    // succeeded, the line on which it ended.
    std::int64_t last_line() const { return ended_on_line_feed_ ? line_ - 1 : line_; }

private:
    struct long_input;
    enum class taken : std::uint8_t { more, full, malformed, out_of_range, failed };

    void index_more();
    bool refill(std::uint32_t keep);
    bool more();
    struct span {
        std::uint32_t start, end;
        bool found;
    };
    span find_end(std::uint32_t start);
    struct outcome {
        taken what;
        std::size_t next;
    };
    outcome take(std::span<const item> items, std::size_t next, std::uint32_t start, std::uint32_t end);
    read_result discard_line();
    read_result stopped(std::size_t reached = 0);
    read_result malformed_at(std::size_t index, kind expected, bool out_of_range);
    std::int64_t values_before(std::uint32_t at) const;
    std::int64_t values_to_line_end();
    void keep_text(std::uint32_t start, std::uint32_t end);

    source& in_;
    std::unique_ptr<char[]> own_;  // the storage, when the reader obtained it
    char* buf_;
    // The index of the window being read: offsets into buf_, the last one
    // always end_, which holds a line feed of the reader's own.
    std::uint32_t* entries_;
    const std::uint32_t* cur_;   // the next entry to take
    std::uint32_t end_ = 0;      // the end of the data in buf_
    std::uint32_t indexed_ = 0;  // the index is built up to here
    bool value_before_ = false;  // the byte before indexed_ belongs to a value
    // The values of the line that buf_[0] is on which refills have moved out
    // of the buffer, and whether the byte before buf_[0] belongs to a value.
    std::int64_t values_gone_ = 0;
    bool value_gone_on_ = false;
    // Where the line after the last line feed consumed begins, while that is
    // in the buffer: what lies between it and end_ is still to be read.
    std::uint32_t line_begin_ = 0;
    std::int64_t line_ = 1;           // the line the position is on
    bool ended_on_line_feed_ = true;  // the last byte consumed is a line feed
    int last_byte_ = -1;              // the last byte the input gave, if any
    bool eof_ = false;
    int error_ = 0;
    char text_[text_size + 1];
    std::size_t text_length_ = 0;
};

}  // namespace textio
