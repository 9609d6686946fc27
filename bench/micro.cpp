// Microbenchmarks of the three stages of a row: reading, converting, writing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/rows.h"
#include "shapes.h"
#include "textio/fields.h"
#include "textio/reader.h"
#include "textio/writer.h"

namespace {

const char typical_row[] = "    1512.93    848.099   278.2042  3.215570e-03    8.0311   -1.4270  -1.82541e-02\n";
const char messy_row[] = "1512.931 , 848.0994\t278.20\n  3.215570D-03, 2*8.0\t-1.825407e-02 \r\n";

// Gives a text over and over, going on where the last read stopped.
class cycling_source final : public textio::source {
public:
    explicit cycling_source(std::string text) : text_(std::move(text)) {}
    std::ptrdiff_t read(char* buf, std::size_t n) override {
        n = std::min(n, text_.size() - pos_);
        std::memcpy(buf, text_.data() + pos_, n);
        pos_ = (pos_ + n) % text_.size();
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    std::string text_;
    std::size_t pos_ = 0;
};

// Reads rows of seven reals from a text of `rows` rows, given over and over.
void read_rows(benchmark::State& state, std::string text, std::size_t rows) {
    const std::size_t bytes = text.size();
    cycling_source src(std::move(text));
    textio::reader rd(src);
    float row[7];
    const textio::item items[7] = {textio::item::real(row[0]), textio::item::real(row[1]), textio::item::real(row[2]),
                                   textio::item::real(row[3]), textio::item::real(row[4]), textio::item::real(row[5]),
                                   textio::item::real(row[6])};
    for (auto _ : state) {
        if (!rd.read_list(items)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(row);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes / rows));
}

// One row over and over: the branch predictor learns every branch.
void read_one_row(benchmark::State& state, const char* line) {
    std::string text;
    std::size_t rows = 0;
    for (; text.size() < textio::reader::buffer_size; ++rows) text += line;
    read_rows(state, std::move(text), rows);
}

void BM_read_row_typical(benchmark::State& state) { read_one_row(state, typical_row); }
void BM_read_row_messy(benchmark::State& state) { read_one_row(state, messy_row); }

// Rows of one shape as the benchmark files hold them: 4,096 different rows,
// too many for the branch predictor to learn.
void read_shape(benchmark::State& state, const std::string& shape) {
    constexpr int rows = 4096;
    shapes::splitmix g{42};
    std::string text;
    for (int i = 0; i < rows; ++i) shapes::row(shape, text, g, i % 50, 50);
    read_rows(state, std::move(text), rows);
}

void BM_read_rows_typical(benchmark::State& state) { read_shape(state, "typical"); }
void BM_read_rows_model(benchmark::State& state) { read_shape(state, "model"); }
void BM_read_rows_messy(benchmark::State& state) { read_shape(state, "messy"); }
void BM_read_rows_mixed(benchmark::State& state) { read_shape(state, "mixed"); }

void BM_convert_block(benchmark::State& state) {
    const int rows = 50;
    std::vector<float> vars(7 * rows), varso(6 * rows);
    for (std::size_t i = 0; i < rows; ++i) {
        const float f = static_cast<float>(i);
        const float in[7] = {10.0f * f, 1013.25f - 15.0f * f, 288.15f - 0.5f * f, 0.012f / (1 + f), 5.0f + f, -1.5f,
                             -0.05f};
        std::memcpy(&vars[7 * i], in, sizeof in);
    }
    for (auto _ : state) {
        app::convert_rows(vars.data(), varso.data(), rows, 1013.25f);
        benchmark::DoNotOptimize(varso.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}

// Output rows as the row conversion gives them from rows of the usual
// shapes (pressures, temperatures, small humidities, winds of either sign).
std::vector<float> usual_varso(int rows) {
    const auto n = static_cast<std::size_t>(rows);
    std::vector<float> vars(7 * n), varso(6 * n);
    shapes::splitmix g{42};
    double v[7];
    for (std::size_t i = 0; i < n; ++i) {
        shapes::row_values(g, static_cast<int>(i % 50), 50, v);
        for (std::size_t c = 0; c < 7; ++c) vars[7 * i + c] = static_cast<float>(v[c]);
    }
    app::convert_rows(vars.data(), varso.data(), rows, 1013.25f);
    return varso;
}

// Values of every magnitude and sign, subnormals, zeros, infinities and
// NaNs: random bit patterns.
std::vector<float> every_shape_varso(int rows) {
    std::vector<float> varso(6 * static_cast<std::size_t>(rows));
    std::uint64_t s = 0x9e3779b97f4a7c15ull;
    for (float& v : varso) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        const auto bits = static_cast<std::uint32_t>(s >> 32);
        std::memcpy(&v, &bits, sizeof v);
    }
    return varso;
}

constexpr int bench_rows = 1024;

void write_lines(benchmark::State& state, const std::vector<float>& varso) {
    const auto rows = static_cast<int>(varso.size() / 6);
    std::vector<char> out(static_cast<std::size_t>(rows) * (textio::data_line_length + 1));
    for (auto _ : state) {
        char* p = out.data();
        for (int i = 0; i < rows; ++i) p = textio::format_data_line(p, varso.data() + 6 * i);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}

// Output rows as the program derives them from a file of one shape: rows as
// bench/generate.cpp writes them, read by the reader and converted with
// their block's reference value (drawn, in the model shape, as the
// generator draws it).
std::vector<float> shape_varso(const std::string& shape, int rows) {
    constexpr int block_rows = 50;
    const auto n = static_cast<std::size_t>(rows);
    std::vector<float> vars(7 * n), varso(6 * n);
    std::vector<float> refs;
    shapes::splitmix g{42};
    std::string text;
    for (int i = 0; i < rows; ++i) {
        if (i % block_rows == 0)
            refs.push_back(shape == "model" ? static_cast<float>(980.0 + 40.0 * g.uniform()) : 1013.25f);
        shapes::row(shape, text, g, i % block_rows, block_rows);
    }
    cycling_source src(std::move(text));
    textio::reader rd(src);
    for (std::size_t i = 0; i < n; ++i) {
        float* row = &vars[7 * i];
        const textio::item items[7] = {textio::item::real(row[0]), textio::item::real(row[1]),
                                       textio::item::real(row[2]), textio::item::real(row[3]),
                                       textio::item::real(row[4]), textio::item::real(row[5]),
                                       textio::item::real(row[6])};
        if (!rd.read_list(items)) return {};
    }
    for (std::size_t b = 0; b < refs.size(); ++b) {
        const std::size_t first = b * block_rows;
        const auto count = static_cast<std::int32_t>(std::min<std::size_t>(block_rows, n - first));
        app::convert_rows(&vars[7 * first], &varso[6 * first], count, refs[b]);
    }
    return varso;
}

// Enough different rows that the processor cannot learn the branches of
// their fields, as it cannot in a whole file.
constexpr int shape_rows = 8192;

void write_shape(benchmark::State& state, const char* shape) {
    const std::vector<float> varso = shape_varso(shape, shape_rows);
    if (varso.empty()) {
        state.SkipWithError("rows could not be read");
        return;
    }
    write_lines(state, varso);
}

void BM_write_data_lines_usual(benchmark::State& state) { write_lines(state, usual_varso(bench_rows)); }
void BM_write_data_lines_every_shape(benchmark::State& state) { write_lines(state, every_shape_varso(bench_rows)); }
void BM_write_data_lines_model(benchmark::State& state) { write_shape(state, "model"); }
void BM_write_data_lines_mixed(benchmark::State& state) { write_shape(state, "mixed"); }

// One field kind over the values of the usual rows, a field at a time.
template <class Put>
void put_fields(benchmark::State& state, const std::vector<float>& values, Put put) {
    char field[16];
    for (auto _ : state) {
        for (float v : values) {
            put(field, v);
            benchmark::DoNotOptimize(field);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}

void scientific(char* f, float v) { textio::put_real(f, textio::real_field::es15_5e3, v); }

void BM_put_fixed(benchmark::State& state) {
    put_fields(state, usual_varso(bench_rows),
               [](char* f, float v) { textio::put_real(f, textio::real_field::f15_9, v); });
}
void BM_put_scientific(benchmark::State& state) { put_fields(state, usual_varso(bench_rows), scientific); }
void BM_put_scientific_every_shape(benchmark::State& state) {
    put_fields(state, every_shape_varso(bench_rows), scientific);
}

}  // namespace

BENCHMARK(BM_read_row_typical);
BENCHMARK(BM_read_row_messy);
BENCHMARK(BM_read_rows_typical);
BENCHMARK(BM_read_rows_model);
BENCHMARK(BM_read_rows_messy);
BENCHMARK(BM_read_rows_mixed);
BENCHMARK(BM_convert_block);
BENCHMARK(BM_write_data_lines_usual);
BENCHMARK(BM_write_data_lines_every_shape);
BENCHMARK(BM_write_data_lines_model);
BENCHMARK(BM_write_data_lines_mixed);
BENCHMARK(BM_put_fixed);
BENCHMARK(BM_put_scientific);
BENCHMARK(BM_put_scientific_every_shape);
BENCHMARK_MAIN();
