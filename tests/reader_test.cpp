// The list-directed reader: every rule of a read, checked through memory
// sources that hand the input over whole, a few bytes at a time or one byte
// at a time, and through sources that fail part-way.

#include "textio/reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "memory_stream.h"
#include "reference_reader.h"
#include "support.h"
#include "textio/digits.h"
#include "textio/index.h"

namespace {

using testing_support::bits;
using testing_support::chunks;
using testing_support::memory_source;
using textio::item;
using textio::kind;
using textio::read_result;

constexpr std::size_t whole = std::numeric_limits<std::size_t>::max();

// What an item holds when no value reached it.
constexpr float real_unset = -777.0f;
constexpr std::int32_t integer_unset = -777;

std::string show(float v) {
    if (bits(v) == bits(real_unset)) return "?";
    char b[32];
    return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
}

std::string show(std::int32_t v) { return v == integer_unset ? "?" : std::to_string(v); }

// The outcome but for the values a malformed value's line holds, which
// MalformedValueText checks.
struct describer {
    std::string operator()(const textio::done&) const { return "ok"; }
    std::string operator()(const textio::end_of_file& e) const {
        return "eof " + std::to_string(e.lines) + (e.no_line_end ? " unended" : "");
    }
    std::string operator()(const textio::malformed& m) const {
        return "malformed " + std::to_string(m.position) + (m.expected == kind::real ? " real" : " integer") +
               " line " + std::to_string(m.line) + (m.out_of_range ? " out of range" : "");
    }
    std::string operator()(const textio::read_error& e) const {
        return "error " + std::to_string(e.error) + " line " + std::to_string(e.line);
    }
};

std::string describe(const read_result& r) { return std::visit(describer{}, r.what); }

std::string escape(std::string_view s) {
    std::string out;
    for (const char ch : s.substr(0, 80)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c >= 0x7f) {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            out += b;
        } else
            out += ch;
    }
    if (s.size() > 80) out += "...";
    return out;
}

// One call on the reader: "-" is skip_line, otherwise a read_list whose items
// are given by letters, 'r' a real and 'i' an integer. The outcome is the
// items' values ("?" for untouched ones), then " | " and the status; calls
// without items show the status only.
struct step {
    std::string kinds;
    std::string expect;
};

struct reader_case {
    std::string input;
    std::vector<step> steps;  // up to and including the first one that fails
};

// Runs the steps until one fails; `text` gets the text of a malformed value
// that ends them, and `values` the values its line holds.
template <class Reader>
std::vector<std::string> run_with(const reader_case& c, Reader& rd, std::string* text = nullptr,
                                  std::int64_t* values = nullptr) {
    std::vector<std::string> out;
    for (const step& s : c.steps) {
        read_result r;
        std::string d;
        if (s.kinds == "-") {
            r = rd.skip_line();
        } else {
            const std::size_t n = s.kinds.size();
            std::vector<float> reals(n, real_unset);
            std::vector<std::int32_t> ints(n, integer_unset);
            std::vector<item> items;
            for (std::size_t k = 0; k < n; ++k)
                items.push_back(s.kinds[k] == 'i' ? item::integer(ints[k]) : item::real(reals[k]));
            r = rd.read_list(items);
            for (std::size_t k = 0; k < n; ++k) d += (s.kinds[k] == 'i' ? show(ints[k]) : show(reals[k])) + " ";
        }
        out.push_back(d.empty() ? describe(r) : d + "| " + describe(r));
        if (const auto* m = std::get_if<textio::malformed>(&r.what)) {
            if (text != nullptr) *text = rd.malformed_text();
            if (values != nullptr) *values = m->line_values;
        }
        if (!r) break;
    }
    return out;
}

std::vector<std::string> run(const reader_case& c, textio::source& src, std::string* text = nullptr,
                             std::int64_t* values = nullptr) {
    textio::reader rd(src);
    return run_with(c, rd, text, values);
}

std::vector<std::string> expected(const reader_case& c) {
    std::vector<std::string> e;
    for (const step& s : c.steps) e.push_back(s.expect);
    return e;
}

// Each case through sources of several chunk sizes; a malformed value's
// text and the values of its line do not depend on where the input was cut.
void check(const std::vector<reader_case>& cases, std::initializer_list<std::size_t> chunks = {whole, 1, 2, 3, 7}) {
    for (const reader_case& c : cases) {
        std::string first_text;
        std::int64_t first_values = 0;
        for (const std::size_t chunk : chunks) {
            memory_source src(c.input, chunks::of(chunk));
            std::string text;
            std::int64_t values = 0;
            const std::string where =
                "input \"" + escape(c.input) + "\", " + std::to_string(chunk == whole ? 0 : chunk) + " bytes per read";
            EXPECT_EQ(run(c, src, &text, &values), expected(c)) << where;
            if (chunk == *chunks.begin()) {
                first_text = text;
                first_values = values;
            }
            EXPECT_EQ(text, first_text) << where;
            EXPECT_EQ(values, first_values) << where;
        }
    }
}

const std::vector<reader_case> separator_cases = {
    {"1 2 3\n4 5 6\n", {{"rrr", "1 2 3 | ok"}, {"rrr", "4 5 6 | ok"}, {"rrr", "? ? ? | eof 2"}}},
    {"1,2,3\n", {{"rrr", "1 2 3 | ok"}, {"r", "? | eof 1"}}},
    {"1, 2 ,3\n", {{"rrr", "1 2 3 | ok"}}},
    {"1 , 2  ,  3\n", {{"rrr", "1 2 3 | ok"}}},
    {"1\t2\t\t3\n", {{"rrr", "1 2 3 | ok"}}},
    {" \t 1 \t, \t2,3 \t\n", {{"rrr", "1 2 3 | ok"}}},
    {"   1.5     7    2.5\n", {{"rir", "1.5 7 2.5 | ok"}}},
    {"1.5,7,2.5\n", {{"rir", "1.5 7 2.5 | ok"}}},
    // A carriage return is a blank, before a line feed or anywhere else.
    {"t\r\n1 2 3\r\n4,5,6\r\n", {{"-", "ok"}, {"rrr", "1 2 3 | ok"}, {"rrr", "4 5 6 | ok"}, {"r", "? | eof 3"}}},
    {"1\r2\r3\n", {{"rrr", "1 2 3 | ok"}}},
    {"1 ,\r\n2\r\n\r\n3\r\n", {{"rrr", "1 2 3 | ok"}}},
    {"t\r\n\r\n 0.5 2 1000.0\r\n\r\n1000.25 900.5 288.1 0.0131 5.02 -0.7 -1.5e-4\r\n\r\n",
     {{"-", "ok"},
      {"rir", "0.5 2 1000 | ok"},
      {"rrrrrrr", "1000.25 900.5 288.1 0.0131 5.02 -0.7 -0.00015 | ok"},
      {"r", "? | eof 6"}}},
};

const std::vector<reader_case> line_end_cases = {
    // A header or row spread over lines reads as if it stood on one.
    {"1.5\n7\n2.5\n9\n", {{"rir", "1.5 7 2.5 | ok"}, {"r", "9 | ok"}}},
    {"1.5 7\n2.5 8\n9\n", {{"rir", "1.5 7 2.5 | ok"}, {"r", "9 | ok"}}},
    {"1 2\n3 4 5\n\n6\n7 8\n", {{"rrrrrrr", "1 2 3 4 5 6 7 | ok"}, {"r", "? | eof 5"}}},
    {"1,\n2,\n3\n", {{"rrr", "1 2 3 | ok"}}},
    {"1\n,2\n,3\n", {{"rrr", "1 2 3 | ok"}}},
    // One value never continues on the next line.
    {"12\n34\n", {{"rr", "12 34 | ok"}}},
    {"-\n1 2\n", {{"rr", "? ? | malformed 1 real line 1"}}},
    // Lines holding only blanks are passed over.
    {"\n\n  \n\t\n1 2 3\n", {{"rrr", "1 2 3 | ok"}, {"r", "? | eof 5"}}},
    {"1 2 3\n\n \n4 5 6\n", {{"rrr", "1 2 3 | ok"}, {"rrr", "4 5 6 | ok"}}},
    // skip_line takes one line whatever it holds, a blank one included.
    {"\n1 2 3\n", {{"-", "ok"}, {"rrr", "1 2 3 | ok"}}},
    {"1 2 3\n4 5 6\n", {{"-", "ok"}, {"rrr", "4 5 6 | ok"}}},
    {"x;y/z,,\n\n7\n", {{"-", "ok"}, {"-", "ok"}, {"r", "7 | ok"}, {"-", "eof 3"}}},
    // A read of no items is a skip_line.
    {"1 2\n3\n", {{"", "ok"}, {"r", "3 | ok"}, {"", "eof 2"}}},
};

const std::vector<reader_case> rest_of_line_cases = {
    {"1 2 3 4 5\n6 7 8\n", {{"rrr", "1 2 3 | ok"}, {"rrr", "6 7 8 | ok"}}},
    // Whatever follows is not looked at, malformed text included.
    {"1 2 3 garbage;;/ 1.5q3 ,,\n4 5 6\n", {{"rrr", "1 2 3 | ok"}, {"rrr", "4 5 6 | ok"}}},
    {"1 2 3\n4\n", {{"rrr", "1 2 3 | ok"}, {"r", "4 | ok"}}},
    {"1,2,3,\n4\n", {{"rrr", "1 2 3 | ok"}, {"r", "4 | ok"}}},
    {"1\n2 3 4\n5\n", {{"rrr", "1 2 3 | ok"}, {"r", "5 | ok"}}},
    {"1 2 3", {{"rrr", "1 2 3 | ok"}, {"r", "? | eof 1 unended"}}},
    {"1 2 3 4", {{"rrr", "1 2 3 | ok"}, {"r", "? | eof 1 unended"}}},
};

const std::vector<reader_case> slash_cases = {
    {"1 2 /\n4 5 6\n", {{"rrr", "1 2 ? | ok"}, {"rrr", "4 5 6 | ok"}}},
    {"1 2/\n4 5 6\n", {{"rrr", "1 2 ? | ok"}, {"rrr", "4 5 6 | ok"}}},
    {"1,2,/ 9 9\n4 5 6\n", {{"rrr", "1 2 ? | ok"}, {"rrr", "4 5 6 | ok"}}},
    {"1 , / 9\n4\n", {{"rrr", "1 ? ? | ok"}, {"r", "4 | ok"}}},
    {"/\n4 5 6\n", {{"rrr", "? ? ? | ok"}, {"rrr", "4 5 6 | ok"}}},
    {" \t/ 7 8 9\n4 5 6\n", {{"rrr", "? ? ? | ok"}, {"rrr", "4 5 6 | ok"}}},
    {"1\n/\n4 5 6\n", {{"rrr", "1 ? ? | ok"}, {"rrr", "4 5 6 | ok"}}},
    {"1/2 3\n4\n", {{"rrr", "1 ? ? | ok"}, {"r", "4 | ok"}}},
    {"1,,/\n", {{"rrr", "1 ? ? | ok"}}},
    {"1.5 /\n", {{"rir", "1.5 ? ? | ok"}}},
    {"2*1/\n", {{"rrr", "1 1 ? | ok"}}},
    {"1 2*/\n7\n", {{"rrrr", "1 ? ? ? | ok"}, {"r", "7 | ok"}}},
    // The slash may be the last byte of the input.
    {"1 /", {{"rrr", "1 ? ? | ok"}, {"r", "? | eof 1 unended"}}},
};

const std::vector<reader_case> null_cases = {
    {",2,3\n", {{"rrr", "? 2 3 | ok"}}},
    {" , 2, 3\n", {{"rrr", "? 2 3 | ok"}}},
    {"\n,2,3\n", {{"rrr", "? 2 3 | ok"}}},
    {"1,,3\n", {{"rrr", "1 ? 3 | ok"}}},
    {"1 , , 3\n", {{"rrr", "1 ? 3 | ok"}}},
    {",,3\n", {{"rrr", "? ? 3 | ok"}}},
    {", ,3\n", {{"rrr", "? ? 3 | ok"}}},
    {",\n,3\n", {{"rrr", "? ? 3 | ok"}}},
    {"1,\n,3\n", {{"rrr", "1 ? 3 | ok"}}},
    // A null value for the last item fills the list.
    {"1,2,,\n9\n", {{"rrr", "1 2 ? | ok"}, {"r", "9 | ok"}}},
    {",,,\n9\n", {{"rrr", "? ? ? | ok"}, {"r", "9 | ok"}}},
    {"1,2,\n3\n", {{"rrr", "1 2 3 | ok"}}},
    // r* stands for r null values.
    {"2*,3\n", {{"rrr", "? ? 3 | ok"}}},
    {"2* 3\n", {{"rrr", "? ? 3 | ok"}}},
    {"2*\n3\n", {{"rrr", "? ? 3 | ok"}}},
    {"1*,1*,7\n", {{"rrr", "? ? 7 | ok"}}},
    {"1,2*,3\n", {{"rrrr", "1 ? ? 3 | ok"}}},
    {"1 2*\n9\n", {{"rrr", "1 ? ? | ok"}, {"r", "9 | ok"}}},
    {"5*\n9\n", {{"rrr", "? ? ? | ok"}, {"r", "9 | ok"}}},
    {"99999999999999999999999* 1\n9\n", {{"rrr", "? ? ? | ok"}, {"r", "9 | ok"}}},
    {",,2.5\n", {{"rir", "? ? 2.5 | ok"}}},
    {"1.5,,2.5\n", {{"rir", "1.5 ? 2.5 | ok"}}},
    {"2*,-1\n", {{"iri", "? ? -1 | ok"}}},
};

const std::vector<reader_case> repeat_cases = {
    {"3*1.5\n", {{"rrr", "1.5 1.5 1.5 | ok"}}},
    {"2*1.5 4\n", {{"rrr", "1.5 1.5 4 | ok"}}},
    {"1 2*-1.5e1\n", {{"rrr", "1 -15 -15 | ok"}}},
    {"2*inf,1\n", {{"rrr", "inf inf 1 | ok"}}},
    {"1\n2*4\n", {{"rrr", "1 4 4 | ok"}}},
    {"01*5 6 7\n", {{"rrr", "5 6 7 | ok"}}},
    // Copies past the end of the list are dropped with the rest of the line.
    {"1 5*2 8\n9\n", {{"rrr", "1 2 2 | ok"}, {"r", "9 | ok"}}},
    {"99999999999999999999999*1\n9\n", {{"rrr", "1 1 1 | ok"}, {"r", "9 | ok"}}},
    // One value over items of both types: a whole number suits both.
    {"2*5 2.5\n", {{"rir", "5 5 2.5 | ok"}}},
    {"3*7\n", {{"rir", "7 7 7 | ok"}}},
    {"1.5 2*-5\n", {{"rir", "1.5 -5 -5 | ok"}}},
    {"2*5.0\n", {{"rir", "5 ? ? | malformed 2 integer line 1"}}},
    {"2*1e1\n", {{"rir", "10 ? ? | malformed 2 integer line 1"}}},
    {"1.5 2*2.5\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"2*2147483648\n", {{"rir", "2147483648 ? ? | malformed 2 integer line 1 out of range"}}},
    // r must be greater than zero and stand right before the asterisk.
    {"0*1\n", {{"rrr", "? ? ? | malformed 1 real line 1"}}},
    {"1 0*\n", {{"rrr", "1 ? ? | malformed 2 real line 1"}}},
    {"1.5 0*3\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"-2*5\n", {{"rrr", "? ? ? | malformed 1 real line 1"}}},
    {"+2*5\n", {{"rrr", "? ? ? | malformed 1 real line 1"}}},
    {"2.0*5\n", {{"rrr", "? ? ? | malformed 1 real line 1"}}},
    {"2*2*5\n", {{"rrr", "? ? ? | malformed 1 real line 1"}}},
    {"2 * 3\n", {{"rrr", "2 ? ? | malformed 2 real line 1"}}},
    {"*5\n", {{"rrr", "? ? ? | malformed 1 real line 1"}}},
    {"2*;\n", {{"rrr", "? ? ? | malformed 1 real line 1"}}},
    {"2*1.5x\n", {{"rrr", "? ? ? | malformed 1 real line 1"}}},
};

const std::vector<reader_case> real_cases = {
    {"1.5e3 1.5E3 1.5d3 1.5D3\n", {{"rrrr", "1500 1500 1500 1500 | ok"}}},
    {"1.5e+3 1.5E-3 1.5d-3 1.5D+03\n", {{"rrrr", "1500 0.0015 0.0015 1500 | ok"}}},
    // A sign right after the digits starts the exponent.
    {"1.5+3 4.40829-13 1.5-0 7+0\n", {{"rrrr", "1500 4.40829e-13 1.5 7 | ok"}}},
    {"15 -15 +15 0\n", {{"rrrr", "15 -15 15 0 | ok"}}},
    {".5 -.5 +.5e1 .5d-1\n", {{"rrrr", "0.5 -0.5 5 0.05 | ok"}}},
    {"5. -5. 5.e1 5.+1\n", {{"rrrr", "5 -5 50 50 | ok"}}},
    {"-0 -0.0e0 +0. 00012.5000\n", {{"rrrr", "-0 -0 0 12.5 | ok"}}},
    {"1e00000000000000000000000000001 0.1 3.4028235e38 1e-40\n", {{"rrrr", "10 0.1 3.4028235e+38 1e-40 | ok"}}},
    {"Inf inf INF -Inf +inFinITy Infinity -INFINITY\n", {{"rrrrrrr", "inf inf inf -inf inf inf -inf | ok"}}},
    {"NaN nan -NaN +nAn\n", {{"rrrr", "nan nan -nan nan | ok"}}},
    {"inf,nan/\n", {{"rrr", "inf nan ? | ok"}}},
    {"-Infinity\t+NaN,inF/\n", {{"rrrr", "-inf nan inf ? | ok"}}},
    {"nAn\r\n-iNf\n", {{"rr", "nan -inf | ok"}}},
    // More than 19 digits, before and after the point, with leading zeros.
    {"12345678901234567890123 -33554432.000000000000000000001 000000000000000000000000001.5\n",
     {{"rrr", "1.2345679e+22 -33554432 1.5 | ok"}}},
    {"0.000000000000000000000000000000000015 1.00000000000000000000000000001e10\n", {{"rr", "1.5e-35 1e+10 | ok"}}},
    {"1e-0000000000000000000000000045 3.0e+000038 -2.5D-00000003\n", {{"rrr", "1e-45 3e+38 -0.0025 | ok"}}},
    // Beyond the range: an infinity; below it: zero.
    {"1e39 -1e39 1e-46 -1e-46 1e-45\n", {{"rrrrr", "inf -inf 0 -0 1e-45 | ok"}}},
    {"1e+99999999999999999999999 1e-99999999999999999999999\n", {{"rr", "inf 0 | ok"}}},
    {"0e99999999999999999999999 0.0000e-5\n", {{"rr", "0 0 | ok"}}},
    {"1.5e3,1.5e3\t1.5e3/\n", {{"rrrr", "1500 1500 1500 ? | ok"}}},
    // The same value by whatever path reads the same.
    {"100 1e2 1d2 10e1 1000e-1 0.01e4 .1+3 100.\n", {{"rrrrrrrr", "100 100 100 100 100 100 100 100 | ok"}}},
    // Sixteen bytes, the point first or last, and one byte more.
    {"1234567890123456 -123456789012345 123456789012345.6 .123456789012345 -123456789012345. 1.2345678901234e5\n",
     {{"rrrrrr", "1.234568e+15 -1.2345679e+14 1.2345679e+14 0.12345679 -1.2345679e+14 123456.79 | ok"}}},
    {"0.000000000000001 -0.00000000000001e+2 123.456e-2 9999999999999999 1.000000000000000\n",
     {{"rrrrr", "1e-15 -1e-12 1.23456 1e+16 1 | ok"}}},
    // Exponents of one, two and three digits; ties, which go to the even
    // float; the ends of the range.
    {"1e5 1e05 1e005 1e-5 1e-05 1e-005\n", {{"rrrrrr", "1e+05 1e+05 1e+05 1e-05 1e-05 1e-05 | ok"}}},
    {"16777217 16777219 -16777217.0 1.6777217e7 0.33554433e8\n",
     {{"rrrrr", "16777216 16777220 -16777216 16777216 33554432 | ok"}}},
    {"1.17549421e-38 7.0064923e-46 7.0064924e-46 -1.4e-45 3.4028235e38 3.4028236e38\n",
     {{"rrrrrr", "1.1754942e-38 0 1e-45 -1e-45 3.4028235e+38 inf | ok"}}},
    // Spaces after a value beyond what the scans look at at once.
    {"1.5" + std::string(40, ' ') + "2.5" + std::string(31, ' ') + "3.5\n", {{"rrr", "1.5 2.5 3.5 | ok"}}},
};

const std::vector<reader_case> integer_cases = {
    {"7 +7 -7 0 -0 000123\n", {{"iiiiii", "7 7 -7 0 0 123 | ok"}}},
    {"2147483647 -2147483648 +2147483647\n", {{"iii", "2147483647 -2147483648 2147483647 | ok"}}},
    {"2147483648\n", {{"i", "? | malformed 1 integer line 1 out of range"}}},
    {"-2147483649\n", {{"i", "? | malformed 1 integer line 1 out of range"}}},
    {"99999999999999999999999\n", {{"i", "? | malformed 1 integer line 1 out of range"}}},
    {"1.5 +0099999999999 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1 out of range"}}},
    {"1.5 3*99999999999\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1 out of range"}}},
    {"00000000000000000000000000000000000007\n", {{"i", "7 | ok"}}},
    {"1.5 1.0 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"1.5 1. 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"1.5 .0 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"1.5 1e2 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"1.5 1D2 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"1.5 1+2 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"1.5 inf 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"1.5 NaN 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"1.5 + 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"1.5 7x 2\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    {"1,5\n", {{"i", "1 | ok"}}},
};

// Malformed values: the item's position and kind, and the line it stands on.
const std::vector<reader_case> malformed_cases = {
    {"1;2;3\n", {{"rrr", "? ? ? | malformed 1 real line 1"}}},
    {"1 ; 2\n", {{"rrr", "1 ? ? | malformed 2 real line 1"}}},
    {"1.5q3\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1.5Q3\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1.5h3\n", {{"r", "? | malformed 1 real line 1"}}},
    {"nan(1)\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1.5e\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1.5e 3\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1.5e+\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1.5D-,\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1.5+\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1.5e+-3\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1.5ee3\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1e5e5\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1e5.5\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1..5\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1.5.\n", {{"r", "? | malformed 1 real line 1"}}},
    {"+\n", {{"r", "? | malformed 1 real line 1"}}},
    {"-,1\n", {{"r", "? | malformed 1 real line 1"}}},
    {".\n", {{"r", "? | malformed 1 real line 1"}}},
    {"+.\n", {{"r", "? | malformed 1 real line 1"}}},
    {".e5\n", {{"r", "? | malformed 1 real line 1"}}},
    {"--1\n", {{"r", "? | malformed 1 real line 1"}}},
    {"+-1\n", {{"r", "? | malformed 1 real line 1"}}},
    {"e5\n", {{"r", "? | malformed 1 real line 1"}}},
    {"d5\n", {{"r", "? | malformed 1 real line 1"}}},
    {"in\n", {{"r", "? | malformed 1 real line 1"}}},
    {"infinit\n", {{"r", "? | malformed 1 real line 1"}}},
    {"infinityy\n", {{"r", "? | malformed 1 real line 1"}}},
    {"infinities\n", {{"r", "? | malformed 1 real line 1"}}},
    {"nana\n", {{"r", "? | malformed 1 real line 1"}}},
    {"inf1\n", {{"r", "? | malformed 1 real line 1"}}},
    {"Infinity-\n", {{"r", "? | malformed 1 real line 1"}}},
    {"nan.\n", {{"r", "? | malformed 1 real line 1"}}},
    {"-nanx 1\n", {{"rr", "? ? | malformed 1 real line 1"}}},
    {"1.5 12345678901234567890x\n", {{"rr", "1.5 ? | malformed 2 real line 1"}}},
    {"1inf\n", {{"r", "? | malformed 1 real line 1"}}},
    {"-+inf\n", {{"r", "? | malformed 1 real line 1"}}},
    {"0x10\n", {{"r", "? | malformed 1 real line 1"}}},
    {"1_000\n", {{"r", "? | malformed 1 real line 1"}}},
    {"'abc'\n", {{"r", "? | malformed 1 real line 1"}}},
    {"\"1\"\n", {{"r", "? | malformed 1 real line 1"}}},
    {"(1,2)\n", {{"r", "? | malformed 1 real line 1"}}},
    {"T\n", {{"r", "? | malformed 1 real line 1"}}},
    {std::string("1 \0 2\n", 6), {{"rrr", "1 ? ? | malformed 2 real line 1"}}},
    {std::string("1\0\n", 3), {{"r", "? | malformed 1 real line 1"}}},
    {std::string("\0", 1), {{"r", "? | malformed 1 real line 1"}}},
    {"1 \xc3\xa9 2\n", {{"rrr", "1 ? ? | malformed 2 real line 1"}}},
    {"1\xa0"
     "2\n",
     {{"rr", "? ? | malformed 1 real line 1"}}},
    {"\xff\n", {{"i", "? | malformed 1 integer line 1"}}},
    {"1.5 \x80\n", {{"rir", "1.5 ? ? | malformed 2 integer line 1"}}},
    // The line is where the value stands, after lines of other reads,
    // lines passed over and lines a list was spread over.
    {"t\n1 2\n\n3 x\n", {{"-", "ok"}, {"rrrr", "1 2 3 ? | malformed 4 real line 4"}}},
    {"title\n1.5\n7.0 2\n", {{"-", "ok"}, {"rir", "1.5 ? ? | malformed 2 integer line 3"}}},
    {"t\n1 2 3\n4 5 6 7\n\n\n8;\n",
     {{"-", "ok"}, {"rrr", "1 2 3 | ok"}, {"rrr", "4 5 6 | ok"}, {"rr", "? ? | malformed 1 real line 6"}}},
};

// The end of the input; the line count is how many lines the input holds,
// with or without a line feed at the end of the last one ("unended" when
// without).
const std::vector<reader_case> end_of_file_cases = {
    {"", {{"-", "eof 0"}}},
    {"", {{"rir", "? ? ? | eof 0"}}},
    {"title", {{"-", "ok"}, {"rir", "? ? ? | eof 1 unended"}}},
    {"title\n", {{"-", "ok"}, {"rir", "? ? ? | eof 1"}}},
    {"\n", {{"-", "ok"}, {"rir", "? ? ? | eof 1"}}},
    {"\n\n", {{"-", "ok"}, {"rir", "? ? ? | eof 2"}}},
    {"a\nb", {{"-", "ok"}, {"-", "ok"}, {"-", "eof 2 unended"}}},
    {"a\nb\n", {{"-", "ok"}, {"-", "ok"}, {"-", "eof 2"}}},
    // Values already filled stay filled.
    {"title\n1.5 7", {{"-", "ok"}, {"rir", "1.5 7 ? | eof 2 unended"}}},
    {"title\n1.5 7\n", {{"-", "ok"}, {"rir", "1.5 7 ? | eof 2"}}},
    {"title\n1.5\n\n\n", {{"-", "ok"}, {"rir", "1.5 ? ? | eof 4"}}},
    {"title\n1.5\n  \t", {{"-", "ok"}, {"rir", "1.5 ? ? | eof 3 unended"}}},
    {"t\n1,\n", {{"-", "ok"}, {"rrr", "1 ? ? | eof 2"}}},
    {"t\n1 ,,", {{"-", "ok"}, {"rrr", "1 ? ? | eof 2 unended"}}},
    {"t\n2*", {{"-", "ok"}, {"rrr", "? ? ? | eof 2 unended"}}},
    {"t\n1 2 3\n", {{"-", "ok"}, {"rrr", "1 2 3 | ok"}, {"rrr", "? ? ? | eof 2"}}},
    {"t\n1 2 3", {{"-", "ok"}, {"rrr", "1 2 3 | ok"}, {"rrr", "? ? ? | eof 2 unended"}}},
    // The end of the input ends a value as a blank does.
    {"t\n1 2 3.5", {{"-", "ok"}, {"rrr", "1 2 3.5 | ok"}}},
    {"t\n1 2 -", {{"-", "ok"}, {"rrr", "1 2 ? | malformed 3 real line 2"}}},
    {"t\n1 2 1e", {{"-", "ok"}, {"rrr", "1 2 ? | malformed 3 real line 2"}}},
    {"t\n1 2 3*", {{"-", "ok"}, {"rrrrrr", "1 2 ? ? ? ? | eof 2 unended"}}},
    {"t\n1 2 inf", {{"-", "ok"}, {"rrr", "1 2 inf | ok"}}},
};

const std::vector<const std::vector<reader_case>*> all_tables = {
    &separator_cases, &line_end_cases, &rest_of_line_cases, &slash_cases,     &null_cases,
    &repeat_cases,    &real_cases,     &integer_cases,      &malformed_cases, &end_of_file_cases};

TEST(Reader, Separators) { check(separator_cases); }
TEST(Reader, LineEnds) { check(line_end_cases); }
TEST(Reader, RestOfLineDiscarded) { check(rest_of_line_cases); }
TEST(Reader, Slash) { check(slash_cases); }
TEST(Reader, NullValues) { check(null_cases); }
TEST(Reader, Repeats) { check(repeat_cases); }
TEST(Reader, Reals) { check(real_cases); }
TEST(Reader, Integers) { check(integer_cases); }
TEST(Reader, MalformedValues) { check(malformed_cases); }
TEST(Reader, EndOfFile) { check(end_of_file_cases); }

// The reference reader that the fuzz target holds the reader to reads every
// table as the reader must, malformed values' texts and their lines' values
// included.
TEST(ReferenceReader, ReadsEveryTable) {
    for (const auto* table : all_tables) {
        for (const reader_case& c : *table) {
            testing_support::reference_reader reference(c.input);
            memory_source src(c.input, chunks::of(whole));
            std::string text, reference_text;
            std::int64_t values = 0, reference_values = 0;
            EXPECT_EQ(run_with(c, reference, &reference_text, &reference_values), expected(c)) << escape(c.input);
            run(c, src, &text, &values);
            EXPECT_EQ(reference_text, text) << escape(c.input);
            EXPECT_EQ(reference_values, values) << escape(c.input);
        }
    }
}

// The text of the malformed value that ends the reads: the value up to its
// end, a repeat count included, cut after text_size bytes and one more; and
// how many values its line holds, wherever the buffer cut the line.
TEST(Reader, MalformedValueText) {
    using namespace std::string_literals;
    const std::string long_value = std::string(39, '9') + "xy" + std::string(5000, '9');
    struct {
        std::string input;
        std::vector<std::string> reads;  // the item kinds of each read
        std::string text;
        std::int64_t values;
    } cases[] = {
        {"1 2 84O.40 4\n", {"rrrr"}, "84O.40", 4},
        {"1.5 5.0 2\n", {"rir"}, "5.0", 3},
        {"1.5 2*1.5\n", {"rii"}, "2*1.5", 2},
        {"0*5,1\n", {"rr"}, "0*5", 2},
        {"2*x/\n", {"rr"}, "2*x", 1},
        {"1x\t2\n", {"rr"}, "1x", 2},
        {"1 2 -", {"rrr"}, "-", 3},
        {"\0\0 1\n"s, {"r"}, "\0\0"s, 2},
        // After values the general scan took, in the same read or earlier.
        {"2*7 1*3 nan(1)\n", {"rrrr"}, "nan(1)", 3},
        {"1e400 3*\n1 2*\nq\n", {"rrrr", "rrr", "r"}, "q", 1},
        {"1 " + long_value.substr(0, 40) + "\n", {"rr"}, long_value.substr(0, 40), 2},
        {"1 " + long_value.substr(0, 41) + "\n", {"rr"}, long_value.substr(0, 41), 2},
        {"1 " + long_value + "\n", {"rr"}, long_value.substr(0, 41), 2},
        // Longer than the reader's buffer.
        {"1 " + std::string(std::size_t{1} << 19, '7') + "x 5\n", {"rr"}, std::string(41, '7'), 3},
        // A row where a header is read; the line is counted whole, not as
        // far as the read went, and only the line the value stands on.
        {"t\n 10.0 194.20 288.085 1.31e-02 84.40 -0.700 -1.5e-04\r\n", {"-", "rir"}, "194.20", 7},
        {"1 2 3\n4 x,6 , 7 8 9 10\n5\n", {"rrr", "rrr"}, "x", 7},
        {"1.5\n2.5 3 4\n", {"rir"}, "2.5", 3},
        // A header's row count of 100,000 digits.
        {" 1.0 " + std::string(100000, '1') + " 1.0\n", {"rir"}, std::string(41, '1'), 3},
    };
    static_assert(textio::reader::text_size == 40);
    for (const auto& c : cases) {
        reader_case rc{c.input, {}};
        for (const std::string& kinds : c.reads) rc.steps.push_back({kinds, ""});
        for (const std::size_t chunk : {whole, std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{4093}}) {
            memory_source src(c.input, chunks::of(chunk));
            std::string text;
            std::int64_t values = 0;
            const std::vector<std::string> got = run(rc, src, &text, &values);
            const std::string where = "input \"" + escape(c.input) + "\", " + std::to_string(chunk) + " bytes per read";
            ASSERT_EQ(got.size(), c.reads.size()) << where;
            EXPECT_NE(got.back().find("malformed"), std::string::npos) << where << ": " << got.back();
            EXPECT_EQ(escape(text), escape(c.text)) << where;
            EXPECT_EQ(values, c.values) << where;
        }
    }
}

TEST(Reader, ReadErrorReportsErrnoAndLine) {
    const std::string input = "title\n1.5 7 2.5\n3";
    {
        memory_source src(input, chunks::of(whole), 0, EISDIR);
        textio::reader rd(src);
        EXPECT_EQ(describe(rd.skip_line()), "error " + std::to_string(EISDIR) + " line 1");
    }
    {
        memory_source src(input, chunks::of(2), 10, EIO);  // fails after "1.5 "
        textio::reader rd(src);
        float a = real_unset, c = real_unset;
        std::int32_t b = integer_unset;
        const item items[] = {item::real(a), item::integer(b), item::real(c)};
        ASSERT_TRUE(rd.skip_line());
        EXPECT_EQ(describe(rd.read_list(items)), "error " + std::to_string(EIO) + " line 2");
        EXPECT_EQ(a, 1.5f);
        EXPECT_EQ(b, integer_unset);
        // The failure stays: nothing more is read.
        EXPECT_EQ(describe(rd.read_list(items)), "error " + std::to_string(EIO) + " line 2");
        EXPECT_EQ(describe(rd.skip_line()), "error " + std::to_string(EIO) + " line 2");
    }
}

// A source that fails after any number of bytes: every read before the
// failure gives what it gives on the whole input, and the read that meets it
// reports the errno and the line the failure fell on. A cut past what the
// reads need shows nothing; a case where no cut reached a read (a source
// that never fails) fails.
TEST(Reader, ReadErrorAtEveryByte) {
    for (const auto* table : all_tables) {
        for (const reader_case& c : *table) {
            memory_source full_src(c.input, chunks::of(whole));
            const std::vector<std::string> full = run(c, full_src);
            std::size_t reported = 0;
            for (std::size_t cut = 0; cut < c.input.size(); ++cut) {
                for (const std::size_t chunk : {whole, std::size_t{1}}) {
                    memory_source src(c.input, chunks::of(chunk), cut, ENOSPC);
                    const std::vector<std::string> got = run(c, src);
                    const std::string where =
                        "input \"" + escape(c.input) + "\" failing after " + std::to_string(cut) + " bytes";
                    ASSERT_LE(got.size(), full.size()) << where;
                    std::size_t k = 0;
                    while (k < got.size() && got[k] == full[k]) ++k;
                    if (k == got.size()) continue;  // the failure came after what these reads need
                    ASSERT_EQ(k + 1, got.size()) << where;
                    const std::int64_t line = 1 + std::count(c.input.data(), c.input.data() + cut, '\n');
                    const std::size_t bar = got[k].find("| ");
                    const std::string status = bar == std::string::npos ? got[k] : got[k].substr(bar + 2);
                    EXPECT_EQ(status, "error " + std::to_string(ENOSPC) + " line " + std::to_string(line)) << where;
                    ++reported;
                }
            }
            if (!c.input.empty()) {
                EXPECT_GT(reported, 0u) << "no cut of \"" << escape(c.input) << "\" reached a read";
            }
        }
    }
}

// Rows whose values change form at random, then rows whose forms stay, and
// so on: the reader changes scans as it goes, and every value reads as strtof
// reads it, whichever scan took it and wherever the buffer was cut.
TEST(Reader, ScansChosenAsFormsChange) {
    std::mt19937_64 rng(17);
    std::string text;
    std::vector<float> expect;
    char value[48];
    for (int part = 0; part < 4; ++part) {
        const bool random_forms = part % 2 == 0;
        for (int row = 0; row < 1500; ++row) {
            for (int col = 0; col < 7; ++col) {
                if (random_forms) {
                    const double m = std::pow(10.0, std::uniform_real_distribution<double>(-46, 39)(rng));
                    std::snprintf(value, sizeof value, rng() % 3 == 0 ? "%.*f" : "%.*g", static_cast<int>(rng() % 10),
                                  rng() % 2 == 0 ? -m : m);
                    if (std::strlen(value) > 40) std::snprintf(value, sizeof value, "%.3e", m);
                } else {
                    std::snprintf(value, sizeof value, "%.4f",
                                  1000.0 * col + std::uniform_real_distribution<double>(0, 1)(rng));
                }
                text += ' ';
                text += value;
                expect.push_back(std::strtof(value, nullptr));
            }
            text += '\n';
        }
    }
    for (const std::size_t chunk : {whole, std::size_t{7}}) {
        memory_source src(text, chunks::of(chunk));
        textio::reader rd(src);
        float row[7];
        std::vector<item> items;
        for (float& v : row) items.push_back(item::real(v));
        int failures = 0;
        for (std::size_t k = 0; k < expect.size() && failures < 10; k += 7) {
            ASSERT_TRUE(rd.read_list(items)) << "row " << k / 7;
            for (std::size_t j = 0; j < 7; ++j)
                if (bits(row[j]) != bits(expect[k + j]) && ++failures)
                    ADD_FAILURE() << "row " << k / 7 << " item " << j + 1 << ": " << show(row[j]) << ", expected "
                                  << show(expect[k + j]) << (chunk == whole ? "" : ", in chunks");
        }
    }
}

// The index by masks is the index byte by byte: over the input of every
// table from every offset, after a byte of either kind, and over random
// bytes of the classes that matter; what lies past the end decides nothing.
TEST(Index, SameEveryWay) {
    std::mt19937_64 rng(23);
    const auto same = [&rng](std::string_view text, std::uint32_t from, bool value_before) {
        std::string buf(text);
        for (std::size_t k = 0; k < textio::index_overread; ++k) buf += static_cast<char>(rng() % 2 ? ',' : 'x');
        const auto to = static_cast<std::uint32_t>(text.size());
        std::vector<std::uint32_t> a(to - from + 1), b(a.size());
        bool after_a = value_before, after_b = value_before;
        a.resize(textio::index_bytes(buf.data(), from, to, after_a, a.data()));
        b.resize(textio::index_bytes_plainly(buf.data(), from, to, after_b, b.data()));
        EXPECT_TRUE(a == b && after_a == after_b) << escape(text) << " from " << from;
    };
    for (const auto* table : all_tables)
        for (const reader_case& c : *table)
            for (std::uint32_t from = 0; from <= c.input.size(); ++from)
                for (const bool value_before : {false, true}) same(c.input, from, value_before);
    const std::string usual = "0123456789.+-eE ,/\t\r\n\v*";
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text.resize(rng() % 300);
        for (char& c : text) c = rng() % 8 == 0 ? static_cast<char>(rng()) : usual[rng() % usual.size()];
        same(text, static_cast<std::uint32_t>(rng() % (text.size() + 1)), rng() % 2 == 0);
    }
}

// A mantissa reads the same sixteen bytes at a time as by words, from
// every offset of every table's input and of random digits and points.
TEST(Mantissa, SameEveryWay) {
    std::mt19937_64 rng(29);
    const auto same = [](std::string text, std::size_t from) {
        text.append(32, 'x');
        const textio::mantissa a = textio::scan_mantissa(text.data() + from);
        const textio::mantissa b = textio::scan_mantissa_plainly(text.data() + from);
        EXPECT_TRUE(a.w == b.w && a.scale == b.scale && a.before == b.before && a.after == b.after && a.end == b.end &&
                    a.point == b.point && a.inexact == b.inexact)
            << escape(text) << " from " << from;
    };
    for (const auto* table : all_tables)
        for (const reader_case& c : *table)
            for (std::size_t from = 0; from < c.input.size(); ++from) same(c.input, from);
    const std::string usual = "0123456789000.. e-";
    std::string text;
    for (int i = 0; i < 100000; ++i) {
        text.resize(1 + rng() % 24);
        for (char& c : text) c = usual[rng() % usual.size()];
        same(text, 0);
    }
}

TEST(Reader, EndOfFileStays) {
    memory_source src("t\n1 2", chunks::of(whole));
    textio::reader rd(src);
    float v[3];
    const item items[] = {item::real(v[0]), item::real(v[1]), item::real(v[2])};
    ASSERT_TRUE(rd.skip_line());
    EXPECT_EQ(describe(rd.read_list(items)), "eof 2 unended");
    EXPECT_EQ(describe(rd.read_list(items)), "eof 2 unended");
    EXPECT_EQ(describe(rd.skip_line()), "eof 2 unended");
}

// Lines of several megabytes, far beyond the reader's buffer, and numbers of
// 100,000 digits: read through buffer refills of every size.
TEST(Reader, VeryLongLines) {
    const std::size_t mb = std::size_t{1} << 20;
    const std::string blanks(3 * mb + 17, ' ');
    std::vector<reader_case> cases = {
        {std::string(5 * mb, 'x') + "\n1 2 3\n", {{"-", "ok"}, {"rrr", "1 2 3 | ok"}, {"-", "eof 2"}}},
        {"1" + blanks + "2\t" + blanks + ",3" + blanks + "\n4\n", {{"rrr", "1 2 3 | ok"}, {"r", "4 | ok"}}},
        {"1 2 3 " + std::string(5 * mb, ';') + "\n4\n", {{"rrr", "1 2 3 | ok"}, {"r", "4 | ok"}}},
        {std::string(2 * mb, '\n') + "4", {{"r", "4 | ok"}, {"r", "? | eof 2097153 unended"}}},
        {"1" + blanks + "2" + blanks + "x\n", {{"rrr", "1 2 ? | malformed 3 real line 1"}}},
        {blanks + "1 2", {{"rrr", "1 2 ? | eof 1 unended"}}},
    };
    check(cases, {whole, 1, 4093});
}

// Numbers of 100,000 digits and more, read through refills of every size.
// How the digits past those a decimal keeps round is the decimal test's
// (Decimal.DigitsPastTheKeptOnes).
TEST(Reader, HundredThousandDigits) {
    using namespace std::string_literals;
    const std::string z(100000, '0'), ones(100000, '1');
    std::vector<reader_case> cases = {
        {"0."s + z + "1\n", {{"r", "0 | ok"}}},
        {"1"s + z + "\n", {{"r", "inf | ok"}}},
        {"-1"s + z + ".\n", {{"r", "-inf | ok"}}},
        {"0."s + z.substr(1) + "15e100001\n", {{"r", "15 | ok"}}},
        {"1"s + z.substr(1) + "e-99999\n", {{"r", "1 | ok"}}},
        {"."s + z + "25+100001 " + z + "3\n", {{"rr", "2.5 3 | ok"}}},
        {"1."s + z + "1\n", {{"r", "1 | ok"}}},
        // A far digit that tells a tie from a value above it outlives the
        // refills before it, whatever the reads bring.
        {"16777217."s + z + "1\n", {{"r", "16777218 | ok"}}},
        {ones + "e-100002\n", {{"r", "0.0011111111 | ok"}}},
        // An exponent of 100,000 digits.
        {"7e"s + ones + "\n", {{"r", "inf | ok"}}},
        {z + "7 1" + z + "\n", {{"ii", "7 ? | malformed 2 integer line 1 out of range"}}},
        {"-"s + z + "2147483648\n", {{"i", "-2147483648 | ok"}}},
    };
    // Longer than the reader's buffer: read in pieces, the text of a
    // malformed one from its first bytes.
    const std::string m(std::size_t{1} << 20, '0');
    cases.push_back({"0."s + m + "15e1048577 " + m + "7 2*" + m + "5\n", {{"rirr", "1.5 7 5 5 | ok"}}});
    cases.push_back({"-"s + m + "2147483648," + m + "x\n", {{"ii", "-2147483648 ? | malformed 2 integer line 1"}}});
    cases.push_back(
        {"t\n1"s + m + "e-1048576\t" + std::string(std::size_t{1} << 20, '9'), {{"-", "ok"}, {"rr", "1 inf | ok"}}});
    check(cases, {whole, 1, 7});
}

}  // namespace
