#pragma once
// The damage the fault tests' module puts into a decoded block; a record's first payload
// byte picks it. Shared by the module and the tests.

#include <cstdint>

namespace korv::test {

enum class GarbageKind : std::uint8_t {
  good = 0,                 // one row: level 0x40000000, cells "A" and "B"
  row_offset_outside = 1,   // the row's offset points 2 GiB past the block
  cell_offsets_huge = 2,    // cell count and cell offsets near 4 GiB
  row_count_huge = 3,       // 0xFFFFFFFF rows declared in a 40-byte block
  length_beyond_buffer = 4, // the block claims more bytes than it was given room for
  text_without_nul = 5,     // the second cell's text has no NUL inside the block
  always_too_small = 6,     // asks for more room for ever
  shorter_than_header = 7,  // a block length below the fixed 16 bytes
  level_half_outside = 8,   // the row's level word straddles the block's end
  failure = 9,              // a plain failure code
};

// A type id whose header text fills the buffer without a NUL.
inline constexpr std::int32_t kGarbageHeaderType = 90;

}  // namespace korv::test
