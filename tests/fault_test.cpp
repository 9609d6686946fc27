// Faults end to end: output that stops taking bytes part-way, storage that
// cannot be had, absurd values, huge lines and bytes that are not text.
// Every run must end with status 1 or 2 and a diagnostic, leave only whole
// lines of complete blocks in the output, and lose no block that was
// complete before the fault.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "output_layout.h"
#include "run_program.h"
#include "support.h"
#include "textio/writer.h"

namespace {

using testing_support::block_text;
using testing_support::first_block_lines;
using testing_support::holds;
using testing_support::out_name;
using testing_support::row_line;
using testing_support::row_text;
using testing_support::run_converter;
using testing_support::run_options;
using testing_support::run_result;
using testing_support::scratch_dir;
using testing_support::where;

constexpr std::size_t header_len = textio::header_line_length;
constexpr std::size_t data_len = textio::data_line_length;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

// Writes a large input piece by piece, so that the test process stays small
// (a forked child starts with the parent's resident pages).
void put_pieces(const scratch_dir& dir, const std::string& name,
                const std::function<void(const std::function<void(const std::string&)>&)>& make) {
    std::FILE* f = std::fopen(dir.file(name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    make([&](const std::string& s) { ASSERT_EQ(std::fwrite(s.data(), 1, s.size(), f), s.size()); });
    ASSERT_EQ(std::fclose(f), 0);
}

// Checks that the output holds only whole lines of complete blocks; returns
// the offset where each block begins, and the output's end as the last entry.
std::vector<std::size_t> whole_blocks(const std::string& out) {
    const testing_support::layout l = testing_support::layout_of(out);
    EXPECT_EQ(l.error, "");
    return l.starts;
}

// Checks that `out`, left by a run that met a fault, is the complete
// output cut at a block boundary, and holds every block of the complete
// output that ends at or before `intact` bytes (the part the fault left).
// Returns how many blocks it holds.
std::size_t expect_complete_blocks_kept(const std::string& out, const std::string& complete, std::size_t intact) {
    const std::vector<std::size_t> blocks = whole_blocks(complete);
    std::size_t kept = 0;
    for (std::size_t b : blocks)
        if (b <= intact) kept = b;
    EXPECT_EQ(out.size(), kept) << "the blocks that fit whole are " << kept << " bytes";
    EXPECT_EQ(complete.compare(0, out.size(), out), 0) << "not a prefix of the complete output";
    return whole_blocks(out).size() - 1;
}

// An input of `blocks` blocks of `rows` rows each.
std::string blocks_input(int blocks, int rows) {
    std::string in = "many blocks\n";
    char line[96];
    for (int b = 0; b < blocks; ++b) {
        std::snprintf(line, sizeof line, " %d.5 %d 1000.0\n", b, rows);
        in += line;
        for (int i = 0; i < rows; ++i) {
            std::snprintf(line, sizeof line, "%d.25 %d.5 288.1 0.0131 5.02 -0.7 -1.5e-4\n", 1000 - i, 900 + b);
            in += line;
        }
    }
    return in;
}

// Block k of an input of blocks_input(blocks, rows) ends at this offset.
std::size_t end_of_block(const std::string& in, int k, int rows) {
    std::size_t end = 0;
    for (int line = 0; line < 1 + k * (rows + 1); ++line) end = in.find('\n', end) + 1;
    return end;
}

// The output of k blocks of `rows` rows is this many bytes.
std::size_t blocks_output_size(int k, int rows) {
    return static_cast<std::size_t>(k) * (header_len + 1 + static_cast<std::size_t>(rows) * (data_len + 1));
}

// The output of a run over `in` that nothing disturbs.
std::string converted(const std::string& in) {
    scratch_dir dir;
    dir.put("lsf", in);
    const run_result r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find(" converted\n"), std::string::npos) << r.errors;
    return dir.get(out_name);
}

TEST(OutputFault, FileSizeLimitMidRunKeepsEveryBlockThatFitsWhole) {
    // About 600 KiB of output: the writer's first full buffer reaches the
    // file, a later one meets the limit.
    const std::string in = blocks_input(130, 50);
    std::string complete;
    {
        scratch_dir dir;
        dir.put("lsf", in);
        ASSERT_EQ(run_converter(dir).status, 2);
        complete = dir.get(out_name);
        ASSERT_GT(complete.size(), 500000u);
    }
    for (rlim_t limit : {rlim_t{100}, rlim_t{300000}, rlim_t{complete.size() - 1}}) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        scratch_dir dir;
        dir.put("lsf", in);
        const run_result r = run_converter(dir, {.file_size = limit});
        EXPECT_EQ(r.signal, 0) << "ended by a signal";
        EXPECT_EQ(r.status, 2);
        const std::size_t kept = expect_complete_blocks_kept(dir.get(out_name), complete, limit);
        // Standard error is a file under the same limit: a short one cuts the line.
        const std::string said = "write failed: File too large; " + holds(kept) + "\n";
        const std::size_t at = r.errors.find("write failed: ");
        ASSERT_NE(at, std::string::npos) << r.errors;
        EXPECT_EQ(r.errors.substr(at), r.errors.size() < limit ? said : said.substr(0, r.errors.size() - at));
    }
}

TEST(OutputFault, LimitMetByTheLastFlushIsReportedAfterTheEndOfInput) {
    // The output fits the writer's buffer, so everything goes out when the
    // input has ended: that loss must not pass for a normal end.
    const std::string in = blocks_input(4, 3);
    scratch_dir dir;
    dir.put("lsf", in);
    const run_result r = run_converter(dir, {.file_size = 400});
    EXPECT_EQ(r.status, 2);
    const std::string eof = where(18, 10) + "end of file after input line 17: 4 blocks converted\n";
    EXPECT_EQ(r.errors.rfind(eof, 0), 0u) << r.errors;
    EXPECT_EQ(r.errors.substr(eof.size()), where(66, 20) + "write failed: File too large; " + holds(1) + "\n");
    // Block 1 reached the file whole; block 2's header fitted but its first
    // data line did not, so the file is cut back to the end of block 1.
    const std::string out = dir.get(out_name);
    EXPECT_EQ(out.size(), 62 + 3 * 91u);
    whole_blocks(out);
}

TEST(Storage, RowCountBeyondTheStorageThereIsEndsWithStatusOne) {
    // A count no machine has storage for, and 50 million rows (2.6 GB) under
    // a limit of 256 MiB: the run ends before it reads a row of the block,
    // and the block before it reaches the file.
    struct {
        std::string rows;
        rlim_t address_space;
    } cases[] = {{"2147483647", RLIM_INFINITY}, {"50000000", rlim_t{256} << 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows + " rows");
        if (sanitized && c.address_space != RLIM_INFINITY)
            GTEST_SKIP() << "an address space limit does not work under AddressSanitizer";
        scratch_dir dir;
        dir.put("lsf", "t\n" + block_text + " 1.0 " + c.rows + " 2.0\n" + row_text);
        const run_result r = run_converter(dir, {.address_space = c.address_space});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.errors, "lsf2ascii: block 2 (header in input line 4) asks for storage for " + c.rows + " rows; " +
                                holds(1) +
                                "\nlsf2ascii: Cannot allocate memory\nAllocation would exceed memory limit\n");
        EXPECT_EQ(dir.get(out_name), first_block_lines);
    }
}

TEST(Storage, HugeRowCountWithFewRowsIsAnIncompleteBlock) {
    // Where the storage can be had, the rows that are there are read, and
    // the block is not written because its rows run out. Storage is touched
    // only as rows fill it: 30 million rows announced take no more memory
    // than one.
    scratch_dir dir;
    dir.put("lsf", "t\n 1.0 1 2.0\n1 2 3 4 5 6 7\n 1.0 30000000 2.0\n1 2 3 4 5 6 7\n");
    const run_result r = run_converter(dir);
    if (r.status == 1) GTEST_SKIP() << "this machine refuses 1.6 GB of storage: " << r.errors;
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(21, 10) +
                            "end of file after input line 5, inside block 2 (header in input line 4): 1 of its "
                            "30000000 rows read; " +
                            holds(1) + "\n");
    EXPECT_EQ(whole_blocks(dir.get(out_name)).size(), 2u);
    if (!sanitized) {
        EXPECT_LE(r.max_rss_kib, 16 * 1024);
    }
}

TEST(Storage, BuffersBeyondADataLimitEndTheRunBeforeAnyFileChanges) {
    if (sanitized) GTEST_SKIP() << "memory limits do not work under AddressSanitizer";
    // Limits of data and of address space from where the loader can no
    // longer start the program up to where the buffers fit: the run ends
    // with its own diagnostic, never by an abort, and changes no file.
    const std::string in = "t\n 1.0 1 2.0\n1 2 3 4 5 6 7\n";
    std::vector<run_options> limits;
    for (rlim_t kib = 160; kib <= 512; kib += 8) limits.push_back({.data_size = kib << 10});
    for (rlim_t kib = 4608; kib <= 7168; kib += 64) limits.push_back({.address_space = kib << 10});
    int refused = 0;
    for (const run_options& opts : limits) {
        for (const bool input_there : {false, true}) {
            const bool data = opts.data_size != RLIM_INFINITY;
            SCOPED_TRACE(std::to_string((data ? opts.data_size : opts.address_space) >> 10) +
                         (data ? " KiB of data" : " KiB of address space") +
                         (input_there ? ", an input and no output" : ", no input"));
            scratch_dir dir;
            if (input_there) dir.put("lsf", in);
            const run_result r = run_converter(dir, opts);
            EXPECT_EQ(r.signal, 0) << r.errors;
            // The loader cannot start it (the program's own statuses are 1 and 2).
            if (r.status == 127) continue;
            if (r.status == 2) continue;  // enough for the whole run
            ++refused;
            EXPECT_EQ(r.status, 1) << r.errors;
            EXPECT_EQ(r.errors.rfind("lsf2ascii: the buffers of the input and the output ask for ", 0), 0u) << r.errors;
            const std::string end = " bytes\nlsf2ascii: Cannot allocate memory\nAllocation would exceed memory limit\n";
            EXPECT_NE(r.errors.find(end), std::string::npos) << r.errors;
            EXPECT_EQ(dir.exists("lsf"), input_there);
            EXPECT_FALSE(dir.exists(out_name));
        }
    }
    EXPECT_GT(refused, 0) << "no limit refused the buffers";
}

TEST(HugeValues, HundredThousandDigitNumbersReadAsTheirShortForms) {
    const std::string ones(100000, '1');
    const std::string zeros(100000, '0');
    struct {
        std::string huge;
        std::string short_form;
    } cases[] = {
        // A row count with leading zeros, and a real beyond the range: what
        // such numbers read as is the reader's test (Reader.HundredThousandDigits).
        {" 1.0 " + zeros + "1 1.0\n1 2 3 4 5 6 7\n", " 1.0 1 1.0\n1 2 3 4 5 6 7\n"},
        {" 1.0 1 1.0\n1 " + ones + " 3 4 5 6 7\n", " 1.0 1 1.0\n1 1e39 3 4 5 6 7\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.short_form);
        scratch_dir small;
        small.put("lsf", "t\n" + c.short_form);
        const run_result expected = run_converter(small);
        scratch_dir dir;
        dir.put("lsf", "t\n" + c.huge);
        const run_result r = run_converter(dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, expected.errors);
        const std::string out = dir.get(out_name);
        whole_blocks(out);
        EXPECT_EQ(out, small.get(out_name));
    }
}

TEST(HugeLines, HundredMegabyteLinesNeedNoMoreMemory) {
    constexpr std::size_t total = 100u << 20;
    const std::string piece(1 << 20, ' ');
    std::string junk(1 << 20, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>("x\xff\0\t,/*9"[i % 8]);
    struct {
        const char* what;
        std::function<void(const std::function<void(const std::string&)>&)> make;
    } cases[] = {
        {"title line",
         [&](const auto& put) {
             for (std::size_t n = 0; n < total; n += junk.size()) put(junk);
             put("\n 1.0 1 2.0\n1 2 3 4 5 6 7\n");
         }},
        {"blanks between the values of a row",
         [&](const auto& put) {
             put("t\n 1.0 1 2.0\n1 2 3");
             for (std::size_t n = 0; n < total; n += piece.size()) put(piece);
             put("4 5 6 7\n");
         }},
        {"junk after the last value of a row",
         [&](const auto& put) {
             put("t\n 1.0 1 2.0\n1 2 3 4 5 6 7 ");
             for (std::size_t n = 0; n < total; n += junk.size()) put(junk);
             put("\n");
         }},
    };
    const std::string& expected = first_block_lines;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        scratch_dir dir;
        put_pieces(dir, "lsf", c.make);
        ASSERT_GT(std::filesystem::file_size(dir.file("lsf")), total);
        const run_result r = run_converter(dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors.rfind(where(18, 10), 0), 0u) << r.errors;
        EXPECT_EQ(dir.get(out_name), expected);
        // Buffers of fixed size, whatever the line's length.
        EXPECT_LT(r.max_rss_kib, sanitized ? 64 * 1024 : 32 * 1024);
    }
}

TEST(NotText, NulBytesAndInvalidUtf8) {
    using namespace std::string_literals;
    const std::string& first = block_text;
    const std::string& first_out = first_block_lines;
    struct {
        std::string input;
        std::string output;
        std::string diagnostic;
    } cases[] = {
        // In the title and after a row's last value they are not read.
        {"t\0\xff\xfe\xc3("s + "\n" + first, first_out,
         where(18, 10) + "end of file after input line 3: 1 block converted\n"},
        {"t\n 1.0 1 2.0\n1 2 3 4 5 6 7 \0\x80\xbf\n"s, first_out,
         where(18, 10) + "end of file after input line 3: 1 block converted\n"},
        // Where a value stands they are malformed, and what came before stays.
        {"t\n" + first + " 1.0 1 2.0\n1 2 \0 4 5 6 7\n"s, first_out,
         where(21, 10) + "malformed value \"\\x00\" in input line 5: item 3 must be a real number; " + holds(1) + "\n"},
        {"t\n" + first + " 1.0 1 2.0\n1 2 3 4 5 6 7\xc3\xa9\n"s, first_out,
         where(21, 10) + "malformed value \"7\\xc3\\xa9\" in input line 5: item 7 must be a real number; " + holds(1) +
             "\n"},
        {"t\n" + first +
             " 1.0 \xef\xbb\xbf"
             "1 2.0\n"s,
         first_out,
         where(18, 10) + "malformed value \"\\xef\\xbb\\xbf1\" in input line 4: item 2 must be an integer; " +
             holds(1) + "\n"},
        {"\xef\xbb\xbft\n\0 1.0 1 2.0\n"s, "",
         where(18, 10) + "malformed value \"\\x00\" in input line 2: item 1 must be a real number; " + holds(0) + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        scratch_dir dir;
        dir.put("lsf", c.input);
        const run_result r = run_converter(dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, c.diagnostic);
        EXPECT_EQ(dir.get(out_name), c.output);
    }
}

}  // namespace

namespace pipes {

// Runs `body` in a child process; returns its pid.
pid_t spawn(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(60);  // never outlive a broken test
        body();
        ::_exit(0);
    }
    return pid;
}

void reap(pid_t pid) {
    int ws;
    while (::waitpid(pid, &ws, 0) < 0 && errno == EINTR) {}
}

// The writing end of a FIFO a run reads its input from: what the test has
// fed, the run has read but for what the pipe holds, and the run is known
// not to have met the end of its input.
class feeder {
public:
    // Waits for the run to open the FIFO, or to end without opening it.
    feeder(const std::string& path, pid_t run) {
        std::signal(SIGPIPE, SIG_IGN);  // a run that has ended fails the write instead
        for (int tries = 0; tries < 60000 && fd_ < 0; ++tries) {
            fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd_ >= 0 || errno != ENXIO || ended(run)) break;
            ::usleep(1000);
        }
        if (fd_ >= 0) ::fcntl(fd_, F_SETFL, 0);
    }
    ~feeder() { close(); }
    feeder(const feeder&) = delete;
    feeder& operator=(const feeder&) = delete;

    // Returns once the run has taken all but what the pipe holds.
    bool feed(const std::string& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    static bool ended(pid_t run) {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(run), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0;
    }

    int fd_ = -1;
};

// Waits until the file holds at least `size` bytes; false after a minute.
bool wait_for_size(const std::string& path, std::uintmax_t size) {
    for (int tries = 0; tries < 60000; ++tries) {
        std::error_code ec;
        if (std::filesystem::file_size(path, ec) >= size && !ec) return true;
        ::usleep(1000);
    }
    return false;
}

// A run whose input `lsf` is a FIFO, made here, and the FIFO's writing end.
struct fifo_run {
    testing_support::running run;
    feeder input;

    explicit fifo_run(const scratch_dir& dir, const testing_support::run_options& opts = {})
        : run(start(dir, opts)), input(dir.file("lsf"), run.pid) {}

private:
    static testing_support::running start(const scratch_dir& dir, const testing_support::run_options& opts) {
        // Without the FIFO the feeder opens nothing and every feed fails.
        EXPECT_EQ(::mkfifo(dir.file("lsf").c_str(), 0644), 0);
        return testing_support::start_converter(dir, opts);
    }
};

}  // namespace pipes

// A writer that opens the FIFO at `path`, waiting for its reader, and
// writes `bytes`; returns its pid.
pid_t write_fifo(const std::string& path, const std::string& bytes) {
    return pipes::spawn([&] {
        const int fd = ::open(path.c_str(), O_WRONLY);
        if (fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) ::close(fd);
    });
}

TEST(Pipes, FifoInputAndOutputEndWithTheInput) {
    // Both files opened for reading and writing, a FIFO would hold its own
    // writing end and never see the end of its input.
    const std::string in = blocks_input(3, 4);
    const std::string expected = converted(in);

    {
        scratch_dir dir;
        ASSERT_EQ(::mkfifo(dir.file("lsf").c_str(), 0644), 0);
        const pid_t writer = write_fifo(dir.file("lsf"), in);
        const run_result r = run_converter(dir);
        pipes::reap(writer);
        EXPECT_EQ(r.signal, 0) << "the program hung and was killed";
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.errors, where(18, 10) + "end of file after input line 16: 3 blocks converted\n");
        EXPECT_EQ(dir.get(out_name), expected);
    }
    {
        // On a terminal, a run whose FIFO input has had no writer for a
        // second says why it waits, once; then goes on as ever.
        const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(terminal, 0);
        ASSERT_EQ(::grantpt(terminal), 0);
        ASSERT_EQ(::unlockpt(terminal), 0);
        const int screen = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
        ASSERT_GE(screen, 0);
        scratch_dir dir;
        ASSERT_EQ(::mkfifo(dir.file("lsf").c_str(), 0644), 0);
        const auto run = testing_support::start_converter(dir, {.errors_descriptor = screen});
        ::close(screen);
        ::usleep(1500000);
        const pid_t writer = write_fifo(dir.file("lsf"), in);
        const run_result r = testing_support::finish(run);
        pipes::reap(writer);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(dir.get(out_name), expected);
        std::string said;
        char buf[1024];
        ::fcntl(terminal, F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = ::read(terminal, buf, sizeof buf)) > 0;) said.append(buf, static_cast<std::size_t>(n));
        ::close(terminal);
        // The terminal writes a carriage return before each line feed.
        EXPECT_EQ(said,
                  "lsf2ascii: waiting for a writer on the FIFO lsf\r\nlsf2ascii: statement 18, unit 10, file lsf\r\n"
                  "end of file after input line 16: 3 blocks converted\r\n");
    }
    {
        scratch_dir dir;
        dir.put("lsf", in);
        ASSERT_EQ(::mkfifo(dir.file(out_name).c_str(), 0644), 0);
        const std::string copy = dir.path() + ".out";
        const pid_t reader = pipes::spawn([&] {
            const int fd = ::open(dir.file(out_name).c_str(), O_RDONLY);
            const int to = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            char buf[4096];
            ssize_t n;
            while (fd >= 0 && to >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0)
                if (::write(to, buf, static_cast<std::size_t>(n)) != n) break;
        });
        const run_result r = run_converter(dir);
        pipes::reap(reader);
        EXPECT_EQ(r.signal, 0) << "the program hung and was killed";
        EXPECT_EQ(r.status, 2);
        std::FILE* f = std::fopen(copy.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::string got(expected.size() + 1, '\0');
        got.resize(std::fread(got.data(), 1, got.size(), f));
        std::fclose(f);
        ::unlink(copy.c_str());
        EXPECT_EQ(got, expected);
    }
}

TEST(Concurrent, SecondRunOnTheSameOutputEndsAtOnceAndChangesNothing) {
    // The first run reads through a FIFO and has written its first block;
    // a second run starts on a new `lsf` in the same directory.
    constexpr int rows = 20;
    const std::string first = blocks_input(30, rows);
    const std::string second = blocks_input(2, 1);
    const std::string complete = converted(first);
    const std::size_t block_end = end_of_block(first, 1, rows);
    const std::size_t block_out = blocks_output_size(1, rows);

    scratch_dir dir;
    pipes::fifo_run first_run(dir);
    ASSERT_TRUE(first_run.input.feed(first.substr(0, block_end)));
    ASSERT_TRUE(pipes::wait_for_size(dir.file(out_name), block_out));
    dir.put("lsf.new", second);
    std::filesystem::rename(dir.file("lsf.new"), dir.file("lsf"));

    const run_result r = run_converter(dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(10, 20) + "open failed: " + out_name + " is in use by another run\n");
    EXPECT_EQ(dir.get(out_name), complete.substr(0, block_out));
    EXPECT_EQ(dir.get("lsf"), second);

    // Reached through a link from a directory without an input, the busy
    // output is refused before anything is created there.
    scratch_dir linked;
    std::filesystem::create_symlink(dir.file(out_name), linked.file(out_name));
    const run_result r2 = run_converter(linked);
    EXPECT_EQ(r2.status, 2);
    EXPECT_EQ(r2.errors, r.errors);
    EXPECT_FALSE(linked.exists("lsf"));

    // The first run goes on undisturbed.
    EXPECT_TRUE(first_run.input.feed(first.substr(block_end)));
    first_run.input.close();
    const run_result r1 = testing_support::finish(first_run.run);
    EXPECT_EQ(r1.status, 2);
    EXPECT_EQ(r1.errors.rfind(where(18, 10), 0), 0u) << r1.errors;
    EXPECT_TRUE(dir.get(out_name) == complete);
}

// The name a diagnostic gives a signal.
std::string signal_name(int sig) {
    static const std::pair<int, const char*> names[] = {
        {SIGINT, "SIGINT"},   {SIGTERM, "SIGTERM"},    {SIGHUP, "SIGHUP"},   {SIGQUIT, "SIGQUIT"},
        {SIGUSR1, "SIGUSR1"}, {SIGUSR2, "SIGUSR2"},    {SIGXCPU, "SIGXCPU"}, {SIGALRM, "SIGALRM"},
        {SIGPROF, "SIGPROF"}, {SIGVTALRM, "SIGVTALRM"}};
    for (const auto& [s, name] : names)
        if (s == sig) return name;
    return "SIGRTMIN+" + std::to_string(sig - SIGRTMIN);
}

TEST(Interrupted, EachSignalLeavesWholeBlocksAndEndsTheRunByItself) {
    // The input arrives through a FIFO: when the signal is sent, the run has
    // read what was fed but for what the pipe holds, and has not met the end.
    const std::string in = blocks_input(1500, 50);
    const std::string complete = converted(in);
    const std::string earlier = "earlier contents\n";
    struct {
        std::size_t fed;
        std::vector<int> ignored;
        int ends_by;       // the signal that ends the run, sent after the one under test
        bool errors_full;  // standard error a pipe full to the brim, its reader stopped
    } moments[] = {
        {in.size() / 2, {}, 0, false},
        {in.find('\n', in.find("1000.25")), {}, 0, false},  // inside the first block
        {in.size() - 1, {}, 0, false},                      // all but the last line end
        {in.size() / 2, {SIGHUP}, SIGTERM, false},          // under nohup, SIGHUP is not the end
        {in.size() / 2, {}, 0, true},
    };
    // Every signal that would end the process: batch systems warn with
    // SIGUSR1 or SIGUSR2, a CPU limit sends SIGXCPU, timers SIGALRM,
    // SIGVTALRM and SIGPROF, Ctrl-\ SIGQUIT (which dumps a core).
    for (int sig :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGXCPU, SIGALRM, SIGVTALRM, SIGPROF, SIGRTMIN + 1}) {
        for (const auto& m : moments) {
            if (m.ends_by != 0 && sig != SIGHUP) continue;
            // The three usual ones at every moment; the others once.
            if (&m != &moments[0] && sig != SIGINT && sig != SIGTERM && sig != SIGHUP) continue;
            SCOPED_TRACE(signal_name(sig) + " after " + std::to_string(m.fed) + " bytes");
            scratch_dir dir;
            dir.put(out_name, earlier);
            int full[2] = {-1, -1};
            if (m.errors_full) {
                ASSERT_EQ(::pipe2(full, O_NONBLOCK), 0);
                const std::string chunk(4096, 'x');
                while (::write(full[1], chunk.data(), chunk.size()) > 0) {}
                ::fcntl(full[1], F_SETFL, 0);
            }
            pipes::fifo_run fifo(dir, {.ignored = m.ignored, .errors_descriptor = full[1]});
            ASSERT_TRUE(fifo.input.feed(in.substr(0, m.fed)));
            const auto sent = std::chrono::steady_clock::now();
            ::kill(fifo.run.pid, sig);
            if (m.ends_by != 0) ::kill(fifo.run.pid, m.ends_by);
            const run_result r = testing_support::finish(fifo.run);
            const auto took = std::chrono::steady_clock::now() - sent;
            fifo.input.close();
            const int ended_by = m.ends_by != 0 ? m.ends_by : sig;
            EXPECT_EQ(r.signal, ended_by);
            const std::string out = dir.get(out_name);
            if (m.errors_full) {
                // The diagnostic is given up; the run ends all the same, with
                // its output whole and its lock released.
                ::close(full[0]);
                ::close(full[1]);
                EXPECT_LT(took, std::chrono::seconds(1));
                EXPECT_EQ(complete.compare(0, out.size(), out), 0) << "not a prefix of the complete output";
                EXPECT_GT(whole_blocks(out).size(), 1u);
                const int fd = ::open(dir.file(out_name).c_str(), O_RDONLY);
                EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
                ::close(fd);
                continue;
            }
            const std::string said = "lsf2ascii: interrupted by " + signal_name(ended_by) + "\n";
            if (m.fed < in.size() / 2) {
                EXPECT_EQ(out, earlier);
                EXPECT_EQ(r.errors, said + out_name + " left as it was\n");
                continue;
            }
            const std::size_t blocks = whole_blocks(out).size() - 1;
            EXPECT_GT(blocks, 0u);
            EXPECT_EQ(complete.compare(0, out.size(), out), 0) << "not a prefix of the complete output";
            EXPECT_EQ(r.errors, said + holds(blocks) + "\n");
        }
    }
}

TEST(Interrupted, PausedPipeInputKeepsEveryBlockConverted) {
    // The producer has sent 200 whole blocks and pauses: they cannot be read
    // again, so every one of them reaches the output before the run waits.
    constexpr int rows = 50, sent = 200;
    const std::string in = blocks_input(1500, rows);
    const std::string complete = converted(in);
    const std::size_t fed = end_of_block(in, sent, rows);
    const std::size_t out_size = blocks_output_size(sent, rows);
    scratch_dir dir;
    pipes::fifo_run fifo(dir);
    ASSERT_TRUE(fifo.input.feed(in.substr(0, fed)));
    EXPECT_TRUE(pipes::wait_for_size(dir.file(out_name), out_size));
    ::kill(fifo.run.pid, SIGINT);
    const run_result r = testing_support::finish(fifo.run);
    EXPECT_EQ(r.signal, SIGINT);
    EXPECT_EQ(dir.get(out_name), complete.substr(0, out_size));
    EXPECT_EQ(r.errors, "lsf2ascii: interrupted by SIGINT\n" + holds(sent) + "\n");
}

TEST(Pipes, OutputPipeWhoseReaderStopsCountsTheBlocksSent) {
    // Bytes a pipe holds unread are not in a file: the count is of blocks sent.
    const std::string in = blocks_input(400, 50);
    scratch_dir dir;
    dir.put("lsf", in);
    ASSERT_EQ(::mkfifo(dir.file(out_name).c_str(), 0644), 0);
    const pid_t reader = pipes::spawn([&] {
        const int fd = ::open(dir.file(out_name).c_str(), O_RDONLY);
        char buf[4096];
        for (std::size_t got = 0; fd >= 0 && got < 100000;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
    });
    const run_result r = run_converter(dir);
    pipes::reap(reader);
    EXPECT_EQ(r.status, 2);
    const std::string said = "write failed: Broken pipe; " + out_name + " was sent ";
    const std::size_t at = r.errors.find(said);
    ASSERT_NE(at, std::string::npos) << r.errors;
    EXPECT_EQ(r.errors.rfind(" complete blocks\n"), r.errors.size() - 17) << r.errors;
    EXPECT_LT(std::stoul(r.errors.substr(at + said.size())), 400u);
}

TEST(OutputFault, AnotherProcessCuttingShortOrRenamingTheOutputIsSeen) {
    // The run reads through a FIFO and has written its first block when
    // another process empties the output (`: >`, a log rotation that copies
    // and truncates) or takes its name away.
    constexpr int rows = 20;
    const std::string in = blocks_input(4, rows);
    const std::string complete = converted(in);
    const std::size_t block_end = end_of_block(in, 1, rows);
    const std::size_t block_out = blocks_output_size(1, rows);
    const std::string ended = where(18, 10) + "end of file after input line " +
                              std::to_string(std::count(in.begin(), in.end(), '\n')) + ": 4 blocks converted\n";
    const std::string replaced =
        "lsf2ascii: " + out_name + " was renamed or removed by another process during the run: ";
    struct {
        const char* what;
        std::function<void(const scratch_dir&)> act;
        std::string errors;  // the diagnostic's last lines
        std::string output;  // what the name holds at the end
        std::string moved;   // what the file renamed away holds
    } cases[] = {
        {"emptied", [](const scratch_dir& d) { EXPECT_EQ(::truncate(d.file(out_name).c_str(), 0), 0); },
         where(63, 20) + "write failed: " + out_name + " was cut short by another process (0 bytes of the " +
             std::to_string(block_out) + " this run wrote); what it holds is not the conversion\n",
         "", ""},
        {"renamed away", [](const scratch_dir& d) { std::filesystem::rename(d.file(out_name), d.file("moved")); },
         ended + replaced + "no file has the name now\n", "", complete},
        {"replaced",
         [](const scratch_dir& d) {
             std::filesystem::rename(d.file(out_name), d.file("moved"));
             d.put(out_name, "another\n");
         },
         ended + replaced + "the file that has the name now is not this run's output\n", "another\n", complete},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        scratch_dir dir;
        pipes::fifo_run run(dir);
        ASSERT_TRUE(run.input.feed(in.substr(0, block_end)));
        ASSERT_TRUE(pipes::wait_for_size(dir.file(out_name), block_out));
        c.act(dir);
        run.input.feed(in.substr(block_end));
        run.input.close();
        const run_result r = testing_support::finish(run.run);
        EXPECT_EQ(r.status, 2);
        // Found at the flush before a read or at the end, as the reads fall.
        EXPECT_TRUE(r.errors.ends_with(c.errors)) << r.errors;
        EXPECT_EQ(dir.exists(out_name) ? dir.get(out_name) : "", c.output);
        EXPECT_EQ(dir.exists("moved") ? dir.get("moved") : "", c.moved);
    }
}

TEST(OutputFault, FailureReportedWhenTheOutputIsClosedIsNoNormalEnd) {
    // A network file system may report a lost write only when the file is
    // closed; strace makes that close fail.
    std::string strace;
    for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"})
        if (::access((std::string(dir) + "/strace").c_str(), X_OK) == 0) strace = std::string(dir) + "/strace";
    if (strace.empty()) GTEST_SKIP() << "strace is not installed";
    scratch_dir dir;
    dir.put("lsf", blocks_input(1, 2));
    // LeakSanitizer cannot work under ptrace.
    if (sanitized) ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    const run_result r = run_converter(dir, {.wrapper = {strace, "-qq", "-o", "/dev/null", "-P", dir.file(out_name),
                                                         "-e", "trace=close", "-e", "inject=close:error=EIO"}});
    if (sanitized) ::unsetenv("ASAN_OPTIONS");
    if (r.status != 2 && r.errors.find("ptrace") != std::string::npos)
        GTEST_SKIP() << "strace cannot trace: " << r.errors;
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, where(18, 10) + "end of file after input line 4: 1 block converted\n" + where(66, 20) +
                            "write failed: Input/output error, reported when " + out_name +
                            " was closed; it may hold fewer than the 1 complete block written\n");
}
