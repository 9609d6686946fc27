// Writes a forcing file for measuring the converter:
//   lsf_generate typical|messy FILE [BLOCKS [ROWS]]
// typical: one header or row per line, blanks between values (20,000 blocks
// of 50 rows by default, about 81 MB); messy: the same values with commas,
// tabs, repeats, D exponents and rows split over lines. The output depends
// only on the arguments.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct splitmix {
    std::uint64_t s;
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
};

// A row's seven values of the usual shapes: height, pressure, temperature,
// humidity, two winds and a vertical velocity.
void row_values(splitmix& g, int level, int rows, double v[7]) {
    const double z = 10.0 + 15000.0 * level / rows + 5.0 * g.uniform();
    v[0] = z;
    v[1] = 1013.25 * std::exp(-z / 8000.0);
    v[2] = 288.15 - 0.0065 * z + 2.0 * (g.uniform() - 0.5);
    v[3] = 0.012 * std::exp(-z / 2500.0) * (0.8 + 0.4 * g.uniform());
    v[4] = 5.0 + 0.002 * z + 4.0 * (g.uniform() - 0.5);
    v[5] = -1.5 + 3.0 * (g.uniform() - 0.5);
    v[6] = -0.05 * std::sin(3.14159 * z / 15000.0) * g.uniform();
}

void typical_row(std::string& out, const double v[7]) {
    char line[160];
    std::snprintf(line, sizeof line, " %10.2f %10.3f %10.4f %13.6e %9.4f %9.4f %13.5e\n", v[0], v[1], v[2], v[3],
                  v[4], v[5], v[6]);
    out += line;
}

void messy_row(std::string& out, splitmix& g, double v[7]) {
    static const char* const seps[] = {", ", "\t", " , ", "   ", ",", " \t "};
    // Now and then a run of equal values becomes a repeat r*c.
    if (g.below(8) == 0) v[5] = v[4] = std::round(v[4]);
    char text[64];
    for (int j = 0; j < 7; ++j) {
        if (j == 4 && v[5] == v[4]) {
            std::snprintf(text, sizeof text, "2*%.1f", v[4]);
            ++j;
        } else if (j == 3 || j == 6) {
            std::snprintf(text, sizeof text, "%.6e", v[j]);
            if (g.below(2) == 0) *std::strchr(text, 'e') = 'D';
        } else if (j == 2 && g.below(6) == 0) {
            std::snprintf(text, sizeof text, "%.5e", v[j]);  // then the bare-sign form 2.88150+02
            char* e = std::strchr(text, 'e');
            std::memmove(e, e + 1, std::strlen(e));
        } else {
            std::snprintf(text, sizeof text, "%.*f", 3 + g.below(4), v[j]);
        }
        out += text;
        if (j < 6) out += g.below(10) == 0 ? "\n  " : seps[g.below(6)];
    }
    out += g.below(4) == 0 ? " \r\n" : "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (std::strcmp(argv[1], "typical") != 0 && std::strcmp(argv[1], "messy") != 0)) {
        std::fprintf(stderr, "usage: lsf_generate typical|messy FILE [BLOCKS [ROWS]]\n");
        return 64;
    }
    const bool messy = std::strcmp(argv[1], "messy") == 0;
    const long blocks = argc > 3 ? std::atol(argv[3]) : 20000;
    const int rows = argc > 4 ? std::atoi(argv[4]) : 50;
    std::FILE* f = std::fopen(argv[2], "wb");
    if (f == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    splitmix g{42};
    std::string out = messy ? "generated forcing, messy layout\n" : "generated forcing, typical layout\n";
    char line[96];
    double v[7];
    for (long b = 0; b < blocks; ++b) {
        std::snprintf(line, sizeof line, messy ? "%.1f,\t%d , 1013.25D0\n" : "  %.1f  %d  1013.25\n", 3600.0 * b,
                      rows);
        out += line;
        for (int i = 0; i < rows; ++i) {
            row_values(g, i, rows, v);
            if (messy)
                messy_row(out, g, v);
            else
                typical_row(out, v);
        }
        if (out.size() > (1u << 20)) {
            std::fwrite(out.data(), 1, out.size(), f);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), f);
    return std::fclose(f) == 0 ? 0 : 1;
}
