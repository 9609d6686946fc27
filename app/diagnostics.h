// The text a run ends with, and the exit status.
#pragma once

#include <cstddef>
#include <string>

#include "app/failure.h"

namespace app {

// What ended the run, then output lost at the end if any: each diagnostic
// as two lines (the first naming the statement, unit and file), or, when
// storage could not be obtained, a line saying for what, the system's
// reason and the line "Allocation would exceed memory limit". Every line
// ends with a line feed.
std::string describe(const outcome& o, const opened_files& files);

// 2 for a failure of a file (the end of the input included), 1 for storage
// that could not be obtained; output lost at the end makes it 2.
int exit_status(const outcome& o);

// What the output holds after a failed write or an interruption, without a
// line end: "FORCINGS_ASCII_lsf holds N complete blocks", "... left as it
// was" or "... could not be cut back to N complete blocks"; for a FIFO or a
// device, which is not cut back, "... was sent N complete blocks" or "...
// was sent nothing". Writes at most output_state_room bytes. Safe in a
// signal handler, as is the next one.
constexpr std::size_t output_state_room = 96;
char* put_output_state(char* out, const textio::checkpoint& kept, bool regular, bool cut_failed);

// The two lines of a run ended by signal `sig`. Writes at most
// interruption_room bytes.
constexpr std::size_t interruption_room = 160;
char* put_interruption(char* out, int sig, const textio::checkpoint& kept, bool regular, bool cut_failed);

// The line of a run that cannot start: standard descriptor `descriptor` is
// closed and /dev/null cannot be opened in its place.
std::string describe_closed_descriptor(int descriptor, int error);

}  // namespace app
