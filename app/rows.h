// The row conversion: six output columns from the seven input columns of
// every row and the block's ref_value, in single precision.
#pragma once

#include <cstdint>

#include "textio/writer.h"

namespace app {

// A row of the input holds seven values; a data line of the output shows
// the six a row gives.
constexpr int in_columns = 7;
constexpr int out_columns = textio::data_columns;
static_assert(out_columns == 6);

// One row: in holds columns 1 to 7, out receives columns 1 to 6.
void convert_row(const float* in, float* out, float ref_value);

// Rows 1 to nrows of vars into varso; nothing when nrows is 0 or negative.
void convert_rows(const float* vars, float* varso, std::int32_t nrows, float ref_value);

}  // namespace app
