// Fixed-width fields of the output file. Each function fills exactly its
// field's width, right-aligned; a value whose text would not fit fills the
// field with asterisks. Digits come from the exact binary value, rounded to
// nearest with ties to even.
#pragma once

#include <cstdint>

namespace textio {

constexpr int integer_width = 3;
constexpr int real_width = 15;

// I3.3: at least three digits with leading zeros.
void put_integer(char* field, std::int32_t v);

// F15.d: fixed point with `decimals` (0 to 9) digits after the point.
void put_fixed(char* field, float v, int decimals);

// ES15.5E3: one digit from 1 to 9, five decimals, E and a signed
// three-digit exponent.
void put_scientific(char* field, float v);

// The six fields of a data line, F15.9, ES15.5E3, F15.9, F15.9, ES15.5E3 and
// ES15.5E3, from six values: 90 characters, each field as above.
void put_data_fields(char* line, const float* values);

}  // namespace textio
