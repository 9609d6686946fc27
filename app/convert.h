// The block loop: title line, then block header, rows, conversion and output
// lines for one block after another until something ends the run.
#pragma once

#include "app/failure.h"
#include "app/storage.h"
#include "textio/stream.h"

namespace app {

// Converts until the input ends or something fails; every complete block
// reaches the output before it returns. The reader and the writer work in
// `buffers`.
outcome convert(textio::source& in, textio::sink& out, const run_buffers& buffers);

// The same with buffers of its own.
outcome convert(textio::source& in, textio::sink& out);

}  // namespace app
