// The separator index of the reader's buffer: for a run of bytes, the
// positions where a value begins, where one ends (the byte after its last
// one) and where every comma, slash and line feed stands, in order. The
// reader then takes values from spans whose ends are known and applies the
// list rules to the separators, never looking at a blank.
//
// SSE2 classifies 16 bytes at once where the compiler offers it; the plain
// loop gives the same entries everywhere else, and the tests hold the two
// to each other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace textio {

// What a byte is to the list rules: part of a value, or one of the
// terminators that end one. Blanks separate values and stand for nothing
// themselves; a carriage return is one, so that lines ended by CR LF read as
// any others.
enum byte_class : std::uint8_t { value_byte, blank, line_feed, comma, slash };

inline constexpr auto byte_classes = [] {
    std::array<std::uint8_t, 256> t{};
    t[' '] = t['\t'] = t['\r'] = blank;
    t['\n'] = line_feed;
    t[','] = comma;
    t['/'] = slash;
    return t;
}();

inline byte_class class_of(char c) { return static_cast<byte_class>(byte_classes[static_cast<unsigned char>(c)]); }
inline bool is_blank(char c) { return class_of(c) == blank; }
// What ends a value, beside the end of the input.
inline bool is_terminator(char c) { return class_of(c) != value_byte; }

// The index reads up to this many bytes past the end of what it indexes.
inline constexpr std::size_t index_overread = 64;

// Writes to `out` the entries of buf[from, to), as offsets from buf, and
// returns how many there are: every byte of a value whose previous byte is
// not one, every terminator whose previous byte belongs to a value, and
// every comma, slash and line feed. `value_before` tells whether the byte
// before `from` belongs to a value, and is left telling it of the byte
// before `to`.
std::size_t index_bytes(const char* buf, std::uint32_t from, std::uint32_t to, bool& value_before, std::uint32_t* out);

// The same, a byte at a time: the reference the tests hold the other to.
std::size_t index_bytes_plainly(const char* buf, std::uint32_t from, std::uint32_t to, bool& value_before,
                                std::uint32_t* out);

}  // namespace textio
