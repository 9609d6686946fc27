// The whole conversion, from input bytes in memory to output in memory.
//
// Input: byte 0 chooses the chunk sizes the source hands out; byte 1 holds
// flags: 1 the output held earlier contents, 2 the output has room for only
// a given number of bytes, 4 the input fails with EIO at a given offset,
// 8 everything after the input's first line comes 100 times (so that the
// output outgrows the writer's buffer) and the number counts 64 bytes;
// bytes 2 and 3 give that number (little-endian). The rest is the input file.
//
// Properties: no crash or undefined behaviour; the output holds only whole
// 61-character header lines, 90-character data lines and empty lines, each
// header followed by its block's data lines (or by one empty line), one
// header per counted block; chunked input gives the same output; an output
// that runs out of room keeps exactly the blocks that fit whole and the run
// reports the lost write; a failing input keeps a whole-block prefix of the
// output; an output that gets no line keeps what it held; the diagnostic is
// two to six lines of printable text.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/convert.h"
#include "app/diagnostics.h"
#include "check.h"
#include "memory_stream.h"
#include "output_layout.h"
#include "textio/writer.h"

namespace {

constexpr std::size_t control = 4;
const std::string earlier = "earlier contents\nwithout a line end";

// A read error right after a malformed value may cut its text short, and
// leave the values of its line unknown: then `b`'s text need only begin
// with `a`'s.
bool same(const app::failure& a, const app::failure& b, bool cut = false) {
    const auto* ma = std::get_if<app::malformed_value>(&a);
    const auto* mb = std::get_if<app::malformed_value>(&b);
    if (!cut || ma == nullptr || mb == nullptr) return a == b;
    app::malformed_value shorter = *mb;
    shorter.text = app::value_text(mb->text.view().substr(0, ma->text.view().size()));
    if (ma->line_values == -1) shorter.line_values = -1;
    return *ma == shorter;
}

// The diagnostic is lines of printable text, the first naming the program;
// an input that ended inside a block names fewer rows than the block has,
// after its header's line.
void check_diagnostic(const app::outcome& o) {
    const app::message m = app::describe(o, {});
    const std::string_view d = m.view();
    FUZZ_CHECK(d.starts_with("lsf2ascii: ") && d.back() == '\n');
    int lines = 0;
    for (const char c : d) {
        if (c == '\n')
            ++lines;
        else
            FUZZ_CHECK(c >= 0x20 && c < 0x7f);
    }
    FUZZ_CHECK(lines >= 2 && lines <= 6);
    if (const auto* cut = std::get_if<app::block_cut>(&o.end))
        FUZZ_CHECK(cut->rows_read >= 0 && cut->rows_read < cut->nrows && cut->header_line >= 2 &&
                   cut->header_line <= cut->line);
}

bool is_boundary(const std::vector<std::size_t>& blocks, std::size_t n) {
    for (std::size_t b : blocks)
        if (b == n) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < control) return 0;
    const std::uint8_t seed = data[0];
    const std::uint8_t flags = data[1];
    const bool repeat = flags & 8;
    const std::size_t number = (data[2] | static_cast<std::size_t>(data[3]) << 8) << (repeat ? 6 : 0);
    std::string_view text(reinterpret_cast<const char*>(data) + control, size - control);
    std::string repeated;
    if (repeat) {
        const std::size_t body = text.find('\n') == std::string_view::npos ? text.size() : text.find('\n') + 1;
        repeated = text.substr(0, body);
        for (int k = 0; k < 100; ++k) repeated += text.substr(body);
        text = repeated;
    }

    // Reference: the input in one piece, an output without limits.
    testing_support::memory_source whole_in(text, 0);
    testing_support::memory_sink whole_out;
    const app::outcome ref = app::convert(whole_in, whole_out);
    const std::string& full = whole_out.data;
    FUZZ_CHECK(!whole_out.grown);
    FUZZ_CHECK(!ref.lost);
    FUZZ_CHECK(std::holds_alternative<app::input_empty>(ref.end) || std::holds_alternative<app::input_ended>(ref.end) ||
               std::holds_alternative<app::header_cut>(ref.end) || std::holds_alternative<app::block_cut>(ref.end) ||
               std::holds_alternative<app::malformed_value>(ref.end) ||
               std::holds_alternative<app::no_block_storage>(ref.end));
    const testing_support::layout layout = testing_support::layout_of(full);
    FUZZ_CHECK(layout.error.empty());
    const std::vector<std::size_t>& blocks = layout.starts;
    FUZZ_CHECK(layout.blocks() == ref.output.kept.blocks);
    check_diagnostic(ref);

    // The same input in chunks, into an output with earlier contents, with
    // limited room or with a failing input, as the flags say.
    const bool keep = flags & 1;
    const std::size_t room = flags & 2 ? number : testing_support::memory_sink::unlimited;
    const std::size_t fail_at = flags & 4 ? number : testing_support::memory_source::never;
    testing_support::memory_source in(text, seed, fail_at);
    testing_support::memory_sink out(keep ? earlier : std::string(), room);
    const app::outcome o = app::convert(in, out);
    FUZZ_CHECK(!out.grown);
    const std::string& got = out.data;

    if (got != full) FUZZ_CHECK(full.empty() || got.empty() || got.size() < full.size());
    if (full.empty() || (got.empty() && keep)) {
        // Nothing written: what the output held stays.
        if (!o.output.kept.touched) FUZZ_CHECK(got == (keep ? earlier : std::string()));
    }
    if (got != earlier || !keep) {
        FUZZ_CHECK(full.compare(0, got.size(), got) == 0);
        FUZZ_CHECK(is_boundary(blocks, got.size()));
    }

    const auto* failed_write = std::get_if<app::write_failed>(&o.end);
    const bool write_failed = failed_write != nullptr || o.lost;
    if (fail_at == testing_support::memory_source::never) {
        if (room == testing_support::memory_sink::unlimited || full.size() <= room) {
            FUZZ_CHECK(!write_failed);
            FUZZ_CHECK(same(o.end, ref.end));
            if (ref.output.kept.blocks > 0) FUZZ_CHECK(got == full);
        } else {
            // The blocks that fit whole, and a write failure reported.
            std::size_t fit = 0;
            for (std::size_t b : blocks)
                if (b <= room) fit = b;
            FUZZ_CHECK(write_failed);
            const auto* lost_write = o.lost ? std::get_if<app::write_failed>(&*o.lost) : nullptr;
            FUZZ_CHECK((failed_write != nullptr ? failed_write : lost_write) != nullptr);
            FUZZ_CHECK((failed_write != nullptr ? *failed_write : *lost_write).error == ENOSPC);
            if (fit > 0 || !keep) FUZZ_CHECK(got.size() == fit);
        }
    } else if (room == testing_support::memory_sink::unlimited) {
        FUZZ_CHECK(!write_failed);
        if (!std::holds_alternative<app::read_failed>(o.end)) FUZZ_CHECK(same(o.end, ref.end, true));
    }
    return 0;
}
