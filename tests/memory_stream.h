// Memory sources and sinks for tests and fuzz targets: input handed out in
// chunks of chosen sizes, output that may fail at a chosen byte.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// A file in memory that records every call the writer makes. Past `room`
// bytes it refuses the rest of a write with `write_error` (the part that
// fits arrives, as on a full disk); with `truncate_error` set, cut-backs
// after the first `truncates_that_work` fail with it.
class memory_sink final : public textio::sink {
public:
    static constexpr std::size_t unlimited = static_cast<std::size_t>(-1);

    struct event {
        bool truncate;
        std::uint64_t n;  // bytes asked to write, or the size cut to
        bool operator==(const event&) const = default;
    };

    explicit memory_sink(std::string initial = {}, std::size_t room_ = unlimited)
        : data(std::move(initial)), room(room_) {}

    int write(const char* p, std::size_t n, std::size_t& done) override {
        unguarded |= !changing;
        events.push_back({false, n});
        done = data.size() >= room ? 0 : std::min(n, room - data.size());
        data.append(p, done);
        return done == n ? 0 : write_error;
    }

    int truncate(std::uint64_t size) override {
        unguarded |= !changing;
        events.push_back({true, size});
        if (truncate_error != 0 && truncates() > truncates_that_work) return truncate_error;
        if (size > data.size())
            grown = true;  // the writer only ever cuts back
        else
            data.resize(static_cast<std::size_t>(size));
        return 0;
    }

    void begin_change() override {
        unguarded |= changing;
        changing = true;
    }
    void end_change(const textio::checkpoint& c) override {
        unguarded |= !changing;
        changing = false;
        checkpoints.push_back({c, data.size()});
    }

    std::size_t writes() const { return count(false); }
    std::size_t truncates() const { return count(true); }

    std::string data;          // what the destination holds
    std::size_t room;          // writes stop here
    int write_error = ENOSPC;  // given when the room runs out
    int truncate_error = 0;    // given by the truncates after the first few
    std::size_t truncates_that_work = 0;
    std::vector<event> events;  // every call, in order
    // Each checkpoint the writer gave, with the size the sink had then;
    // whether a write or cut-back came outside a change, or changes nested;
    // whether a cut-back asked for more than the destination held.
    std::vector<std::pair<textio::checkpoint, std::size_t>> checkpoints;
    bool changing = false;
    bool unguarded = false;
    bool grown = false;

private:
    std::size_t count(bool truncate) const {
        return static_cast<std::size_t>(
            std::count_if(events.begin(), events.end(), [truncate](const event& e) { return e.truncate == truncate; }));
    }
};

}  // namespace testing_support
