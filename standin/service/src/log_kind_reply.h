#pragma once
// The answer to the log-kind query: 8 unused bytes, a u32 count, then 172-byte
// entries {type id, service value, flags, name[16], display text[64]} with the
// texts in UTF-16LE.

#include <cstdint>
#include <utility>
#include <vector>

namespace korv::standin {

inline constexpr std::size_t kLogKindEntrySize = 172;

// The type ids the product keeps, with the value the service reports for each.
std::vector<std::pair<std::int32_t, std::int32_t>> DefaultLogKinds();

// count_override replaces the entry count field when non-zero.
std::vector<std::uint8_t> BuildLogKindReply(
    const std::vector<std::pair<std::int32_t, std::int32_t>>& kinds, std::uint32_t count_override);

}  // namespace korv::standin
