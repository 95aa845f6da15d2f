#pragma once
// Framing helpers and the stand-in service's test commands.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "product/tavcomm_client.h"

namespace korv::testing {

inline constexpr std::uint32_t kCommandLogKinds = 0x01000600;
inline constexpr std::uint32_t kCommandEcho = 0x01000601;
inline constexpr std::uint32_t kCommandFill = 0x01000602;
inline constexpr std::uint32_t kCommandStatistics = 0x01000603;

inline std::uint32_t Word(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  std::uint32_t v = 0;
  if (offset + 4 <= bytes.size()) std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

inline std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
  return bytes;
}

// What the service's fill command sends for n bytes.
inline std::vector<std::uint8_t> FillBytes(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

// A command payload: 12, command, parameter, body.
inline std::vector<std::uint8_t> Frame(std::uint32_t command, std::uint32_t parameter,
                                       const std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> out(12);
  std::uint32_t head[3] = {12, command, parameter};
  std::memcpy(out.data(), head, 12);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

struct Statistics {
  std::uint32_t requests, one_way, releases, last_in_view, last_length, connections;
  std::uint32_t attribute_flags, impersonation_level;
};

// Asks the service for its counters through client; false when that fails.
inline bool QueryStatistics(ITavcommClient& client, Statistics& out) {
  auto payload = Frame(kCommandStatistics, 0, {});
  std::vector<std::uint8_t> reply;
  if (client.SendReceive(0, 3, payload.data(), static_cast<std::uint32_t>(payload.size()), &reply,
                         5000) != 0 ||
      reply.size() != 12 + sizeof(Statistics)) {
    return false;
  }
  std::memcpy(&out, reply.data() + 12, sizeof(Statistics));
  return true;
}

}  // namespace korv::testing
