// The text a failure ends the run with, and the exit status.
#pragma once

#include <string>

#include "app/convert.h"

namespace app {

// Two lines, each ended by a line feed: where (statement, unit and file)
// and what. A failed allocation gives the system's reason and the line
// "Allocation would exceed memory limit".
std::string describe(const failure& f);

// 2 for a failure of a file (the end of the input included), 1 for storage
// that could not be obtained; output lost at the end makes it 2.
int exit_status(const outcome& o);

}  // namespace app
