// Microbenchmarks of the three stages of a row: reading, converting, writing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/rows.h"
#include "textio/fields.h"
#include "textio/reader.h"
#include "textio/writer.h"

namespace {

const char typical_row[] = "    1512.93    848.099   278.2042  3.215570e-03    8.0311   -1.4270  -1.82541e-02\n";
const char messy_row[] = "1512.931 , 848.0994\t278.20\n  3.215570D-03, 2*8.0\t-1.825407e-02 \r\n";

// Gives the same text over and over, a buffer at a time.
class repeating_source final : public textio::source {
public:
    explicit repeating_source(const char* line) {
        while (text_.size() < textio::reader::buffer_size) text_ += line;
    }
    std::ptrdiff_t read(char* buf, std::size_t n) override {
        n = std::min(n, text_.size());
        std::memcpy(buf, text_.data(), n);
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    std::string text_;
};

void read_rows(benchmark::State& state, const char* line) {
    repeating_source src(line);
    textio::reader rd(src);
    float row[7];
    const textio::item items[7] = {textio::item::real(row[0]), textio::item::real(row[1]),
                                   textio::item::real(row[2]), textio::item::real(row[3]),
                                   textio::item::real(row[4]), textio::item::real(row[5]),
                                   textio::item::real(row[6])};
    for (auto _ : state) {
        if (!rd.read_list(items)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(row);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::strlen(line)));
}

void BM_read_row_typical(benchmark::State& state) { read_rows(state, typical_row); }
void BM_read_row_messy(benchmark::State& state) { read_rows(state, messy_row); }

void BM_convert_block(benchmark::State& state) {
    const int rows = 50;
    std::vector<float> vars(7 * rows), varso(6 * rows);
    for (int i = 0; i < rows; ++i) {
        const float in[7] = {10.0f * i, 1013.25f - 15.0f * i, 288.15f - 0.5f * i, 0.012f / (1 + i), 5.0f + i, -1.5f,
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
    std::vector<float> vars(7 * rows), varso(6 * rows);
    std::uint32_t r = 12345;
    auto uniform = [&r] {
        r = r * 1664525u + 1013904223u;
        return static_cast<float>(r >> 8) * 0x1p-24f;
    };
    for (int i = 0; i < rows; ++i) {
        const float z = 10.0f + 15000.0f * static_cast<float>(i) / static_cast<float>(rows);
        const float in[7] = {z,
                             1013.25f * std::exp(-z / 8000.0f),
                             288.15f - 0.0065f * z + 2.0f * (uniform() - 0.5f),
                             0.012f * std::exp(-z / 2500.0f) * (0.8f + 0.4f * uniform()),
                             5.0f + 0.002f * z + 4.0f * (uniform() - 0.5f),
                             -1.5f + 3.0f * (uniform() - 0.5f),
                             -0.05f * std::sin(3.14159f * z / 15000.0f) * uniform()};
        std::memcpy(&vars[7 * i], in, sizeof in);
    }
    app::convert_rows(vars.data(), varso.data(), rows, 1013.25f);
    return varso;
}

// Values of every magnitude and sign, subnormals, zeros, infinities and
// NaNs: random bit patterns.
std::vector<float> every_shape_varso(int rows) {
    std::vector<float> varso(6 * rows);
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
    std::vector<char> out(bench_rows * (textio::data_line_length + 1));
    for (auto _ : state) {
        char* p = out.data();
        for (int i = 0; i < bench_rows; ++i) p = textio::format_data_line(p, varso.data() + 6 * i);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * bench_rows);
}

void BM_write_data_lines_usual(benchmark::State& state) { write_lines(state, usual_varso(bench_rows)); }
void BM_write_data_lines_every_shape(benchmark::State& state) { write_lines(state, every_shape_varso(bench_rows)); }

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

void BM_put_fixed(benchmark::State& state) {
    put_fields(state, usual_varso(bench_rows), [](char* f, float v) { textio::put_fixed(f, v, 9); });
}
void BM_put_scientific(benchmark::State& state) {
    put_fields(state, usual_varso(bench_rows), textio::put_scientific);
}
void BM_put_scientific_every_shape(benchmark::State& state) {
    put_fields(state, every_shape_varso(bench_rows), textio::put_scientific);
}

}  // namespace

BENCHMARK(BM_read_row_typical);
BENCHMARK(BM_read_row_messy);
BENCHMARK(BM_convert_block);
BENCHMARK(BM_write_data_lines_usual);
BENCHMARK(BM_write_data_lines_every_shape);
BENCHMARK(BM_put_fixed);
BENCHMARK(BM_put_scientific);
BENCHMARK(BM_put_scientific_every_shape);
BENCHMARK_MAIN();
