// The block loop over input and output held in memory, and how the output
// file is emptied.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/convert.h"
#include "app/diagnostics.h"
#include "app/files.h"
#include "memory_stream.h"

namespace {

using testing_support::memory_sink;
using testing_support::memory_source;

TEST(Convert, UnreadValuesAreZeroAndLaterHeadersKeepOmittedOnes) {
    // The first header omits ref_value; its row ends early at a slash; the
    // second header takes lead_value and ref_value from the first by nulls.
    memory_source in("t\n 2.5 1 /\n 1 2 3 4 /\n , 1 ,,\n 0 0 0 0 0 0 0\n", 0);
    memory_sink out;
    const app::outcome o = app::convert(in, out);
    EXPECT_EQ(o.blocks, 2);
    EXPECT_EQ(o.end.what, app::failure::kind::end_of_file);
    EXPECT_EQ(o.end.statement, app::read_header);
    EXPECT_FALSE(o.lost);
    // Row 1: c2 = 2, ref_value 0: an infinite ratio; c5, c6, c7 are zero.
    const std::string row1 =
        "    2.000000000  -0.00000E+000    0.000000000    0.000000000       Infinity   4.00000E+003\n";
    const std::string row2 =
        "    0.000000000  -0.00000E+000    0.000000000    0.000000000            NaN   0.00000E+000\n";
    EXPECT_EQ(out.data, "001     001             2.50000          0.000          0.000\n" + row1 +
                            "002     001             2.50000          0.000          0.000\n" + row2);
}

TEST(Convert, WriteFailureNamesTheKindOfLineLost) {
    const std::string block = " 1.0 1 2.0\n 1 2 3 4 5 6 7\n";
    // Room for the first block and the second header line only: the first
    // block goes out at once, the second block's data line is lost at the end.
    {
        const std::string input = "t\n" + block + block;
        memory_source in(input, 0);
        memory_sink out({}, 62 + 91 + 62);
        const app::outcome o = app::convert(in, out);
        EXPECT_EQ(o.end.what, app::failure::kind::end_of_file);
        ASSERT_TRUE(o.lost);
        EXPECT_EQ(o.lost->statement, app::write_data);
        EXPECT_EQ(o.lost->error, ENOSPC);
        EXPECT_EQ(out.data.size(), 62 + 91u);  // cut back: the second block did not arrive whole
        EXPECT_EQ(app::exit_status(o), 2);
        EXPECT_EQ(app::describe(*o.lost),
                  "lsf2ascii: statement 66, unit 20, file FORCINGS_ASCII_lsf\n"
                  "write failed: No space left on device; FORCINGS_ASCII_lsf holds 1 complete block\n");
    }
    // No room at all: the first header line fails at once.
    {
        const std::string input = "t\n" + block + block;
        memory_source in(input, 0);
        memory_sink out({}, 0);
        const app::outcome o = app::convert(in, out);
        EXPECT_EQ(o.end.what, app::failure::kind::write_error);
        EXPECT_EQ(o.end.statement, app::write_header);
        EXPECT_FALSE(o.lost);
        EXPECT_EQ(o.blocks, 1);
    }
}

TEST(Convert, PendingLinesReachTheOutputOnEveryEnd) {
    const std::string block = " 1.0 0 2.0\n";
    const std::string lines =
        "001     000             1.00000          2.000          0.000\n\n"
        "002     000             1.00000          2.000          0.000\n\n";
    for (const char* tail : {"", " 1.0 x", " 1.0 1 2.0\n 1 2 q", " 1.0 2147483647 2.0\n"}) {
        SCOPED_TRACE(tail);
        const std::string input = "t\n" + block + block + tail;
        memory_source in(input, 0);
        memory_sink out;
        const app::outcome o = app::convert(in, out);
        EXPECT_EQ(out.data, lines);
        EXPECT_FALSE(o.lost);
    }
}

TEST(OutputFile, EmptiedOnlyWhenItHoldsSomething) {
    // An old modification time shows whether the file was truncated.
    std::string path = (std::filesystem::temp_directory_path() / "lsf2ascii-output-XXXXXX").string();
    const int fd = ::mkstemp(path.data());
    ASSERT_GE(fd, 0);
    const timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const std::string contents : {"", "an older file\n"}) {
        SCOPED_TRACE(contents.empty() ? "empty" : "with contents");
        ASSERT_EQ(::ftruncate(fd, 0), 0);
        ASSERT_EQ(::pwrite(fd, contents.data(), contents.size(), 0), static_cast<ssize_t>(contents.size()));
        ASSERT_EQ(::futimens(fd, old_times), 0);
        app::file f;
        ASSERT_EQ(f.open(path.c_str(), false), 0);
        EXPECT_EQ(f.truncate(0), 0);
        struct stat st;
        ASSERT_EQ(::fstat(fd, &st), 0);
        EXPECT_EQ(st.st_size, 0);
        EXPECT_EQ(st.st_mtim.tv_sec == old_times[1].tv_sec, contents.empty());
    }
    ::close(fd);
    ::unlink(path.c_str());
}

TEST(Diagnostics, StatusAndText) {
    app::failure f;
    f.what = app::failure::kind::no_memory;
    f.error = ENOMEM;
    app::outcome o;
    o.end = f;
    EXPECT_EQ(app::exit_status(o), 1);
    EXPECT_EQ(app::describe(f), "lsf2ascii: Cannot allocate memory\nAllocation would exceed memory limit\n");
    f = {};
    f.what = app::failure::kind::read_error;
    f.statement = app::read_row;
    f.error = EIO;
    f.line = 7;
    o.end = f;
    EXPECT_EQ(app::exit_status(o), 2);
    EXPECT_EQ(app::describe(f),
              "lsf2ascii: statement 21, unit 10, file lsf\nread failed in input line 7: Input/output error\n");
}

// A failed cut-back is not reported as whole blocks; the largest count fits.
TEST(Diagnostics, WriteFailureWhoseCutBackFailed) {
    app::failure f;
    f.what = app::failure::kind::write_error;
    f.statement = app::write_data;
    f.error = ENOSPC;
    f.kept = {true, 900, 18446744073709551615u};
    f.cut_error = EIO;
    EXPECT_EQ(app::describe(f),
              "lsf2ascii: statement 66, unit 20, file FORCINGS_ASCII_lsf\n"
              "write failed: No space left on device; FORCINGS_ASCII_lsf could not be cut back "
              "to 18446744073709551615 complete blocks: Input/output error\n");
}

}  // namespace
