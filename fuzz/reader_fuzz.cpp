// Arbitrary bytes through skip_line and read_list.
//
// Input: byte 0 chooses the chunk sizes the source hands out, byte 1 where
// a read error is injected (0: never), bytes 2 to 5 the reads (cycled), and
// the rest is the text. A read byte b is skip_line when b % 8 is 0, else a
// read_list of b % 8 items whose first five are integers where the bits of
// b >> 3 are set, reals otherwise.
//
// Properties: no crash or undefined behaviour; the reads give the results,
// values and malformed texts of a simple reference reader
// (tests/reference_reader.h), whether the text comes in one piece or in
// small chunks, and the index the reader builds is the index built byte by
// byte; with an injected error every read gives what it gave without it, or
// fails with that error;
// an end of file reports the number of lines the text holds and whether the
// last has a line end; a malformed value names an item of the list and its
// type (an integer, where it is out of range), its text is a piece of the
// input that holds no separator, and its line holds a value at least.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "check.h"
#include "memory_stream.h"
#include "reference_reader.h"
#include "support.h"
#include "textio/index.h"
#include "textio/reader.h"

namespace {

constexpr std::size_t control = 6;
constexpr int max_reads = 1 << 14;

struct step {
    textio::read_result r;
    std::uint32_t values[7];
    std::string text;  // malformed: the value's text
};

bool same(const textio::read_result& a, const textio::read_result& b) { return a.what == b.what; }

// A read error right after a malformed value may cut its text short: then
// `b`'s text need only begin with `a`'s.
bool same(const step& a, const step& b, int n, bool cut = false) {
    const bool text = cut ? b.text.compare(0, a.text.size(), a.text) == 0 : a.text == b.text;
    return same(a.r, b.r) && text &&
           std::memcmp(a.values, b.values, sizeof(std::uint32_t) * static_cast<std::size_t>(n)) == 0;
}

int items_of(std::uint8_t b) { return b % 8; }

// Runs the reads until one fails (or max_reads), recording each.
template <class Reader>
std::vector<step> run_with(Reader& rd, const std::uint8_t* ops, std::string_view text) {
    std::vector<step> steps;
    for (int k = 0; k < max_reads; ++k) {
        const std::uint8_t b = ops[k % 4];
        const int n = items_of(b);
        step s;
        // Items start from a pattern of their own, so that an item a read
        // leaves alone shows.
        float reals[7];
        std::int32_t ints[7];
        textio::item list[7];
        for (int i = 0; i < n; ++i) {
            const std::uint32_t fill = 0x7fc00000u + static_cast<std::uint32_t>(k * 8 + i);
            reals[i] = testing_support::from_bits(fill);
            ints[i] = static_cast<std::int32_t>(fill);
            list[i] = i < 5 && ((b >> 3) >> i & 1) ? textio::item::integer(ints[i]) : textio::item::real(reals[i]);
        }
        s.r = n == 0 ? rd.skip_line() : rd.read_list(std::span<const textio::item>(list, static_cast<std::size_t>(n)));
        for (int i = 0; i < n; ++i) {
            if (list[i].type == textio::kind::real)
                s.values[i] = testing_support::bits(reals[i]);
            else
                std::memcpy(&s.values[i], &ints[i], sizeof(std::int32_t));
        }
        if (const auto* m = std::get_if<textio::malformed>(&s.r.what)) {
            FUZZ_CHECK(m->position >= 1 && m->position <= n);
            FUZZ_CHECK(m->expected == list[m->position - 1].type);
            FUZZ_CHECK(!m->out_of_range || m->expected == textio::kind::integer);
            FUZZ_CHECK(m->line_values >= 1 || m->line_values == -1);  // -1: the input failed before the line's end
            // The value's text, as it stands in the input, without what ends a value.
            s.text = rd.malformed_text();
            FUZZ_CHECK(!s.text.empty() && s.text.size() <= textio::reader::text_size + 1);
            FUZZ_CHECK(text.find(s.text) != std::string_view::npos);
            FUZZ_CHECK(s.text.find_first_of(" \t\r\n,/") == std::string::npos);
        }
        steps.push_back(s);
        if (!s.r) break;
    }
    return steps;
}

std::vector<step> run(const std::uint8_t* ops, std::string_view text, std::uint8_t seed, std::size_t fail_at) {
    testing_support::memory_source src(text, seed, fail_at);
    textio::reader rd(src);
    return run_with(rd, ops, text);
}

// The index of the text from each of a few offsets, by masks and byte by byte.
void check_index(std::string_view text) {
    std::string buf(text);
    buf.append(textio::index_overread, 'x');
    const auto to = static_cast<std::uint32_t>(text.size());
    std::vector<std::uint32_t> a(text.size() + 1), b(a.size());
    for (std::uint32_t from = 0; from < to && from < 64; from += 7) {
        for (const bool value_before : {false, true}) {
            bool after_a = value_before, after_b = value_before;
            const std::size_t na = textio::index_bytes(buf.data(), from, to, after_a, a.data());
            const std::size_t nb = textio::index_bytes_plainly(buf.data(), from, to, after_b, b.data());
            FUZZ_CHECK(na == nb && after_a == after_b &&
                       std::equal(a.begin(), a.begin() + static_cast<long>(na), b.begin()));
        }
    }
}

std::int64_t lines_in(std::string_view text) {
    std::int64_t n = 0;
    for (char c : text) n += c == '\n';
    if (!text.empty() && text.back() != '\n') ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < control) return 0;
    const std::uint8_t seed = data[0];
    const std::uint8_t fail = data[1];
    const std::uint8_t* ops = data + 2;
    const std::string_view text(reinterpret_cast<const char*>(data) + control, size - control);

    const std::vector<step> whole = run(ops, text, 0, testing_support::memory_source::never);
    {
        testing_support::reference_reader reference(text);
        const std::vector<step> expected = run_with(reference, ops, text);
        FUZZ_CHECK(expected.size() == whole.size());
        for (std::size_t k = 0; k < whole.size(); ++k) FUZZ_CHECK(same(whole[k], expected[k], items_of(ops[k % 4])));
    }
    check_index(text);
    const textio::read_result& last = whole.back().r;
    FUZZ_CHECK(!std::holds_alternative<textio::read_error>(last.what));
    if (const auto* e = std::get_if<textio::end_of_file>(&last.what)) {
        FUZZ_CHECK(e->lines == lines_in(text));
        FUZZ_CHECK(e->no_line_end == (!text.empty() && text.back() != '\n'));
    }

    // Chunked: the same steps exactly.
    {
        const std::vector<step> other =
            run(ops, text, seed == 0 ? std::uint8_t{1} : seed, testing_support::memory_source::never);
        FUZZ_CHECK(other.size() == whole.size());
        for (std::size_t k = 0; k < whole.size(); ++k) FUZZ_CHECK(same(whole[k], other[k], items_of(ops[k % 4])));
    }

    // An injected error: the steps before it as they were, then the error.
    if (fail != 0) {
        const std::size_t at = (static_cast<std::size_t>(fail) - 1) * 16;
        const std::vector<step> broken = run(ops, text, seed, at);
        FUZZ_CHECK(broken.size() <= whole.size());
        for (std::size_t k = 0; k < broken.size(); ++k) {
            const step& s = broken[k];
            if (const auto* e = std::get_if<textio::read_error>(&s.r.what)) {
                FUZZ_CHECK(k + 1 == broken.size());
                FUZZ_CHECK(e->error == EIO);
            } else {
                // A malformed value whose line the error cut holds values unknown.
                step t = s;
                const auto* m = std::get_if<textio::malformed>(&t.r.what);
                const auto* was = std::get_if<textio::malformed>(&whole[k].r.what);
                if (m != nullptr && m->line_values == -1 && was != nullptr) {
                    FUZZ_CHECK(k + 1 == broken.size());
                    std::get<textio::malformed>(t.r.what).line_values = was->line_values;
                }
                FUZZ_CHECK(same(t, whole[k], items_of(ops[k % 4]), true));
            }
        }
    }
    return 0;
}
