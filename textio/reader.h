// The list-directed reader of the input file: free-form values, read in order
// into a list of items, each read beginning on a new line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "textio/decimal.h"
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

enum class status : std::uint8_t { ok, end_of_file, malformed, read_error };

struct read_result {
    status what = status::ok;
    int position = 0;            // malformed: the item's position in the list, from 1;
                                 // end_of_file: how many items the read had reached
    kind expected = kind::real;  // malformed: what the item needed
    int error = 0;               // read_error: the errno value
    // malformed and read_error: the input line (from 1) where it happened;
    // end_of_file: how many lines the input holds.
    std::int64_t line = 0;
    bool no_line_end = false;  // end_of_file: the input's last line has no line feed

    explicit operator bool() const { return what == status::ok; }
};

// How a reader reads reals of the common forms: byte by byte, quickest where
// the processor learns to foresee the forms the values come in, as in most
// files; or from masks of the classes of their bytes, at the same cost
// whatever the forms. Both give the same values; unless told, the reader
// chooses as it goes.
enum class real_scan : std::uint8_t { chosen, by_bytes, by_masks };

class reader {
public:
    static constexpr std::size_t buffer_size = std::size_t{1} << 18;
    // The storage a reader works in: the buffer and a few bytes beyond it.
    static constexpr std::size_t storage_size = buffer_size + 64;

    // Reads into `storage` (storage_size bytes at least), which the caller
    // obtains, so that a program can have it before it opens any file.
    reader(source& in, std::span<char> storage, real_scan scan = real_scan::chosen);
    // The same with storage of its own.
    explicit reader(source& in, real_scan scan = real_scan::chosen);

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
    std::int64_t last_line() const;

private:
    struct token;

    int peek() {
        if (p_ == end_ && !fill()) return -1;
        return static_cast<unsigned char>(*p_);
    }
    bool fill();
    bool at_terminator();
    void scan_digits(token& t, bool fraction);
    bool scan_value(token& t);
    bool scan_word(token& t);
    bool scan_signed(token& t);
    read_result discard_line();
    read_result stopped(std::size_t reached = 0);
    read_result malformed(std::size_t index, kind expected);
    void keep_text(const char* to);
    void mark_value();

    // Which scan reads the reals, chosen from what one read in
    // `sample_every` finds: the form of each of the first `columns` values
    // and how often it changes from one sample to the next. Where forms
    // change often in `often_columns` columns or more, as where values of
    // every shape follow at random, the branch-free scan takes the values;
    // elsewhere the scan byte by byte, which is quicker where the processor
    // foresees what comes.
    struct column {
        unsigned shape = 0;
        int changes = 0;
    };
    static constexpr std::size_t columns = 8;
    static constexpr int often = 8;
    static constexpr int often_columns = 3;
    static constexpr unsigned sample_every = 64;
    static constexpr unsigned never = ~0u;  // reads before a sample where the scan is given
    // read_list with `scan(p, out, index)` for the reals of the common forms.
    template <class Scan>
    read_result read_list_using(std::span<const item> items, Scan scan);
    read_result read_list_otherwise(std::span<const item> items);
    void record(std::size_t index, unsigned shape);
    column columns_[columns];
    bool choosing_;
    bool by_masks_;
    unsigned until_sample_;

    source& in_;
    std::unique_ptr<char[]> own_;  // the storage, when the reader obtained it
    char* buf_;
    const char* p_;
    const char* end_;
    std::int64_t line_ = 1;  // the line the position is on
    bool eof_ = false;
    int error_ = 0;
    // The start of the value the general scan is on, so that a malformed
    // one can be quoted; null between values. A refill keeps the part read
    // so far in text_.
    const char* mark_ = nullptr;
    char text_[text_size + 1];
    std::size_t text_length_ = 0;
};

}  // namespace textio
