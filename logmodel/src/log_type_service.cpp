#include <cstring>

#include "logmodel/log_type.h"
#include "product/comm.h"

namespace {

constexpr std::size_t kFirstReplyCapacity = 2048;
// A service that answers 5 for ever must not make the viewer allocate for
// ever: the list of a few dozen kinds fits far below this.
constexpr std::size_t kMaxReplyCapacity = std::size_t{16} << 20;

std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

namespace korv {

std::map<std::int32_t, std::int32_t> ParseLogKindReply(std::span<const std::uint8_t> reply) {
  std::map<std::int32_t, std::int32_t> values;
  if (reply.size() < 12) return values;
  const std::uint64_t count = Load32(reply.data() + 8);
  const std::uint64_t inside = (reply.size() - 12) / kLogKindEntrySize;
  const std::uint64_t taken = count < inside ? count : inside;
  for (std::uint64_t i = 0; i < taken; ++i) {
    const std::uint8_t* entry = reply.data() + 12 + i * kLogKindEntrySize;
    values[static_cast<std::int32_t>(Load32(entry))] = static_cast<std::int32_t>(Load32(entry + 4));
  }
  return values;
}

std::map<std::int32_t, std::int32_t> QueryServiceLogKinds(IComm& comm) {
  for (std::size_t capacity = kFirstReplyCapacity; capacity <= kMaxReplyCapacity; capacity *= 2) {
    std::vector<std::uint8_t> reply;
    reply.reserve(capacity);
    int result = comm.Call(kLogKindsCommand, kLogKindsParameter, 0, {}, reply);
    if (result == 5) continue;  // the reply did not fit: twice the room
    if (result != 0) break;
    return ParseLogKindReply(reply);
  }
  return {};
}

}  // namespace korv
