// The output lines and the buffered writer, against a memory sink that
// records every call and can run out of room at a given byte, as a full
// disk does partway through a write.
#include "textio/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "memory_stream.h"
#include "support.h"

namespace {

using textio::line_kind;
using textio::write_result;

using testing_support::memory_sink;

std::string header_line(std::int32_t count, std::int32_t nrows, float lead, float ref) {
    char buf[textio::header_line_length + 1];
    return std::string(buf, textio::format_header_line(buf, count, nrows, lead, ref));
}

std::string data_line(const float* row) {
    char buf[textio::data_line_length + 1];
    return std::string(buf, textio::format_data_line(buf, row));
}

// Distinct, ordinary values for row i.
std::vector<float> rows_of(std::int32_t nrows, int seed) {
    std::vector<float> v;
    for (std::int32_t i = 0; i < std::max(nrows, 0); ++i)
        for (int c = 0; c < textio::data_columns; ++c)
            v.push_back(static_cast<float>(seed) + static_cast<float>(i) * 0.25f + static_cast<float>(c) * 1e-3f);
    return v;
}

struct block {
    std::int32_t nrows;
    std::vector<float> varso;
};

// The bytes a run writes for these blocks, where each block starts, and
// where each line starts together with its kind.
struct expected_output {
    std::string text;
    std::vector<std::size_t> block_starts;
    std::vector<std::pair<std::size_t, line_kind>> lines;
};

expected_output expect(const std::vector<block>& blocks) {
    expected_output e;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const block& k = blocks[b];
        e.block_starts.push_back(e.text.size());
        e.lines.push_back({e.text.size(), line_kind::header});
        e.text += header_line(static_cast<std::int32_t>(b + 1), k.nrows, 1.5f, 1000.0f);
        if (k.nrows <= 0) {
            e.lines.push_back({e.text.size(), line_kind::data});
            e.text += "\n";
        }
        for (std::int32_t i = 0; i < k.nrows; ++i) {
            e.lines.push_back({e.text.size(), line_kind::data});
            e.text += data_line(k.varso.data() + textio::data_columns * static_cast<std::size_t>(i));
        }
    }
    return e;
}

// Every change came between begin_change and end_change, and each
// checkpoint names the last block boundary the sink then held.
void expect_checkpoints(const memory_sink& s, const expected_output& e) {
    EXPECT_FALSE(s.unguarded);
    EXPECT_FALSE(s.changing);
    for (const auto& [c, size] : s.checkpoints) {
        if (!c.touched) continue;
        const auto next = std::upper_bound(e.block_starts.begin(), e.block_starts.end(), size);
        const std::size_t blocks = static_cast<std::size_t>(next - e.block_starts.begin()) - 1;
        const bool at_end = size == e.text.size();
        EXPECT_EQ(c.blocks, at_end ? e.block_starts.size() : blocks) << "sink size " << size;
        EXPECT_EQ(c.size, at_end ? size : e.block_starts[blocks]) << "sink size " << size;
    }
}

// Writes the blocks the way the block loop does: header, then data lines,
// stopping at the first failure; a run that never failed ends with a flush.
write_result run(textio::writer& w, const std::vector<block>& blocks) {
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        if (write_result r = w.write_header_line(static_cast<std::int32_t>(b + 1), blocks[b].nrows, 1.5f, 1000.0f); !r)
            return r;
        if (write_result r = w.write_data_lines(blocks[b].varso.data(), blocks[b].nrows); !r) return r;
    }
    return w.flush();
}

TEST(Lines, HeaderLine) {
    char buf[80];
    EXPECT_EQ(textio::format_header_line(buf, 1, 2, 0.0f, 1000.0f), buf + 62);
    EXPECT_EQ(header_line(1, 2, 0.0f, 1000.0f), "001     002             0.00000       1000.000          0.000\n");
    EXPECT_EQ(header_line(999, 0, -12.5f, -0.0f), "999     000           -12.50000         -0.000          0.000\n");
    EXPECT_EQ(header_line(1000, -3, 1e9f, 1e11f), "***     ***     ***************99999997952.000          0.000\n");
}

TEST(Lines, DataLine) {
    const float row[] = {2.0f, -0.08232f, 5.0f, 6.0f, 669.667f, 4000.0f};
    char buf[100];
    EXPECT_EQ(textio::format_data_line(buf, row), buf + 91);
    EXPECT_EQ(data_line(row), testing_support::row_line);
    const float inf = std::numeric_limits<float>::infinity();
    const float odd[] = {1e5f, -0.0f, -1e4f, std::nanf(""), inf, -inf};
    EXPECT_EQ(data_line(odd),
              "***************  -0.00000E+000***************            NaN       Infinity      -Infinity\n");
}

TEST(Writer, FirstBlockReplacesWhatTheSinkHeldAtOnce) {
    memory_sink s;
    s.data = "an older, longer file\nwith two lines\n";
    textio::writer w(s);
    const std::vector<float> v = rows_of(3, 7);
    ASSERT_TRUE(w.write_header_line(1, 3, 1.5f, 1000.0f));
    EXPECT_TRUE(s.events.empty());
    ASSERT_TRUE(w.write_data_lines(v.data(), 3));
    EXPECT_EQ(s.events, (std::vector<memory_sink::event>{{true, 0}, {false, 62 + 3 * 91}}));
    EXPECT_EQ(s.data, expect({{3, v}}).text);
    EXPECT_EQ(s.checkpoints.back().first, (textio::checkpoint{true, 62 + 3 * 91, 1}));
}

TEST(Writer, LaterLinesWaitForFlush) {
    memory_sink s;
    textio::writer w(s);
    const std::vector<float> v = rows_of(3, 7);
    ASSERT_TRUE(w.write_header_line(1, 3, 1.5f, 1000.0f));
    ASSERT_TRUE(w.write_data_lines(v.data(), 3));
    ASSERT_TRUE(w.write_header_line(2, 0, 1.5f, 1000.0f));
    ASSERT_TRUE(w.write_data_lines(nullptr, 0));
    EXPECT_EQ(s.writes(), 1u);
    EXPECT_EQ(s.data.size(), 62 + 3 * 91u);

    ASSERT_TRUE(w.flush());
    EXPECT_EQ(s.writes(), 2u);
    EXPECT_EQ(s.data, expect({{3, v}, {0, {}}}).text);
    ASSERT_TRUE(w.flush());  // nothing pending, nothing sent
    EXPECT_EQ(s.writes(), 2u);
    EXPECT_EQ(s.events.front(), (memory_sink::event{true, 0}));
    EXPECT_EQ(std::count_if(s.events.begin(), s.events.end(), [](const auto& e) { return e.truncate; }), 1);
}

TEST(Writer, NoRowsOrNegativeRowsGiveOneEmptyLine) {
    for (std::int32_t nrows : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
        SCOPED_TRACE(nrows);
        memory_sink s;
        textio::writer w(s);
        ASSERT_TRUE(w.write_header_line(1, nrows, 1.5f, 1000.0f));
        ASSERT_TRUE(w.write_data_lines(nullptr, nrows));
        ASSERT_TRUE(w.flush());
        EXPECT_EQ(s.data, header_line(1, nrows, 1.5f, 1000.0f) + "\n");
        EXPECT_EQ(s.data.substr(8, 3), nrows == 0 ? "000" : "***");
    }
}

TEST(Writer, NoLineLeavesTheSinkUntouched) {
    memory_sink s;
    s.data = "kept\n";
    textio::writer w(s);
    ASSERT_TRUE(w.flush());
    EXPECT_TRUE(s.events.empty());
    EXPECT_EQ(s.data, "kept\n");
}

TEST(Writer, ManyLinesGoOutInLargeChunksOfWholeBlocks) {
    std::vector<block> blocks;
    for (int b = 0; b < 40; ++b) {
        // Block 20 is larger than the buffer.
        const std::int32_t nrows = b % 7 == 3 ? 0 : b == 20 ? 6000 : 997 + b;
        blocks.push_back({nrows, rows_of(nrows, b)});
    }
    const expected_output e = expect(blocks);
    memory_sink s;
    textio::writer w(s);
    ASSERT_TRUE(run(w, blocks));
    EXPECT_EQ(s.data.size(), e.text.size());
    EXPECT_TRUE(s.data == e.text);

    // The first write is the first block. Every write ends where a block
    // ends, but inside the block larger than the buffer, which goes out in
    // whole lines that fill the buffer but for less than a line.
    const std::size_t big_start = e.block_starts[20], big_end = e.block_starts[21];
    std::vector<std::uint64_t> sizes;
    std::size_t end = 0;
    for (const auto& ev : s.events) {
        if (ev.truncate) continue;
        sizes.push_back(ev.n);
        end += ev.n;
        EXPECT_LE(ev.n, textio::writer::buffer_size);
        if (end > big_start && end < big_end) {
            EXPECT_EQ(e.text[end - 1], '\n') << "write ending at " << end;
            EXPECT_GT(ev.n, textio::writer::buffer_size - (textio::data_line_length + 1));
        } else {
            EXPECT_TRUE(std::binary_search(e.block_starts.begin(), e.block_starts.end(), end) || end == e.text.size())
                << "write ending at " << end;
        }
    }
    ASSERT_GE(sizes.size(), 3u);
    EXPECT_EQ(sizes.front(), e.block_starts[1]);
    EXPECT_LE(sizes.size(), 2 + e.text.size() / (textio::writer::buffer_size / 2));
    expect_checkpoints(s, e);
}

TEST(Writer, FirstWriteFailingIsAHeaderFailureAtTheFirstBlock) {
    for (std::uint64_t capacity : {0u, 1u, 30u, 61u}) {
        SCOPED_TRACE(capacity);
        memory_sink s;
        s.data = "old\n";
        s.room = capacity;
        s.write_error = EIO;
        textio::writer w(s);
        const std::vector<float> v = rows_of(2, 1);
        ASSERT_TRUE(w.write_header_line(1, 2, 1.5f, 1000.0f));
        const write_result r = w.write_data_lines(v.data(), 2);
        EXPECT_EQ(r.error, EIO);
        EXPECT_EQ(r.lost, line_kind::header);
        EXPECT_EQ(r.kept, (textio::checkpoint{true, 0, 0}));
        EXPECT_EQ(r.cut_error, 0);
        EXPECT_EQ(s.data, "");
        EXPECT_EQ(s.events.back(), (memory_sink::event{true, 0}));

        // Failed for good: the same answer, and nothing more reaches the sink.
        const std::size_t calls = s.events.size();
        for (const write_result& again :
             {w.write_data_lines(v.data(), 2), w.write_header_line(2, 1, 0, 0), w.flush()}) {
            EXPECT_EQ(again.error, EIO);
            EXPECT_EQ(again.lost, line_kind::header);
        }
        EXPECT_EQ(s.events.size(), calls);
    }
}

TEST(Writer, SinkThatCannotBeEmptiedIsAHeaderFailure) {
    memory_sink s;
    s.data = "read only\n";
    s.truncate_error = EBADF;
    textio::writer w(s);
    const std::vector<float> v = rows_of(2, 1);
    ASSERT_TRUE(w.write_header_line(1, 2, 1.5f, 1000.0f));
    const write_result r = w.write_data_lines(v.data(), 2);
    EXPECT_EQ(r.error, EBADF);
    EXPECT_EQ(r.lost, line_kind::header);
    EXPECT_FALSE(r.kept.touched);  // left as it was, not cut
    EXPECT_EQ(s.events, (std::vector<memory_sink::event>{{true, 0}}));
    EXPECT_EQ(s.data, "read only\n");
}

// A sink that runs out of room at every interesting byte: the run reports
// the sink's errno and the kind of the first line that did not arrive whole,
// and the sink is cut back to the start of that line's block, so that it
// holds whole blocks only.
TEST(Writer, FailurePartwayKeepsOnlyCompleteBlocks) {
    std::vector<block> blocks;
    int seed = 0;
    for (std::int32_t nrows : {3, 0, 1, -2, 2000, 5, 4000, 1, 0, 2900, 7, 1})
        blocks.push_back({nrows, rows_of(nrows, ++seed)});
    const expected_output e = expect(blocks);
    ASSERT_GT(e.text.size(), 3 * textio::writer::buffer_size);

    std::vector<std::uint64_t> offsets = {0, 1, 61, 62, 63, 100, e.text.size() - 1, e.text.size(), e.text.size() + 1};
    for (std::size_t start : e.block_starts)
        for (std::size_t d = 0; d <= 4; ++d) offsets.push_back(start + d - 2);
    for (std::size_t i = 0; i < 40 && i < e.lines.size(); ++i) offsets.push_back(e.lines[i].first + 1);
    // Around the end of each write of a run that does not fail.
    {
        memory_sink whole;
        textio::writer w(whole);
        ASSERT_TRUE(run(w, blocks));
        std::uint64_t end = 0;
        for (const auto& ev : whole.events) {
            if (ev.truncate) continue;
            end += ev.n;
            for (std::uint64_t d = 0; d <= 400; d += 40) offsets.push_back(end + d - 200);
        }
    }
    std::uint64_t r = 12345;
    for (int i = 0; i < 60; ++i) {
        r = r * 6364136223846793005ull + 1442695040888963407ull;
        offsets.push_back((r >> 20) % e.text.size());
    }

    for (std::uint64_t capacity : offsets) {
        SCOPED_TRACE(capacity);
        memory_sink s;
        s.room = capacity;
        textio::writer w(s);
        const write_result result = run(w, blocks);
        if (capacity >= e.text.size()) {
            EXPECT_TRUE(result);
            EXPECT_TRUE(s.data == e.text);
            continue;
        }
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error, ENOSPC);

        // The line holding byte `capacity` is the first one lost.
        const auto line = std::prev(std::upper_bound(
            e.lines.begin(), e.lines.end(), std::make_pair(static_cast<std::size_t>(capacity), line_kind::data)));
        EXPECT_EQ(result.lost, line->second);
        const std::size_t keep = *std::prev(std::upper_bound(e.block_starts.begin(), e.block_starts.end(), capacity));
        EXPECT_EQ(s.data.size(), keep);
        EXPECT_TRUE(s.data == e.text.substr(0, keep));  // no diff of megabytes
        EXPECT_EQ(s.events.back(), (memory_sink::event{true, keep}));
        const std::size_t kept_blocks = static_cast<std::size_t>(
            std::find(e.block_starts.begin(), e.block_starts.end(), keep) - e.block_starts.begin());
        EXPECT_EQ(result.kept, (textio::checkpoint{true, keep, kept_blocks}));
        EXPECT_EQ(result.cut_error, 0);
        expect_checkpoints(s, e);

        const std::size_t calls = s.events.size();
        for (const write_result& again :
             {w.write_header_line(99, 1, 0, 0), w.write_data_lines(blocks[0].varso.data(), 1), w.flush()}) {
            EXPECT_EQ(again.error, ENOSPC);
            EXPECT_EQ(again.lost, result.lost);
        }
        EXPECT_EQ(s.events.size(), calls);

        // A cut-back that fails is reported, with the size it was for.
        memory_sink uncut;
        uncut.room = capacity;
        uncut.truncate_error = EIO;
        uncut.truncates_that_work = 1;
        textio::writer u(uncut);
        const write_result ur = run(u, blocks);
        EXPECT_EQ(ur.cut_error, EIO);
        EXPECT_EQ(ur.kept, result.kept);
        EXPECT_EQ(uncut.data.size(), capacity);
    }
}

}  // namespace
