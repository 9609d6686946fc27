#include "app/rows.h"

#include <bit>
#include <cmath>
#include <cstddef>

namespace app {
namespace {

// The constants by their bit patterns, so that no decimal literal can round
// differently.
const float k1_2 = std::bit_cast<float>(0x3F99999Au);
const float k9_8 = std::bit_cast<float>(0x411CCCCDu);
const float k1000 = std::bit_cast<float>(0x447A0000u);
const float k6 = std::bit_cast<float>(0x40C00000u);
const float k0_28 = std::bit_cast<float>(0x3E8F5C29u);

float flip_sign(float v) { return std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) ^ 0x80000000u); }

}  // namespace

// Every step rounds to single precision on its own: the build keeps
// floating-point contraction off, so s + u is never fused with c3 * p.
void convert_row(const float* in, float* out, float ref_value) {
    const float c2 = in[1], c3 = in[2], c4 = in[3], c5 = in[4], c6 = in[5], c7 = in[6];

    float t = k1_2 * c7;
    t = t * k9_8;
    t = t / k1000;

    const float r = c2 / ref_value;
    const float p = ::powf(r, k0_28);
    const float u = c3 * p;
    const float thousand_c4 = k1000 * c4;
    const float s = thousand_c4 / k6;

    out[0] = c2;
    out[1] = flip_sign(t);
    out[2] = c5;
    out[3] = c6;
    out[4] = s + u;
    out[5] = thousand_c4;
}

void convert_rows(const float* vars, float* varso, std::int32_t nrows, float ref_value) {
    for (std::int32_t i = 0; i < nrows; ++i) {
        const std::size_t row = static_cast<std::size_t>(i);
        convert_row(vars + in_columns * row, varso + out_columns * row, ref_value);
    }
}

}  // namespace app
