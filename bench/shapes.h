// The shapes of forcing input the benchmarks measure: a row's values and
// their layout in each shape, from a simple seeded generator, so that the
// same arguments always give the same text.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace shapes {

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
inline void row_values(splitmix& g, int level, int rows, double v[7]) {
    const double z = 10.0 + 15000.0 * level / rows + 5.0 * g.uniform();
    v[0] = z;
    v[1] = 1013.25 * std::exp(-z / 8000.0);
    v[2] = 288.15 - 0.0065 * z + 2.0 * (g.uniform() - 0.5);
    v[3] = 0.012 * std::exp(-z / 2500.0) * (0.8 + 0.4 * g.uniform());
    v[4] = 5.0 + 0.002 * z + 4.0 * (g.uniform() - 0.5);
    v[5] = -1.5 + 3.0 * (g.uniform() - 0.5);
    v[6] = -0.05 * std::sin(3.14159 * z / 15000.0) * g.uniform();
}

inline void typical_row(std::string& out, const double v[7]) {
    char line[160];
    std::snprintf(line, sizeof line, " %10.2f %10.3f %10.4f %13.6e %9.4f %9.4f %13.5e\n", v[0], v[1], v[2], v[3], v[4],
                  v[5], v[6]);
    out += line;
}

inline void messy_row(std::string& out, splitmix& g, double v[7]) {
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

// A single-precision value as a model's list-directed write gives it: a
// 17-character item, nine significant digits in fixed form followed by four
// blanks where 0.1 <= |v| < 1e9, otherwise in E form with two exponent digits.
inline void model_value(std::string& out, float f) {
    const double v = f;
    const double a = std::fabs(v);
    char text[40];
    if (a >= 0.1 && a < 1e9) {
        const int whole = a < 1 ? 0 : static_cast<int>(std::floor(std::log10(a))) + 1;
        std::snprintf(text, sizeof text, "%13.*f    ", 9 - whole, v);
    } else {
        std::snprintf(text, sizeof text, "%17.8E", v);
    }
    out += text;
}

inline void model_row(std::string& out, const double v[7]) {
    out += ' ';
    for (int j = 0; j < 7; ++j) model_value(out, static_cast<float>(v[j]));
    out += '\n';
}

// One value of any shape, as text.
inline void mixed_value(std::string& out, splitmix& g) {
    static const char* const words[] = {"Inf", "-inf", "NaN", "Infinity", "-Infinity", "nan", "+INF", "infinity"};
    static const char* const zeros[] = {"0.0", "-0.0", "0", "-0", "0.000E+00", "-0.0e-5"};
    char text[64];
    const int kind = g.below(100);
    if (kind < 5) {
        out += words[g.below(8)];
        return;
    }
    if (kind < 7) {
        out += zeros[g.below(6)];
        return;
    }
    const double sign = g.below(2) == 0 ? 1.0 : -1.0;
    if (kind < 15) {
        // 18 to 20 significant digits in fixed form.
        std::snprintf(text, sizeof text, "%.6f", sign * std::pow(10.0, 11.0 + 3.0 * g.uniform()));
    } else {
        // A magnitude from 1e-45 to 3.4e38, a fifth of them in fixed form.
        const double m = std::pow(10.0, -45.0 + 83.53 * g.uniform());
        if (g.below(5) == 0 && m > 1e-6 && m < 1e15)
            std::snprintf(text, sizeof text, "%.*f", g.below(5), sign * m);
        else
            std::snprintf(text, sizeof text, "%.*g", 6 + g.below(4), sign * m);
    }
    out += text;
}

inline void mixed_row(std::string& out, splitmix& g) {
    for (int j = 0; j < 7; ++j) {
        out += ' ';
        mixed_value(out, g);
    }
    out += '\n';
}

// Row i of a block of `rows` in one of the shapes typical, messy, model
// and mixed.
inline void row(const std::string& shape, std::string& out, splitmix& g, int i, int rows) {
    double v[7];
    row_values(g, i, rows, v);
    if (shape == "messy")
        messy_row(out, g, v);
    else if (shape == "model")
        model_row(out, v);
    else if (shape == "mixed")
        mixed_row(out, g);
    else
        typical_row(out, v);
}

}  // namespace shapes
