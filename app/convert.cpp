#include "app/convert.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "app/rows.h"
#include "textio/writer.h"

namespace app {
namespace {

struct release {
    void operator()(float* p) const { std::free(p); }
};
using storage = std::unique_ptr<float, release>;

// A large block's storage is touched page by page as its rows are read; in
// pages of 2 MiB where the system offers them, the first block of a file
// takes a few faults instead of thousands. Only whole large pages inside
// the storage are marked, and a system without them simply ignores it.
void prefer_large_pages([[maybe_unused]] void* p, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t large = std::uintptr_t{2} << 20;
    if (bytes < 2 * large) return;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + large - 1) & ~(large - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(large - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

// Storage for rows x columns values, zeroed or not; zero rows still get a
// minimal request.
storage obtain(std::int32_t rows, int columns, bool zeroed) {
    const std::size_t r = rows > 0 ? static_cast<std::size_t>(rows) : 0;
    if (r > std::numeric_limits<std::size_t>::max() / (sizeof(float) * static_cast<std::size_t>(columns))) {
        errno = ENOMEM;
        return nullptr;
    }
    const std::size_t n = std::max<std::size_t>(r * static_cast<std::size_t>(columns), 1);
    errno = 0;
    float* p = static_cast<float*>(zeroed ? std::calloc(n, sizeof(float)) : std::malloc(n * sizeof(float)));
    if (p == nullptr && errno == 0) errno = ENOMEM;
    if (p != nullptr) prefer_large_pages(p, n * sizeof(float));
    return storage(p);
}

// By default glibc maps every request above 128 KiB (more once such storage
// has been released) afresh and unmaps it on release, and gives the heap's
// free top back to the system beyond twice that: every large block would
// then fault in new zeroed pages row after row. Storage up to 32 MiB (the
// most glibc allows; a block of about 1.2 million rows) comes from the heap
// instead and stays there for the next block, which reuses its pages.
void keep_block_storage() {
#if defined(__GLIBC__)
    static const bool done = [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);  // both arrays of a block of that size
        return true;
    }();
    (void)done;
#endif
}

failure from_read(const textio::read_result& r, int statement, const textio::reader& rd, std::int32_t blocks) {
    failure f;
    f.statement = statement;
    f.line = r.line;
    f.blocks = blocks;
    switch (r.what) {
        case textio::status::end_of_file:
        case textio::status::ok:
            f.what = failure::kind::end_of_file;
            f.position = r.position;
            break;
        case textio::status::malformed:
            f.what = failure::kind::malformed;
            f.position = r.position;
            f.expected = r.expected;
            f.text = rd.malformed_text();
            break;
        case textio::status::read_error:
            f.what = failure::kind::read_error;
            f.error = r.error;
            break;
    }
    return f;
}

failure from_write(const textio::write_result& w) {
    failure f;
    f.what = failure::kind::write_error;
    f.statement = w.lost == textio::line_kind::header ? write_header : write_data;
    f.error = w.error;
    f.kept = w.kept;
    f.cut_error = w.cut_error;
    return f;
}

}  // namespace

outcome convert(textio::source& in, textio::sink& out) {
    keep_block_storage();
    textio::reader rd(in);
    textio::writer wr(out);
    outcome o;

    // Pending lines go out whichever way the run ends.
    auto finish = [&](const failure& f) {
        o.end = f;
        if (f.what != failure::kind::write_error) {
            if (const textio::write_result w = wr.flush(); !w) o.lost = from_write(w);
        }
        return o;
    };

    if (const textio::read_result r = rd.skip_line(); !r) return finish(from_read(r, skip_title, rd, 0));

    // Values the first header omits are zero; later headers keep the last ones.
    float lead_value = 0;
    std::int32_t nrows = 0;
    float ref_value = 0;
    const textio::item header[] = {textio::item::real(lead_value), textio::item::integer(nrows),
                                   textio::item::real(ref_value)};
    for (;;) {
        if (const textio::read_result r = rd.read_list(header); !r)
            return finish(from_read(r, read_header, rd, o.blocks));
        const std::int64_t header_line = rd.last_line();

        // Items a row leaves unread stay zero; varso is written whole.
        storage vars = obtain(nrows, in_columns, true);
        storage varso = vars ? obtain(nrows, out_columns, false) : nullptr;
        if (!varso) {
            failure f;
            f.what = failure::kind::no_memory;
            f.error = errno;
            return finish(f);
        }

        for (std::int32_t i = 0; i < nrows; ++i) {
            float* row = vars.get() + in_columns * static_cast<std::size_t>(i);
            const textio::item items[in_columns] = {textio::item::real(row[0]), textio::item::real(row[1]),
                                                    textio::item::real(row[2]), textio::item::real(row[3]),
                                                    textio::item::real(row[4]), textio::item::real(row[5]),
                                                    textio::item::real(row[6])};
            if (const textio::read_result r = rd.read_list(items); !r) {
                failure f = from_read(r, read_row, rd, o.blocks);
                f.header_line = header_line;
                f.rows = i;
                f.nrows = nrows;
                return finish(f);
            }
        }
        if (o.blocks < std::numeric_limits<std::int32_t>::max()) ++o.blocks;  // stops at the largest count

        convert_rows(vars.get(), varso.get(), nrows, ref_value);
        vars.reset();

        if (const textio::write_result w = wr.write_header_line(o.blocks, nrows, lead_value, ref_value); !w)
            return finish(from_write(w));
        if (const textio::write_result w = wr.write_data_lines(varso.get(), nrows); !w) return finish(from_write(w));
    }
}

}  // namespace app
