// Memory sources and sinks for tests and fuzz targets: input handed out in
// chunks of chosen sizes, output that may fail at a chosen byte.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "textio/stream.h"

namespace testing_support {

// Chunk sizes: from a seed, where 0 hands out everything asked for and any
// other seed small sizes (1 to 16 bytes mostly, now and then up to 4 KiB)
// from a simple generator; or at most a fixed number of bytes each.
class chunks {
public:
    chunks(std::uint8_t seed) : state_(seed), random_(seed != 0) {}  // NOLINT: a seed is a chunking
    static chunks of(std::size_t n) {
        chunks c(0);
        c.most_ = n;
        return c;
    }

    std::size_t next(std::size_t asked) {
        if (!random_) return std::min(asked, most_);
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        const unsigned r = static_cast<unsigned>(state_ >> 33);
        const std::size_t n = (r & 7) == 0 ? 1 + (r >> 3) % 4096 : 1 + (r >> 3) % 16;
        return std::min(asked, n);
    }

private:
    std::uint64_t state_;
    bool random_;
    std::size_t most_ = static_cast<std::size_t>(-1);
};

// Bytes in memory, handed out in chunks. With fail_at set, a read that
// would deliver the byte at that offset (or meet the end) fails with
// `error`, and so does every read after it.
class memory_source final : public textio::source {
public:
    static constexpr std::size_t never = static_cast<std::size_t>(-1);

    memory_source(std::string_view bytes, chunks sizes, std::size_t fail_at = never, int error = EIO)
        : bytes_(bytes), chunks_(sizes), fail_at_(fail_at), error_(error) {}

    std::ptrdiff_t read(char* buf, std::size_t n) override {
        if (failed_) return -error_;
        if (pos_ >= fail_at_) {
            failed_ = true;
            return -error_;
        }
        std::size_t k = std::min(chunks_.next(n), bytes_.size() - pos_);
        if (fail_at_ != never) k = std::min(k, fail_at_ - pos_);
        std::copy_n(bytes_.data() + pos_, k, buf);
        pos_ += k;
        return static_cast<std::ptrdiff_t>(k);
    }

    std::size_t delivered() const { return pos_; }

private:
    std::string_view bytes_;
    chunks chunks_;
    std::size_t fail_at_;
    int error_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

// A file in memory. With room set, bytes past that many in the file are
// refused with ENOSPC: the part that fits arrives, the rest does not.
class memory_sink final : public textio::sink {
public:
    static constexpr std::size_t unlimited = static_cast<std::size_t>(-1);

    explicit memory_sink(std::string initial = {}, std::size_t room = unlimited)
        : data(std::move(initial)), room_(room) {}

    int write(const char* p, std::size_t n, std::size_t& done) override {
        const std::size_t fits = data.size() >= room_ ? 0 : std::min(n, room_ - data.size());
        data.append(p, fits);
        done = fits;
        ++writes;
        return fits == n ? 0 : ENOSPC;
    }

    int truncate(std::uint64_t size) override {
        if (size > data.size())
            grown = true;  // the writer only ever cuts back
        else
            data.resize(static_cast<std::size_t>(size));
        ++truncations;
        return 0;
    }

    std::string data;
    int writes = 0;
    int truncations = 0;
    bool grown = false;

private:
    std::size_t room_;
};

}  // namespace testing_support
