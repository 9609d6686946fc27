// The built program, run in a directory of its own: output bytes, exit
// status and diagnostics.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "run_program.h"

namespace {

using testing_support::run_converter;
using testing_support::run_options;
using testing_support::scratch_dir;
using testing_support::unprivileged_run_refused;
namespace fs = std::filesystem;

const std::string out_name = "FORCINGS_ASCII_lsf";

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The first line of a diagnostic names the statement, unit and file.
std::string where(int statement, int unit) {
    return "statement " + std::to_string(statement) + ", unit " + std::to_string(unit) + ", file " +
           (unit == 10 ? "lsf" : out_name) + "\n";
}

std::string header(const std::string& count_and_rows, const std::string& reals) {
    return count_and_rows + "     " + reals + "\n";
}

const std::string row_text = "1 2 3 4 5 6 7\n";
// The data line of row_text with ref_value 2: the ratio 2/2 makes the power 1.
const std::string row_line =
    "    2.000000000  -8.23200E-002    5.000000000    6.000000000   6.69667E+002   4.00000E+003\n";

TEST(Conformance, EveryVectorGivesItsBytesAndStatus) {
    const fs::path data = fs::path(LSF2ASCII_SOURCE_DIR) / "tests" / "data";
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(data)) {
        if (entry.path().filename().string().rfind("case-", 0) != 0) continue;
        ++cases;
        SCOPED_TRACE(entry.path().filename().string());
        scratch_dir dir;
        dir.put("lsf", slurp(entry.path() / "lsf"));
        const auto r = run_converter(dir);
        EXPECT_EQ(r.status, std::stoi(slurp(entry.path() / "exit_status")));
        EXPECT_EQ(dir.get(out_name), slurp(entry.path() / out_name));
        EXPECT_NE(r.errors.find(where(18, 10)), std::string::npos) << r.errors;
    }
    EXPECT_EQ(cases, 24);
}

TEST(Example, ShippedOutputMatches) {
    const fs::path ex = fs::path(LSF2ASCII_SOURCE_DIR) / "examples";
    scratch_dir dir;
    dir.put("lsf", slurp(ex / "lsf"));
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(dir.get(out_name), slurp(ex / out_name));
}

TEST(EndOfInput, TitleOnlyWritesNothingAndKeepsAnExistingOutput) {
    scratch_dir dir;
    dir.put("lsf", "title\n");
    dir.put(out_name, "previous contents\nsecond line");
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, "lsf2ascii: " + where(18, 10) + "end of file after input line 1: 0 blocks converted\n");
    EXPECT_EQ(dir.get(out_name), "previous contents\nsecond line");
}

TEST(EndOfInput, EmptyOrMissingInputEndsAtTheTitle) {
    // A missing input is created empty, and the diagnostic says so; a link
    // to nowhere is followed, creating the file it names.
    enum class input { empty, missing, dangling_link };
    for (const input in : {input::empty, input::missing, input::dangling_link}) {
        SCOPED_TRACE(static_cast<int>(in));
        scratch_dir dir;
        if (in == input::empty) dir.put("lsf", "");
        if (in == input::dangling_link) fs::create_symlink("elsewhere", dir.file("lsf"));
        const auto r = run_converter(dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, "lsf2ascii: " + where(13, 10) + "end of file: the input is empty" +
                                (in == input::missing ? " (it did not exist and has been created)\n" : "\n"));
        EXPECT_TRUE(dir.exists("lsf"));
        EXPECT_EQ(dir.get("lsf"), "");
        EXPECT_EQ(dir.get(out_name), "");
    }
}

TEST(EndOfInput, IncompleteBlockIsNeitherCountedNorWritten) {
    const std::string first = " 1.5 1 2.0\n" + row_text;
    const std::string first_lines = header("001     001", "        1.50000          2.000          0.000") + row_line;
    // The diagnostic says which block the input ended in, by its number
    // and its header's line, and how much of it was read.
    struct {
        std::string tail;
        int statement;
        std::string second_line;
    } cases[] = {
        {" 7.0 2 2.0\n", 21, "after input line 4, inside block 2 (header in input line 4): 0 of its 2 rows read"},
        {" 7.0 2 2.0\n" + row_text, 21,
         "after input line 5, inside block 2 (header in input line 4): 1 of its 2 rows read"},
        {" 7.0 2 2.0\n1 2 3\n", 21,
         "after input line 5, inside block 2 (header in input line 4): 0 of its 2 rows read"},
        {"\n 7.0 1 2.0 / x\n\n", 21,
         "after input line 6, inside block 2 (header in input line 5): 0 of its 1 row read"},
        {" 7.0\n3\n2.0\n" + row_text, 21,
         "after input line 7, inside block 2 (header in input line 6): 1 of its 3 rows read"},
        {" 7.0 2", 18, "after input line 4, inside the header of block 2: 2 of its 3 values read"},
        {" 7.0\n", 18, "after input line 4, inside the header of block 2: 1 of its 3 values read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tail);
        scratch_dir dir;
        dir.put("lsf", "t\n" + first + c.tail);
        const auto r = run_converter(dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, "lsf2ascii: " + where(c.statement, 10) + "end of file " + c.second_line + "\n");
        EXPECT_EQ(dir.get(out_name), first_lines);
    }
}

TEST(Blocks, ZeroAndNegativeRowCountsWriteAnEmptyLine) {
    scratch_dir dir;
    dir.put("lsf", "t\n 1.0 0 2.0\n 3.0 -4 5.0\n");
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(dir.get(out_name), header("001     000", "        1.00000          2.000          0.000") + "\n" +
                                     header("002     ***", "        3.00000          5.000          0.000") + "\n");
    EXPECT_EQ(r.errors, "lsf2ascii: " + where(18, 10) + "end of file after input line 3: 2 blocks converted\n");
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

TEST(Blocks, ThousandthBlockCountIsAsterisks) {
    std::string in = "t\n";
    for (int i = 0; i < 1001; ++i) in += "0 0 0\n";
    scratch_dir dir;
    dir.put("lsf", in);
    EXPECT_EQ(run_converter(dir).status, 2);
    const std::string out = dir.get(out_name);
    const std::string zeros = "             0.00000          0.000          0.000\n\n";
    EXPECT_EQ(out.size(), 1001 * (61 + 2u));
    EXPECT_EQ(out.substr(998 * 63, 63), "999     000" + zeros);
    EXPECT_EQ(out.substr(999 * 63, 63), "***     000" + zeros);
    EXPECT_EQ(out.substr(1000 * 63, 63), "***     000" + zeros);
}

TEST(Blocks, CrLfLinesReadAsLfLines) {
    scratch_dir dir;
    dir.put("lsf", "title\r\n 1.5 1 2.0\r\n1 2 3 4 5 6 7\r\n");
    EXPECT_EQ(run_converter(dir).status, 2);
    EXPECT_EQ(dir.get(out_name), header("001     001", "        1.50000          2.000          0.000") + row_line);
}

TEST(Storage, HugeRowCountFailsBeforeAnyRowIsRead) {
    scratch_dir dir;
    dir.put("lsf", "t\n 1.0 1 2.0\n" + row_text + " 1.0 2147483647 2.0\n");
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "lsf2ascii: Cannot allocate memory\nAllocation would exceed memory limit\n");
    // The block before it is complete and reaches the file.
    EXPECT_EQ(dir.get(out_name), header("001     001", "        1.00000          2.000          0.000") + row_line);
}

TEST(Malformed, DiagnosticQuotesTheValueAndNamesItemTypeAndLine) {
    using namespace std::string_literals;
    struct {
        std::string input;
        std::string second_line;
        int statement;
    } cases[] = {
        {"t\n 1.0 5.0 2.0\n", "malformed value \"5.0\" in input line 2: item 2 must be an integer\n", 18},
        {"t\n 1.0 1 2.0\n1 2 3\n\n 4 x 6 7\n", "malformed value \"x\" in input line 5: item 5 must be a real number\n",
         21},
        {"t\n 1.0 1 2.0\n1 2 3 4 5 6 7;\n", "malformed value \"7;\" in input line 3: item 7 must be a real number\n",
         21},
        {"t\n 1.0 3000000000 2.0\n", "malformed value \"3000000000\" in input line 2: item 2 must be an integer\n", 18},
        // The whole value up to its end, a repeat count included.
        {"t\n 0.0 1 1000.0\n 10.0 1012.50 288.085 1.31e-02 84O.40 -0.700 -1.5e-04\n",
         "malformed value \"84O.40\" in input line 3: item 5 must be a real number\n", 21},
        {"t\n 1.0 2*1.5\n", "malformed value \"2*1.5\" in input line 2: item 2 must be an integer\n", 18},
        {"t\n 1.0 1 2.0\n1 2 3 0*4,5 6 7\n", "malformed value \"0*4\" in input line 3: item 4 must be a real number\n",
         21},
        // Bytes that do not print are escaped, and so are quotes and backslashes.
        {"t\n 1.0 1 2.0\n1 2 3 4\x01\"\\\xc3\xa9\x7f\r5 6 7\n"s,
         "malformed value \"4\\x01\\\"\\\\\\xc3\\xa9\\x7f\" in input line 3: item 4 must be a real number\n", 21},
        // A long value is cut after 40 bytes.
        {"t\n 1.0 1 2.0\n1 2 3 4 5 6 " + std::string(39, '9') + "x" + std::string(100000, '9') + "\n",
         "malformed value \"" + std::string(39, '9') + "x\"... in input line 3: item 7 must be a real number\n", 21},
        {"t\n 1.0 1 2.0\n1 2 3 4 5 6 " + std::string(39, '9') + "x\n",
         "malformed value \"" + std::string(39, '9') + "x\" in input line 3: item 7 must be a real number\n", 21},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        scratch_dir dir;
        dir.put("lsf", c.input);
        const auto r = run_converter(dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, "lsf2ascii: " + where(c.statement, 10) + c.second_line);
        EXPECT_EQ(dir.get(out_name), "");
    }
}

TEST(Files, InputThatIsADirectoryFailsToOpen) {
    scratch_dir dir;
    fs::create_directory(dir.file("lsf"));
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, "lsf2ascii: " + where(9, 10) + "open failed: Is a directory\n");
    EXPECT_FALSE(dir.exists(out_name));
}

TEST(Files, OutputThatIsADirectoryFailsToOpen) {
    scratch_dir dir;
    dir.put("lsf", "t\n");
    fs::create_directory(dir.file(out_name));
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, "lsf2ascii: " + where(10, 20) + "open failed: Is a directory\n");
}

TEST(Files, FullDiskEndsWithAWriteDiagnostic) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
    scratch_dir dir;
    dir.put("lsf", "t\n 1.0 1 2.0\n" + row_text);
    fs::create_symlink("/dev/full", dir.file(out_name));
    const auto r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, "lsf2ascii: " + where(63, 20) +
                            "write failed: No space left on device; FORCINGS_ASCII_lsf holds 0 complete blocks\n");
}

TEST(Files, ReadOnlyOutputFailsAtTheFirstHeaderAndStaysUnchanged) {
    scratch_dir dir;
    dir.put("lsf", "t\n 1.0 1 2.0\n" + row_text);
    dir.put(out_name, "keep me\n");
    fs::permissions(dir.file(out_name), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (const std::string why = unprivileged_run_refused(dir); !why.empty()) GTEST_SKIP() << why;
    const auto r = run_converter(dir, true);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors,
              "lsf2ascii: " + where(63, 20) + "write failed: Permission denied; FORCINGS_ASCII_lsf left as it was\n");
    EXPECT_EQ(dir.get(out_name), "keep me\n");
}

TEST(Files, WriteOnlyInputFailsAtTheTitle) {
    scratch_dir dir;
    dir.put("lsf", "t\n 1.0 1 2.0\n" + row_text);
    fs::permissions(dir.file("lsf"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write);
    if (const std::string why = unprivileged_run_refused(dir); !why.empty()) GTEST_SKIP() << why;
    const auto r = run_converter(dir, true);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, "lsf2ascii: " + where(13, 10) + "read failed in input line 1: Permission denied\n");
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
        EXPECT_EQ(
            r.errors,
            no_errors ? "" : "lsf2ascii: " + where(18, 10) + "end of file after input line 3: 1 block converted\n");
    }
}

TEST(Files, OutputThatIsTheInputIsRefusedAndBothStayUnchanged) {
    const std::string in = "t\n 1.5 1 2.0\n" + row_text;
    const std::string refused =
        "lsf2ascii: " + where(10, 20) + "open failed: " + out_name + " is the same file as lsf\n";
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
    EXPECT_EQ(r.errors, "lsf2ascii: " + where(13, 10) + "end of file: the input is empty\n");
}

TEST(Files, ArgumentsAreIgnoredAndLocaleDoesNotMatter) {
    // The program takes no options; a decimal comma locale changes nothing.
    scratch_dir dir;
    dir.put("lsf", "t\n 1.5 1 2.0\n" + row_text);
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    const auto r = run_converter(dir);
    ::unsetenv("LC_ALL");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(dir.get(out_name), header("001     001", "        1.50000          2.000          0.000") + row_line);
}

}  // namespace
