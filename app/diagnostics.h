// The text a failure ends the run with, and the exit status.
#pragma once

#include <string>

#include "app/convert.h"

namespace app {

// Two lines, each ended by a line feed: where (statement, unit and file)
// and what. A failed allocation gives the system's reason and the line
// "Allocation would exceed memory limit".
std::string describe(const failure& f);

// What the output holds after a failed write or an interruption, without a
// line end: "FORCINGS_ASCII_lsf holds N complete blocks", "... left as it
// was" or "... could not be cut back to N complete blocks". Writes at most
// output_state_room bytes. Safe in a signal handler, as is the next one.
constexpr std::size_t output_state_room = 96;
char* put_output_state(char* out, const textio::checkpoint& kept, bool cut_failed);

// The two lines of a run ended by signal `sig` (SIGINT, SIGTERM or SIGHUP).
// Writes at most interruption_room bytes.
constexpr std::size_t interruption_room = 160;
char* put_interruption(char* out, int sig, const textio::checkpoint& kept, bool cut_failed);

// The line of a run that cannot start: standard descriptor `descriptor` is
// closed and /dev/null cannot be opened in its place.
std::string describe_closed_descriptor(int descriptor, int error);

// 2 for a failure of a file (the end of the input included), 1 for storage
// that could not be obtained; output lost at the end makes it 2.
int exit_status(const outcome& o);

}  // namespace app
