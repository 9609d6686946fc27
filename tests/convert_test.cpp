// The block loop over input and output held in memory, and how the output
// file is emptied.
#include "app/convert.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

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
    EXPECT_EQ(o.end, app::failure(app::input_ended{5, false, 2}));
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
    const std::string input = "t\n" + block + block;
    // Room for the first block and the second header line only: the first
    // block goes out at once, the second block's data line is lost at the end.
    {
        memory_source in(input, 0);
        memory_sink out({}, 62 + 91 + 62);
        const app::outcome o = app::convert(in, out);
        EXPECT_EQ(o.end, app::failure(app::input_ended{5, false, 2}));
        EXPECT_EQ(o.lost, app::loss(app::write_failed{textio::line_kind::data, ENOSPC}));
        EXPECT_EQ(o.output, (app::output_state{{true, 62 + 91, 1}, 0}));
        EXPECT_EQ(out.data.size(), 62 + 91u);  // cut back: the second block did not arrive whole
        EXPECT_EQ(app::exit_status(o), 2);
        EXPECT_EQ(app::describe(o, {}).view(),
                  "lsf2ascii: statement 18, unit 10, file lsf\nend of file after input line 5: 2 blocks converted\n"
                  "lsf2ascii: statement 66, unit 20, file FORCINGS_ASCII_lsf\n"
                  "write failed: No space left on device; FORCINGS_ASCII_lsf holds 1 complete block\n");
    }
    // No room at all: the first header line fails at once.
    {
        memory_source in(input, 0);
        memory_sink out({}, 0);
        const app::outcome o = app::convert(in, out);
        EXPECT_EQ(o.end, app::failure(app::write_failed{textio::line_kind::header, ENOSPC}));
        EXPECT_FALSE(o.lost);
        EXPECT_EQ(o.output, (app::output_state{{true, 0, 0}, 0}));
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
        ASSERT_EQ(f.open(path.c_str(), app::run_file::output), 0);
        EXPECT_EQ(f.truncate(0), 0);
        struct stat st;
        ASSERT_EQ(::fstat(fd, &st), 0);
        EXPECT_EQ(st.st_size, 0);
        EXPECT_EQ(st.st_mtim.tv_sec == old_times[1].tv_sec, contents.empty());
    }
    ::close(fd);
    ::unlink(path.c_str());
}

// Each kind of end in words, with the exit status it gives. What the output
// holds follows a failure: for a FIFO or a device, what it was sent.
TEST(Diagnostics, EveryKindOfEnd) {
    const textio::checkpoint two{true, 500, 2}, untouched{};
    const app::opened_files regular{}, fifo{false, false, false}, created{true, true, true};
    struct {
        app::failure end;
        textio::checkpoint kept;
        app::opened_files files;
        std::string text;
        int status;
    } cases[] = {
        {app::input_empty{}, untouched, created,
         "statement 13, unit 10, file lsf\nend of file: the input is empty (lsf and FORCINGS_ASCII_lsf did not exist "
         "and have been created)\n",
         2},
        {app::input_ended{9, true, 1}, two, regular,
         "statement 18, unit 10, file lsf\nend of file after input line 9, which has no line end: 1 block converted\n",
         2},
        {app::header_cut{9, false, 3, 2}, two, fifo,
         "statement 18, unit 10, file lsf\nend of file after input line 9, inside the header of block 3: 2 of its 3 "
         "values read; FORCINGS_ASCII_lsf was sent 2 complete blocks\n",
         2},
        {app::read_failed{app::read_row, 7, EIO}, untouched, regular,
         "statement 21, unit 10, file lsf\nread failed in input line 7: Input/output error; FORCINGS_ASCII_lsf left as "
         "it was\n",
         2},
        // A header of seven values after a block: the block's rows may run on.
        {app::malformed_value{
             app::read_header, 60, 2, textio::kind::integer, app::value_text("-3000000000"), true, 7, {2, 8, 50}},
         two, regular,
         "statement 18, unit 10, file lsf\nmalformed value \"-3000000000\" in input line 60: item 2 is an integer "
         "beyond the range of a 32-bit row count (-2147483648 to 2147483647); FORCINGS_ASCII_lsf holds 2 complete "
         "blocks\ninput line 60 holds 7 values, as a row does: block 2 (header in input line 8) may have more rows "
         "than its header's nrows (50)\n",
         2},
        {app::malformed_value{
             app::read_header, 60, 2, textio::kind::integer, app::value_text("1.5"), false, -1, {2, 8, 50}},
         two, regular,
         "statement 18, unit 10, file lsf\nmalformed value \"1.5\" in input line 60: item 2 must be an integer; "
         "FORCINGS_ASCII_lsf holds 2 complete blocks\n",
         2},
        {app::read_failed{app::read_row, 7, EIO}, untouched, fifo,
         "statement 21, unit 10, file lsf\nread failed in input line 7: Input/output error; FORCINGS_ASCII_lsf was "
         "sent nothing\n",
         2},
        {app::open_failed{app::open_output, EACCES, true}, untouched, regular,
         "statement 10, unit 20, file FORCINGS_ASCII_lsf\nopen failed: FORCINGS_ASCII_lsf does not exist and cannot be "
         "created here: Permission denied\n",
         2},
        {app::stream_is_a_file{2, app::run_file::input}, untouched, regular,
         "statement 9, unit 10, file lsf\nopen failed: standard error is lsf\n", 2},
        {app::no_block_storage{ENOMEM, 4, 50000000, 31}, two, regular,
         "block 4 (header in input line 31) asks for storage for 50000000 rows; FORCINGS_ASCII_lsf holds 2 complete "
         "blocks\nlsf2ascii: Cannot allocate "
         "memory\nAllocation would exceed memory limit\n",
         1},
        {app::no_buffers{ENOMEM, 1024}, untouched, regular,
         "the buffers of the input and the output ask for 1024 bytes\nlsf2ascii: Cannot allocate memory\nAllocation "
         "would exceed memory limit\n",
         1},
    };
    for (const auto& c : cases) {
        app::outcome o;
        o.end = c.end;
        o.output.kept = c.kept;
        EXPECT_EQ(app::describe(o, c.files).view(), "lsf2ascii: " + c.text);
        EXPECT_EQ(app::exit_status(o), c.status) << c.text;
    }
    // A failure reported when the output was closed follows the end's lines,
    // and the run ends with status 2. (An output that another process cut
    // short or renamed is the fault tests' own.)
    app::outcome o;
    o.end = app::input_ended{9, false, 2};
    o.output.kept = two;
    o.lost = app::close_failed{EIO};
    EXPECT_EQ(app::describe(o, regular).view(),
              "lsf2ascii: statement 18, unit 10, file lsf\nend of file after input line 9: 2 blocks converted\n"
              "lsf2ascii: statement 66, unit 20, file FORCINGS_ASCII_lsf\nwrite failed: Input/output error, reported "
              "when FORCINGS_ASCII_lsf was closed; it may hold fewer than the 2 complete blocks written\n");
    EXPECT_EQ(app::exit_status(o), 2);
}

// A failed cut-back is not reported as whole blocks; the largest count fits.
TEST(Diagnostics, WriteFailureWhoseCutBackFailed) {
    app::outcome o;
    o.end = app::write_failed{textio::line_kind::data, ENOSPC};
    o.output = {{true, 900, 18446744073709551615u}, EIO};
    EXPECT_EQ(app::describe(o, {}).view(),
              "lsf2ascii: statement 66, unit 20, file FORCINGS_ASCII_lsf\n"
              "write failed: No space left on device; FORCINGS_ASCII_lsf could not be cut back "
              "to 18446744073709551615 complete blocks: Input/output error\n");
}

}  // namespace
