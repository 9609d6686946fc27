// The unsigned 128-bit integer of GCC and Clang, for exact products of two
// 64-bit words in the decimal conversion and the field editor.
#pragma once

namespace textio {

__extension__ using u128 = unsigned __int128;

}  // namespace textio
