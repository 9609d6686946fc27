// Fixed-width fields of the output file: I3.3 for the two counts of a header
// line and four real field kinds. Each function fills exactly its field's
// width, right-aligned; a value whose text would not fit fills the field with
// asterisks. Digits come from the exact binary value, rounded to nearest
// with ties to even.
#pragma once

#include <cstdint>

namespace textio {

constexpr int integer_width = 3;
constexpr int real_width = 15;

// The real field kinds of the output lines: fixed point with 9, 5 or 3
// decimals (F15.9, F15.5, F15.3), and scientific with one digit before the
// point, five after, E and a signed three-digit exponent (ES15.5E3).
enum class real_field : std::uint8_t { f15_9, f15_5, f15_3, es15_5e3 };

// I3.3: a value from 0 to 999 in three digits, leading zeros included.
void put_integer(char* field, std::int32_t v);

// One real field of real_width characters.
void put_real(char* field, real_field kind, float v);

// The six fields of a data line, F15.9, ES15.5E3, F15.9, F15.9, ES15.5E3 and
// ES15.5E3, from six values: 90 characters.
void put_data_fields(char* line, const float* values);

}  // namespace textio
