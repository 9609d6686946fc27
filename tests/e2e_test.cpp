// The built program, run in a directory of its own: output bytes, exit
// status and diagnostics.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "run_program.h"
#include "support.h"

namespace {

using testing_support::holds;
using testing_support::out_name;
using testing_support::read_file;
using testing_support::row_line;
using testing_support::row_text;
using testing_support::run_converter;
using testing_support::run_options;
using testing_support::scratch_dir;
using testing_support::unprivileged_run_refused;
using testing_support::where;
namespace fs = std::filesystem;

std::string header(const std::string& count_and_rows, const std::string& reals) {
    return count_and_rows + "     " + reals + "\n";
}

TEST(Conformance, EveryVectorGivesItsBytesAndStatus) {
    const fs::path data = fs::path(LSF2ASCII_SOURCE_DIR) / "tests" / "data";
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(data)) {
        if (entry.path().filename().string().rfind("case-", 0) != 0) continue;
        ++cases;
        SCOPED_TRACE(entry.path().filename().string());
        scratch_dir dir;
        dir.put("lsf", read_file(entry.path() / "lsf"));
        const auto r = run_converter(dir);
        EXPECT_EQ(r.status, std::stoi(read_file(entry.path() / "exit_status")));
        EXPECT_EQ(dir.get(out_name), read_file(entry.path() / out_name));
        EXPECT_NE(r.errors.find(where(18, 10)), std::string::npos) << r.errors;
    }
    EXPECT_EQ(cases, 24);
}

TEST(Example, ShippedOutputMatches) {
    const fs::path ex = fs::path(LSF2ASCII_SOURCE_DIR) / "examples";
    scratch_dir dir;
    dir.put("lsf", read_file(ex / "lsf"));
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(dir.get(out_name), read_file(ex / out_name));
}

TEST(EndOfInput, TitleOnlyWritesNothingAndKeepsAnExistingOutput) {
    scratch_dir dir;
    dir.put("lsf", "title\n");
    dir.put(out_name, "previous contents\nsecond line");
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(18, 10) + "end of file after input line 1: 0 blocks converted\n");
    EXPECT_EQ(dir.get(out_name), "previous contents\nsecond line");
}

TEST(EndOfInput, EmptyOrMissingInputEndsAtTheTitle) {
    // A missing input is created empty, and the diagnostic names every file
    // the run created, so that a run in the wrong directory can be undone; a
    // link to nowhere is followed, creating the file it names.
    enum class input { empty, missing, dangling_link, missing_beside_an_output };
    for (const input in : {input::empty, input::missing, input::dangling_link, input::missing_beside_an_output}) {
        SCOPED_TRACE(static_cast<int>(in));
        scratch_dir dir;
        if (in == input::empty) dir.put("lsf", "");
        if (in == input::dangling_link) fs::create_symlink("elsewhere", dir.file("lsf"));
        if (in == input::missing_beside_an_output) dir.put(out_name, "earlier\n");
        const auto r = run_converter(dir);
        EXPECT_EQ(r.status, 2);
        const char* const created =
            in == input::missing ? " (lsf and FORCINGS_ASCII_lsf did not exist and have been created)"
            : in == input::missing_beside_an_output ? " (lsf did not exist and has been created)"
                                                    : " (FORCINGS_ASCII_lsf did not exist and has been created)";
        EXPECT_EQ(r.errors, where(13, 10) + "end of file: the input is empty" + created + "\n");
        EXPECT_EQ(dir.get("lsf"), "");
        EXPECT_EQ(dir.get(out_name), in == input::missing_beside_an_output ? "earlier\n" : "");
    }
}

TEST(EndOfInput, EveryEndSaysWhereTheInputStoppedAndWhatTheOutputHolds) {
    const std::string first = " 1.5 1 2.0\n" + row_text;
    const std::string first_lines = header("001     001", "        1.50000          2.000          0.000") + row_line;
    // After a first block: where the input ended, which block it ended in (by
    // its number and its header's line) and how much of it was read; whether
    // the last line has a line end, which a file cut short often lacks; and,
    // but for the usual end, what the output holds.
    struct {
        std::string tail;
        int statement;
        std::string second_line;
        int blocks;  // written
    } cases[] = {
        {" 7.0 2 2.0\n", 21,
         "after input line 4, inside block 2 (header in input line 4): 0 of its 2 rows read; " + holds(1), 1},
        {" 7.0 2 2.0\n" + row_text, 21,
         "after input line 5, inside block 2 (header in input line 4): 1 of its 2 rows read; " + holds(1), 1},
        {" 7.0 2 2.0\n1 2 3\n", 21,
         "after input line 5, inside block 2 (header in input line 4): 0 of its 2 rows read; " + holds(1), 1},
        {"\n 7.0 1 2.0 / x\n\n", 21,
         "after input line 6, inside block 2 (header in input line 5): 0 of its 1 row read; " + holds(1), 1},
        {" 7.0\n3\n2.0\n" + row_text, 21,
         "after input line 7, inside block 2 (header in input line 6): 1 of its 3 rows read; " + holds(1), 1},
        {" 7.0 2 2.0\n1 2 3 4", 21,
         "after input line 5, which has no line end, inside block 2 (header in input line 4): 0 of its 2 rows read; " +
             holds(1),
         1},
        {" 7.0 2", 18,
         "after input line 4, which has no line end, inside the header of block 2: 2 of its 3 values read; " + holds(1),
         1},
        {" 7.0\n", 18, "after input line 4, inside the header of block 2: 1 of its 3 values read; " + holds(1), 1},
        // A file cut inside its last number converts the cut value.
        {" 7.0 1 2.0\n1 2 3 4 5 6 -6.12", 18, "after input line 5, which has no line end: 2 blocks converted", 2},
        {"", 18, "after input line 3: 1 block converted", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tail);
        scratch_dir dir;
        dir.put("lsf", "t\n" + first + c.tail);
        const auto r = run_converter(dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, where(c.statement, 10) + "end of file " + c.second_line + "\n");
        const std::string out = dir.get(out_name);
        EXPECT_EQ(out.substr(0, first_lines.size()), first_lines);
        EXPECT_EQ(out.size(), c.blocks == 1 ? first_lines.size() : 2 * first_lines.size());
    }
}

TEST(Blocks, StorageReusedByALaterBlockHoldsNothingOfTheEarlierOne) {
    // The second block's rows, each ended after three items by a slash, fit
    // in the storage the first block's full rows released: its unread items
    // are zero all the same.
    std::string in = "t\n 1.0 20000 2.0\n";
    for (int i = 0; i < 20000; ++i) in += row_text;
    in += " 1.0 15000 2.0\n";
    for (int i = 0; i < 15000; ++i) in += "1 2 3 /\n";
    scratch_dir dir;
    dir.put("lsf", in);
    EXPECT_EQ(run_converter(dir).status, 2);
    const std::string out = dir.get(out_name);
    const std::string short_line =
        "    2.000000000  -0.00000E+000    0.000000000    0.000000000   3.00000E+000   0.00000E+000\n";
    const std::size_t second = 62 + 20000 * row_line.size();
    ASSERT_EQ(out.size(), second + 62 + 15000 * short_line.size());
    for (std::size_t i = 0; i < 20000; ++i)
        ASSERT_EQ(out.compare(62 + i * row_line.size(), row_line.size(), row_line), 0) << i;
    for (std::size_t i = 0; i < 15000; ++i)
        ASSERT_EQ(out.compare(second + 62 + i * short_line.size(), short_line.size(), short_line), 0) << i;
}

TEST(Blocks, EmptyBlocksAndTheThousandthBlock) {
    // A zero or negative row count writes one empty line, the negative one
    // shown as asterisks; from the thousandth block on, so is the block count.
    std::string in = "t\n 1.0 0 2.0\n 3.0 -4 5.0\n";
    for (int i = 2; i < 1001; ++i) in += "0 0 0\n";
    scratch_dir dir;
    dir.put("lsf", in);
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(18, 10) + "end of file after input line 1002: 1001 blocks converted\n");
    const std::string out = dir.get(out_name);
    const std::string zeros = "             0.00000          0.000          0.000\n\n";
    EXPECT_EQ(out.size(), 1001 * (61 + 2u));
    EXPECT_EQ(out.substr(0, 2 * 63), header("001     000", "        1.00000          2.000          0.000") + "\n" +
                                         header("002     ***", "        3.00000          5.000          0.000") + "\n");
    EXPECT_EQ(out.substr(998 * 63, 63), "999     000" + zeros);
    EXPECT_EQ(out.substr(999 * 63, 63), "***     000" + zeros);
    EXPECT_EQ(out.substr(1000 * 63, 63), "***     000" + zeros);
}

TEST(Blocks, CrLfLinesReadAsLfLines) {
    // Carriage returns before every line feed, and blank CRLF lines in the
    // second block, read as blanks; lines are counted as the line feeds go.
    const std::string row = "1 2 3 4 5 6 7\r\n";
    scratch_dir dir;
    dir.put("lsf", "title\r\n 1.5 1 2.0\r\n" + row + "\r\n 1.5 2 2.0\r\n\r\n" + row + "\r\n" + row + "\r\n");
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(18, 10) + "end of file after input line 10: 2 blocks converted\n");
    EXPECT_EQ(dir.get(out_name), header("001     001", "        1.50000          2.000          0.000") + row_line +
                                     header("002     002", "        1.50000          2.000          0.000") + row_line +
                                     row_line);
}

TEST(Malformed, DiagnosticQuotesTheValueAndNamesItemTypeAndLine) {
    using namespace std::string_literals;
    const std::string first = "t\n 1.5 1 2.0\n" + row_text;
    const std::string first_lines = header("001     001", "        1.50000          2.000          0.000") + row_line;
    const std::string row_shaped = " 10.0 194.20 288.085 1.31e-02 84.40 -0.700 -1.5e-04\n";
    struct {
        std::string input;
        std::string second_line;
        int statement;
        int blocks = 0;         // written before the malformed value
        std::string then = "";  // the lines after the second
    } cases[] = {
        {"t\n 1.0 5.0 2.0\n", "malformed value \"5.0\" in input line 2: item 2 must be an integer", 18},
        {"t\n 1.0 1 2.0\n1 2 3\n\n 4 x 6 7\n", "malformed value \"x\" in input line 5: item 5 must be a real number",
         21},
        {"t\n 1.0 1 2.0\n1 2 3 4 5 6 7;\n", "malformed value \"7;\" in input line 3: item 7 must be a real number", 21},
        {"t\n 1.0 3000000000 2.0\n",
         "malformed value \"3000000000\" in input line 2: item 2 is an integer beyond the range of a 32-bit row count "
         "(-2147483648 to 2147483647)",
         18},
        {"t\n 1.0 -2147483649 2.0\n",
         "malformed value \"-2147483649\" in input line 2: item 2 is an integer beyond the range of a 32-bit row count "
         "(-2147483648 to 2147483647)",
         18},
        // A row where the next header should be: the block before may have
        // more rows than its header says. Not for the first header, nor for
        // a line of other than seven values.
        {first + row_shaped, "malformed value \"194.20\" in input line 4: item 2 must be an integer", 18, 1,
         "input line 4 holds 7 values, as a row does: block 1 (header in input line 2) may have more rows than its "
         "header's nrows (1)\n"},
        {first + " 1.0 99999999999 2.0 4 5 6 7\n",
         "malformed value \"99999999999\" in input line 4: item 2 is an integer beyond the range of a 32-bit row "
         "count (-2147483648 to 2147483647)",
         18, 1,
         "input line 4 holds 7 values, as a row does: block 1 (header in input line 2) may have more rows than its "
         "header's nrows (1)\n"},
        {"t\n" + row_shaped, "malformed value \"194.20\" in input line 2: item 2 must be an integer", 18},
        {first + " 10.0 194.20 288.085 1.31e-02 84.40 -0.700\n",
         "malformed value \"194.20\" in input line 4: item 2 must be an integer", 18, 1},
        // The whole value up to its end, a repeat count included.
        {"t\n 0.0 1 1000.0\n 10.0 1012.50 288.085 1.31e-02 84O.40 -0.700 -1.5e-04\n",
         "malformed value \"84O.40\" in input line 3: item 5 must be a real number", 21},
        {"t\n 1.0 2*1.5\n", "malformed value \"2*1.5\" in input line 2: item 2 must be an integer", 18},
        {"t\n 1.0 1 2.0\n1 2 3 0*4,5 6 7\n", "malformed value \"0*4\" in input line 3: item 4 must be a real number",
         21},
        // Bytes that do not print are escaped, and so are quotes and backslashes.
        {"t\n 1.0 1 2.0\n1 2 3 4\x01\"\\\xc3\xa9\x7f\r5 6 7\n"s,
         "malformed value \"4\\x01\\\"\\\\\\xc3\\xa9\\x7f\" in input line 3: item 4 must be a real number", 21},
        // A long value is cut after 40 bytes.
        {"t\n 1.0 1 2.0\n1 2 3 4 5 6 " + std::string(39, '9') + "x" + std::string(100000, '9') + "\n",
         "malformed value \"" + std::string(39, '9') + "x\"... in input line 3: item 7 must be a real number", 21},
        {"t\n 1.0 1 2.0\n1 2 3 4 5 6 " + std::string(39, '9') + "x\n",
         "malformed value \"" + std::string(39, '9') + "x\" in input line 3: item 7 must be a real number", 21},
    };
    // What the output holds follows: the blocks before, nothing, or what it
    // held before.
    for (const auto& c : cases) {
        for (const bool earlier : {false, true}) {
            SCOPED_TRACE(c.input + (earlier ? ", beside an earlier output" : ""));
            scratch_dir dir;
            dir.put("lsf", c.input);
            if (earlier) dir.put(out_name, "earlier\n");
            const auto r = run_converter(dir);
            EXPECT_EQ(r.status, 2);
            const std::string state = c.blocks == 0 && earlier ? out_name + " left as it was" : holds(c.blocks);
            EXPECT_EQ(r.errors, where(c.statement, 10) + c.second_line + "; " + state + "\n" + c.then);
            EXPECT_EQ(dir.get(out_name), c.blocks == 1 ? first_lines : earlier ? "earlier\n" : "");
        }
    }
}

TEST(Malformed, CompressedInputIsNamedWithHowToDecompressIt) {
    using namespace std::string_literals;
    // A run on a compressed file converts nothing or fails; the diagnostic
    // ends with what the file looks like and how to read it. The FIFO is
    // removed after the run, so that the next plain run does not wait on it.
    struct {
        std::string start;
        std::string compressor, cat, suffix;
    } cases[] = {
        {"\x1f\x8b\x08\x00"s, "gzip", "zcat", "gz"},
        {"BZh91AY&SY"s, "bzip2", "bzcat", "bz2"},
        {"\xfd"
         "7zXZ\0\0\x04"s,
         "xz", "xzcat", "xz"},
        {"\x28\xb5\x2f\xfd\x24"s, "zstd", "zstdcat", "zst"},
    };
    for (const auto& c : cases) {
        for (const std::string& rest : {"\n"s, "\x93\n\x01\xfe\n"s}) {
            SCOPED_TRACE(c.compressor + ", " + std::to_string(rest.size()) + " bytes more");
            scratch_dir dir;
            dir.put("lsf", c.start + rest);
            const auto r = run_converter(dir);
            EXPECT_EQ(r.status, 2);
            const std::string file = "lsf." + c.suffix, cat = c.cat + " " + file + " > lsf";
            const std::string hint = "lsf looks compressed (" + c.compressor + "): decompress it first (mv lsf " +
                                     file + "; " + cat + "), or through a FIFO (mv lsf " + file + "; mkfifo lsf; " +
                                     cat + " & lsf2ascii; rm lsf)\n";
            ASSERT_GE(r.errors.size(), hint.size());
            EXPECT_EQ(r.errors.substr(r.errors.size() - hint.size()), hint) << r.errors;
        }
    }
    // A title that happens to begin as a compressed file does is a title.
    scratch_dir dir;
    dir.put("lsf", "BZh9 forcing\n 1.5 1 2.0\n" + row_text);
    const auto r = run_converter(dir);
    EXPECT_EQ(r.errors, where(18, 10) + "end of file after input line 3: 1 block converted\n");
}

TEST(Files, InputThatIsADirectoryFailsToOpen) {
    scratch_dir dir;
    fs::create_directory(dir.file("lsf"));
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(9, 10) + "open failed: Is a directory\n");
    EXPECT_FALSE(dir.exists(out_name));
}

TEST(Files, OutputThatIsADirectoryFailsToOpen) {
    scratch_dir dir;
    dir.put("lsf", "t\n");
    fs::create_directory(dir.file(out_name));
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(10, 20) + "open failed: Is a directory\n");
}

TEST(Files, FullDiskEndsWithAWriteDiagnostic) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
    scratch_dir dir;
    dir.put("lsf", "t\n 1.0 1 2.0\n" + row_text);
    fs::create_symlink("/dev/full", dir.file(out_name));
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors,
              where(63, 20) + "write failed: No space left on device; FORCINGS_ASCII_lsf was sent 0 complete blocks\n");
}

TEST(Files, ReadOnlyOutputFailsAtTheFirstHeaderAndStaysUnchanged) {
    scratch_dir dir;
    dir.put("lsf", "t\n 1.0 1 2.0\n" + row_text);
    dir.put(out_name, "keep me\n");
    fs::permissions(dir.file(out_name), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (const std::string why = unprivileged_run_refused(dir); !why.empty()) GTEST_SKIP() << why;
    const auto r = run_converter(dir, true);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(63, 20) + "write failed: Permission denied; FORCINGS_ASCII_lsf left as it was\n");
    EXPECT_EQ(dir.get(out_name), "keep me\n");
}

TEST(Files, WriteOnlyInputFailsAtTheTitle) {
    scratch_dir dir;
    dir.put("lsf", "t\n 1.0 1 2.0\n" + row_text);
    fs::permissions(dir.file("lsf"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write);
    if (const std::string why = unprivileged_run_refused(dir); !why.empty()) GTEST_SKIP() << why;
    const auto r = run_converter(dir, true);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(13, 10) + "read failed in input line 1: Permission denied; " + holds(0) + "\n");
}

TEST(Files, MissingFileInADirectoryThatCannotBeWrittenIsSaidToBeMissing) {
    struct {
        bool input_there;
        std::string errors;
    } cases[] = {
        {false, where(9, 10) + "open failed: lsf does not exist and cannot be created here: Permission denied\n"},
        {true, where(10, 20) + "open failed: " + out_name +
                   " does not exist and cannot be created here: Permission denied\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errors);
        scratch_dir dir;
        if (c.input_there) dir.put("lsf", "t\n");
        if (const std::string why = unprivileged_run_refused(dir); !why.empty()) GTEST_SKIP() << why;
        const auto r = run_converter(dir, run_options{.unprivileged = true, .directory_mode = 0555});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, c.errors);
        EXPECT_FALSE(dir.exists(out_name));
    }
}

TEST(Files, ClosedStandardDescriptorsNeverReceiveAFile) {
    // Started with `2>&-` (cron, some daemons), the input would open as
    // descriptor 2 and the diagnostic would land in it.
    const std::string in = "t\n 1.5 1 2.0\n" + row_text;
    const std::string lines = header("001     001", "        1.50000          2.000          0.000") + row_line;
    const std::vector<int> cases[] = {{2}, {1, 2}, {0, 1, 2}, {0}, {1}, {0, 1}};
    for (const auto& closed : cases) {
        SCOPED_TRACE(testing::PrintToString(closed));
        scratch_dir dir;
        dir.put("lsf", in);
        const auto r = run_converter(dir, run_options{.closed = closed});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(dir.get("lsf"), in);
        EXPECT_EQ(dir.get(out_name), lines);
        const bool no_errors = std::find(closed.begin(), closed.end(), 2) != closed.end();
        EXPECT_EQ(r.errors, no_errors ? "" : where(18, 10) + "end of file after input line 3: 1 block converted\n");
    }
}

TEST(Files, OutputThatIsTheInputIsRefusedAndBothStayUnchanged) {
    const std::string in = "t\n 1.5 1 2.0\n" + row_text;
    // Standard error a pipe nobody reads: the refusal fails to be written,
    // and the run still ends with its status rather than by SIGPIPE.
    int broken[2];
    ASSERT_EQ(::pipe(broken), 0);
    ::close(broken[0]);
    const std::string refused = where(10, 20) + "open failed: " + out_name + " is the same file as lsf\n";
    struct {
        const char* what;
        void (*link)(const scratch_dir&);
    } cases[] = {
        {"output a symbolic link to the input",
         [](const scratch_dir& d) { fs::create_symlink("lsf", d.file(out_name)); }},
        {"output a hard link to the input",
         [](const scratch_dir& d) { fs::create_hard_link(d.file("lsf"), d.file(out_name)); }},
        {"input a symbolic link to the output",
         [](const scratch_dir& d) {
             fs::rename(d.file("lsf"), d.file(out_name));
             fs::create_symlink(out_name, d.file("lsf"));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        scratch_dir dir;
        dir.put("lsf", in);
        c.link(dir);
        const auto r = run_converter(dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, refused);
        EXPECT_EQ(dir.get("lsf"), in);
    }
    // One device under both names is no file to protect: the run goes on.
    scratch_dir dir;
    fs::create_symlink("/dev/null", dir.file("lsf"));
    fs::create_symlink("/dev/null", dir.file(out_name));
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(13, 10) + "end of file: the input is empty\n");
}

TEST(Files, StandardStreamsThatAreAFileOfTheRunAreRefused) {
    // A user who believes the program writes to standard output, or who
    // keeps its diagnostics beside the files: the run refuses before it
    // writes a block. Standard error that is the output receives the
    // refusal, as the user directed; the input is never written (with no
    // terminal to turn to, the run says nothing; the status tells).
    const std::string in = "t\n 1.5 1 2.0\n" + row_text;
    // Standard error a pipe nobody reads: the refusal fails to be written,
    // and the run still ends with its status rather than by SIGPIPE.
    int broken[2];
    ASSERT_EQ(::pipe(broken), 0);
    ::close(broken[0]);
    const std::string refused = where(10, 20) + "open failed: standard error is FORCINGS_ASCII_lsf\n" +
                                "lsf2ascii writes FORCINGS_ASCII_lsf itself and needs no redirection\n";
    struct {
        const char* what;
        run_options opts;
        std::string errors;  // when standard error is a file of its own
        std::string output;  // what FORCINGS_ASCII_lsf holds after
    } cases[] = {
        {">FORCINGS_ASCII_lsf 2>&1", {.output_file = out_name, .errors_file = out_name}, "", refused},
        {"2>>FORCINGS_ASCII_lsf", {.errors_file = out_name, .error_mode = O_APPEND}, "", "earlier\n" + refused},
        {"2>>lsf", {.errors_file = "lsf", .error_mode = O_APPEND}, "", "earlier\n"},
        {">FORCINGS_ASCII_lsf 2>|broken pipe", {.output_file = out_name, .errors_descriptor = broken[1]}, "", ""},
        {">FORCINGS_ASCII_lsf",
         {.output_file = out_name},
         where(10, 20) + "open failed: standard output is FORCINGS_ASCII_lsf\n" +
             "lsf2ascii writes FORCINGS_ASCII_lsf itself and needs no redirection\n",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        scratch_dir dir;
        dir.put("lsf", in);
        dir.put(out_name, "earlier\n");
        const auto r = run_converter(dir, c.opts);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, c.errors);
        EXPECT_EQ(dir.get("lsf"), in);
        EXPECT_EQ(dir.get(out_name), c.output);
    }
    ::close(broken[1]);
}

// A locale whose decimal symbol is a comma, made for the test: the
// machines the tests run on need not have one installed.
std::string comma_locale(const scratch_dir& dir) {
    if (std::system(("localedef -i de_DE -f UTF-8 " + dir.file("de_DE.UTF-8") + " >/dev/null 2>&1").c_str()) != 0)
        return {};
    const std::string check = "LOCPATH=" + dir.path() + " LC_ALL=de_DE.UTF-8 locale decimal_point 2>/dev/null";
    std::FILE* p = ::popen(check.c_str(), "r");
    char point[8] = {};
    const bool comma = p != nullptr && std::fgets(point, sizeof point, p) != nullptr && point[0] == ',';
    if (p != nullptr) ::pclose(p);
    return comma ? dir.path() : std::string();
}

TEST(Files, ArgumentsAreIgnoredAndLocaleDoesNotMatter) {
    // Options and file names change nothing, nor does a locale whose decimal
    // symbol is a comma; nothing goes to standard output.
    scratch_dir locales;
    const std::string locpath = comma_locale(locales);
    if (locpath.empty()) GTEST_SKIP() << "cannot make a de_DE.UTF-8 locale with localedef (package locales)";
    const std::string in = "t\n 1.5 1 2.0\n" + row_text;
    scratch_dir plain;
    plain.put("lsf", in);
    const auto expected = run_converter(plain);
    ASSERT_EQ(expected.status, 2);
    ::setenv("LOCPATH", locpath.c_str(), 1);
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"-o", "x"}, {"other", "lsf"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        scratch_dir dir;
        dir.put("lsf", in);
        dir.put("other", "t\n 9.0 1 9.0\n1 1 1 1 1 1 1\n");
        const auto r = run_converter(dir, run_options{.args = args});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, expected.errors);
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(dir.get(out_name), plain.get(out_name));
        EXPECT_FALSE(dir.exists("x"));
    }
    ::unsetenv("LC_ALL");
    ::unsetenv("LOCPATH");
}

}  // namespace
