// The text a run ends with, and the exit status.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/failure.h"

namespace app {

// Text built in place, without the heap, so that a diagnostic is written
// even where no storage can be had; what does not fit is cut. Safe in a
// signal handler.
class message {
public:
    static constexpr std::size_t capacity = 2048;

    message& operator<<(std::string_view s);
    message& operator<<(const char* s) { return *this << std::string_view(s); }
    message& operator<<(char c) { return *this << std::string_view(&c, 1); }
    template <std::integral T>
    requires(!std::same_as<T, char> && !std::same_as<T, bool>) message& operator<<(T n) {
        if constexpr (std::is_signed_v<T>) {
            if (n < 0) return *this << '-' << (0 - static_cast<std::uint64_t>(n));
        }
        return put_count(static_cast<std::uint64_t>(n));
    }

    std::string_view view() const { return {text_, size_}; }

private:
    message& put_count(std::uint64_t n);

    char text_[capacity];
    std::size_t size_ = 0;
};

// What ended the run, then output lost at the end if any: each diagnostic
// a first line naming the statement, unit and file and a second saying what
// happened, with a hint or two after it where they help (a header shaped as
// a row, a compressed input, a redirection into the output); or, when
// storage could not be obtained, a line saying for what, the system's
// reason and the line "Allocation would exceed memory limit". Every line
// ends with a line feed.
message describe(const outcome& o, const opened_files& files);

// 2 for a failure of a file (the end of the input included), 1 for storage
// that could not be obtained; output lost at the end makes it 2.
int exit_status(const outcome& o);

// What the output holds after a failed write or an interruption, without a
// line end: "FORCINGS_ASCII_lsf holds N complete blocks", "... left as it
// was" or "... could not be cut back to N complete blocks"; for a FIFO or a
// device, which is not cut back, "... was sent N complete blocks" or "...
// was sent nothing". Safe in a signal handler, as is the next one.
void put_output_state(message& m, const textio::checkpoint& kept, bool regular, bool cut_failed);

// The two lines of a run ended by signal `sig`.
void put_interruption(message& m, int sig, const textio::checkpoint& kept, bool regular, bool cut_failed);

// The line of a run that cannot start: standard descriptor `descriptor` is
// closed and /dev/null cannot be opened in its place.
message describe_closed_descriptor(int descriptor, int error);

}  // namespace app
