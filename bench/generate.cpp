// Writes a forcing file for measuring the converter:
//   lsf_generate typical|messy|model|mixed FILE [BLOCKS [ROWS]]
// 20,000 blocks of 50 rows by default. The output depends only on the
// arguments.
//   typical: one header or row per line, blanks between values (about 81 MB);
//   messy: the same values with commas, tabs, repeats, D exponents and rows
//     split over lines;
//   model: the same values as single-precision numbers in the layout of a
//     model's list-directed write: nine significant digits, E-02 exponents on
//     small and large values, runs of 3 to 7 blanks (about 119 MB);
//   mixed: the plain layout with values of every shape: magnitudes from
//     1e-45 to 3.4e38 of either sign, subnormals, 18 to 20 digits in fixed
//     form, signed zeros, and Inf, -inf, NaN and Infinity words.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shapes.h"

using namespace shapes;

int main(int argc, char** argv) {
    const std::string shape = argc > 1 ? argv[1] : "";
    if (argc < 3 || (shape != "typical" && shape != "messy" && shape != "model" && shape != "mixed")) {
        std::fprintf(stderr, "usage: lsf_generate typical|messy|model|mixed FILE [BLOCKS [ROWS]]\n");
        return 64;
    }
    const long blocks = argc > 3 ? std::atol(argv[3]) : 20000;
    const int rows = argc > 4 ? std::atoi(argv[4]) : 50;
    std::FILE* f = std::fopen(argv[2], "wb");
    if (f == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    splitmix g{42};
    std::string out = "generated forcing, " + shape + " layout\n";
    char line[96];
    for (long b = 0; b < blocks; ++b) {
        const double lead = 3600.0 * static_cast<double>(b);
        if (shape == "model") {
            model_value(out, static_cast<float>(lead));
            std::snprintf(line, sizeof line, "%13d", rows);
            out += line;
            model_value(out, static_cast<float>(980.0 + 40.0 * g.uniform()));
            out += '\n';
        } else {
            std::snprintf(line, sizeof line, shape == "messy" ? "%.1f,\t%d , 1013.25D0\n" : "  %.1f  %d  1013.25\n",
                          lead, rows);
            out += line;
        }
        for (int i = 0; i < rows; ++i) row(shape, out, g, i, rows);
        if (out.size() > (1u << 20)) {
            std::fwrite(out.data(), 1, out.size(), f);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), f);
    return std::fclose(f) == 0 ? 0 : 1;
}
