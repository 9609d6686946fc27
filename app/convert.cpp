#include "app/convert.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "app/rows.h"
#include "textio/reader.h"
#include "textio/writer.h"

namespace app {
namespace {

// The input as the reader sees it. Its first bytes are kept, to tell a
// compressed file. Where a read may wait (a pipe), the complete blocks
// converted so far go out before it, so that an interruption while the
// input pauses keeps every one of them: what the pipe delivered cannot be
// read again.
class watched_input final : public textio::source {
public:
    watched_input(textio::source& in, textio::writer& out) : in_(in), out_(out), waits_(in.may_wait()) {}

    std::ptrdiff_t read(char* buf, std::size_t n) override {
        // A failed write stays with the writer, and ends the run at the next line.
        if (waits_) out_.flush();
        const std::ptrdiff_t got = in_.read(buf, n);
        if (got > 0 && start_size_ < sizeof start_) {
            const std::size_t k = std::min(sizeof start_ - start_size_, static_cast<std::size_t>(got));
            std::memcpy(start_ + start_size_, buf, k);
            start_size_ += k;
        }
        return got;
    }

    // The compressor whose files begin as the input does, or null.
    const compressor* compressed() const { return compressor_of({start_, start_size_}); }

private:
    textio::source& in_;
    textio::writer& out_;
    bool waits_;
    char start_[longest_magic];
    std::size_t start_size_ = 0;
};

// Where a read of `where` stopped, after `blocks` complete blocks; `last` is
// the block whose header was read last (none before the first header).
failure from_read(const textio::read_result& r, statement where, const textio::reader& rd, std::int32_t blocks,
                  const block_of_header& last = {}) {
    if (const auto* m = std::get_if<textio::malformed>(&r.what)) {
        // For a header, the block before it, whose rows may run on into it.
        return malformed_value{where,
                               m->line,
                               m->position,
                               m->expected,
                               value_text(rd.malformed_text()),
                               m->out_of_range,
                               m->line_values,
                               where == read_header ? last : block_of_header{}};
    }
    if (const auto* e = std::get_if<textio::read_error>(&r.what)) return read_failed{where, e->line, e->error};
    if (where == skip_title) return input_empty{};
    const auto& e = std::get<textio::end_of_file>(r.what);
    if (e.items_reached == 0) return input_ended{e.lines, e.no_line_end, blocks};
    return header_cut{e.lines, e.no_line_end, blocks + 1, e.items_reached};
}

write_failed from_write(const textio::write_result& w) { return {w.lost, w.error}; }

}  // namespace

outcome convert(textio::source& in, textio::sink& out, const run_buffers& buffers) {
    textio::writer wr(out, buffers.output());
    watched_input input(in, wr);
    textio::reader rd(input, buffers.input());
    outcome o;
    int cut_error = 0;

    // Pending lines go out whichever way the run ends.
    auto finish = [&](failure f) {
        o.end = std::move(f);
        if (!std::holds_alternative<write_failed>(o.end)) {
            if (const textio::write_result w = wr.flush(); !w) {
                o.lost = from_write(w);
                cut_error = w.cut_error;
            }
        }
        o.output = {wr.kept(), cut_error};
        o.compressed = input.compressed();
        return o;
    };
    auto write_failure = [&](const textio::write_result& w) {
        cut_error = w.cut_error;
        return finish(from_write(w));
    };

    if (const textio::read_result r = rd.skip_line(); !r) return finish(from_read(r, skip_title, rd, 0));

    // Values the first header omits are zero; later headers keep the last ones.
    float lead_value = 0;
    std::int32_t nrows = 0;
    float ref_value = 0;
    std::int32_t blocks = 0;
    const textio::item header[] = {textio::item::real(lead_value), textio::item::integer(nrows),
                                   textio::item::real(ref_value)};
    rows_storage vars, varso;
    block_of_header last;  // the block whose header was read last
    for (;;) {
        if (const textio::read_result r = rd.read_list(header); !r)
            return finish(from_read(r, read_header, rd, blocks, last));
        const std::int64_t header_line = rd.last_line();
        last = {blocks + 1, header_line, nrows};

        int error = vars.obtain(nrows, in_columns);
        if (error == 0) error = varso.obtain(nrows, out_columns);
        if (error != 0) return finish(no_block_storage{error, blocks + 1, nrows, header_line});

        for (std::int32_t i = 0; i < nrows; ++i) {
            float* row = vars.get() + in_columns * static_cast<std::size_t>(i);
            // Items the row leaves unread are zero. Set here, row by row, so
            // that storage is touched only as rows fill it.
            std::fill_n(row, in_columns, 0.0f);
            const textio::item items[in_columns] = {textio::item::real(row[0]), textio::item::real(row[1]),
                                                    textio::item::real(row[2]), textio::item::real(row[3]),
                                                    textio::item::real(row[4]), textio::item::real(row[5]),
                                                    textio::item::real(row[6])};
            if (const textio::read_result r = rd.read_list(items); !r) {
                const auto* e = std::get_if<textio::end_of_file>(&r.what);
                if (e == nullptr) return finish(from_read(r, read_row, rd, blocks));
                return finish(block_cut{e->lines, e->no_line_end, blocks + 1, header_line, i, nrows});
            }
        }
        if (blocks < std::numeric_limits<std::int32_t>::max()) ++blocks;  // stops at the largest count

        convert_rows(vars.get(), varso.get(), nrows, ref_value);
        vars.release();

        if (const textio::write_result w = wr.write_header_line(blocks, nrows, lead_value, ref_value); !w)
            return write_failure(w);
        if (const textio::write_result w = wr.write_data_lines(varso.get(), nrows); !w) return write_failure(w);
        varso.release();
    }
}

outcome convert(textio::source& in, textio::sink& out) {
    run_buffers buffers;
    if (const int error = buffers.obtain(); error != 0) {
        outcome o;
        o.end = no_buffers{error, run_buffers::bytes};
        return o;
    }
    return convert(in, out, buffers);
}

}  // namespace app
