#include "app/storage.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "textio/reader.h"
#include "textio/writer.h"

namespace app {
namespace {

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

}  // namespace

const std::size_t run_buffers::bytes = textio::reader::storage_size + textio::writer::buffer_size;

int run_buffers::obtain() {
    errno = 0;
    storage_.reset(static_cast<char*>(std::malloc(bytes)));
    if (storage_) return 0;
    return errno != 0 ? errno : ENOMEM;
}

void run_buffers::release_with_free::operator()(char* p) const { std::free(p); }

std::span<char> run_buffers::input() const { return {storage_.get(), textio::reader::storage_size}; }

std::span<char> run_buffers::output() const {
    return {storage_.get() + textio::reader::storage_size, textio::writer::buffer_size};
}

rows_storage::rows_storage(rows_storage&& other) noexcept : values_(std::exchange(other.values_, nullptr)) {}

rows_storage& rows_storage::operator=(rows_storage&& other) noexcept {
    if (this != &other) {
        release();
        values_ = std::exchange(other.values_, nullptr);
    }
    return *this;
}

rows_storage::~rows_storage() { release(); }

void rows_storage::release() {
    std::free(values_);
    values_ = nullptr;
}

int rows_storage::obtain(std::int32_t rows, int columns) {
    keep_block_storage();
    release();
    const std::size_t r = rows > 0 ? static_cast<std::size_t>(rows) : 0;
    const auto c = static_cast<std::size_t>(columns);
    if (r > std::numeric_limits<std::size_t>::max() / (sizeof(float) * c)) return ENOMEM;
    const std::size_t bytes = std::max<std::size_t>(r * c, 1) * sizeof(float);
    errno = 0;
    // Nothing is written here: storage for a huge row count that few rows
    // follow is never touched beyond them. Rounding large storage up to
    // whole 2 MiB pages, marked for the system's large pages, gained 3 % and
    // then nothing on a block of 1,000,000 rows (medians of 11 and 15
    // interleaved runs) and cost 2.2 MiB on a block of 200,000 rows, so
    // storage comes as it is asked for.
    void* const p = std::malloc(bytes);
    if (p == nullptr) return errno != 0 ? errno : ENOMEM;
    values_ = static_cast<float*>(p);
    return 0;
}

}  // namespace app
