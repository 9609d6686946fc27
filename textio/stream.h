// Byte streams the converter reads from and writes to: files in the program,
// memory in tests and fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace textio {

class source {
public:
    virtual ~source() = default;
    // Reads up to n bytes into buf. Returns the number of bytes read, 0 at
    // the end of the input, or a negative errno value when the read fails.
    virtual std::ptrdiff_t read(char* buf, std::size_t n) = 0;
    // Whether a read may wait for input that has not come yet, as from a
    // pipe or a terminal, rather than find it or the end at once.
    virtual bool may_wait() const { return false; }
};

// What a destination holds of the run's lines: nothing yet (the writer has
// not touched it), or `size` bytes that are `blocks` complete blocks.
struct checkpoint {
    bool touched = false;
    std::uint64_t size = 0;
    std::uint64_t blocks = 0;

    bool operator==(const checkpoint&) const = default;
};

class sink {
public:
    virtual ~sink() = default;
    // Writes all n bytes. Returns 0, or an errno value when the write fails;
    // `done` tells how many bytes reached the destination either way.
    virtual int write(const char* data, std::size_t n, std::size_t& done) = 0;
    // Cuts the destination back to its first `size` bytes. Returns 0 or an
    // errno value. Destinations that cannot be cut (a device, a pipe) return 0.
    virtual int truncate(std::uint64_t size) = 0;
    // Every change the writer makes (the emptying before the first line, a
    // write, a cut-back) happens between these two calls; the second tells
    // what the destination then holds whole. A destination that a signal may
    // interrupt holds the signal off in between, and cuts back to the last
    // checkpoint when it comes.
    virtual void begin_change() {}
    virtual void end_change(const checkpoint&) {}
};

}  // namespace textio
