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
};

}  // namespace textio
