// The block loop: title line, then block header, rows, conversion and output
// lines for one block after another until something ends the run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "textio/reader.h"
#include "textio/stream.h"

namespace app {

// The statements that touch a file, as the diagnostics number them.
enum statement : int {
    open_input = 9,
    open_output = 10,
    skip_title = 13,
    read_header = 18,
    read_row = 21,
    write_header = 63,
    write_data = 66,
};

constexpr int input_unit = 10;
constexpr int output_unit = 20;

struct failure {
    enum class kind : std::uint8_t {
        end_of_file,
        malformed,
        read_error,
        open_error,
        write_error,
        no_memory,
        same_file,  // the output opened is the input
        in_use,     // another run holds the output
    };

    kind what = kind::end_of_file;
    int statement = 0;                           // none for no_memory
    int error = 0;                               // errno for read, open, write and no_memory
    int position = 0;                            // malformed: the item's position;
                                                 // end_of_file: items of the read reached
    textio::kind expected = textio::kind::real;  // malformed: what it needed
    std::int64_t line = 0;                       // input line, as the reader reports it
    textio::checkpoint kept;                     // write_error: what the output holds after it
    int cut_error = 0;                           // write_error: errno of a failed cut-back
    std::string text;                            // malformed: the value as it stands in the input
    // Where a read failed: blocks converted before it and, in a block's
    // rows, the input line of the block's header and the rows read of it.
    std::int32_t blocks = 0;
    std::int64_t header_line = 0;
    std::int32_t rows = 0;
    std::int32_t nrows = 0;
    bool created = false;  // the input did not exist and was created empty
};

struct outcome {
    failure end;                  // what ended the run
    std::optional<failure> lost;  // output that could not be written when the run ended
    std::int32_t blocks = 0;      // blocks counted
};

// Converts until the input ends or something fails; every complete block
// reaches the output before it returns.
outcome convert(textio::source& in, textio::sink& out);

}  // namespace app
