#pragma once
// One client connection of korv-productd: handshake, then requests until the
// client goes away or the service stops.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/alpc_server.h"
#include "service_options.h"

namespace korv::standin {

// Commands the stand-in understands besides the log-kind query; tests use
// them to see what arrived.
inline constexpr std::uint32_t kCommandLogKinds = 0x01000600;
inline constexpr std::uint32_t kCommandEcho = 0x01000601;       // body = request body
inline constexpr std::uint32_t kCommandFill = 0x01000602;       // body = parameter bytes
inline constexpr std::uint32_t kCommandStatistics = 0x01000603; // body = ServiceStatistics words

// Counters shared by all sessions; read by the statistics command.
struct ServiceStatistics {
  std::atomic<std::uint32_t> requests{0};
  std::atomic<std::uint32_t> one_way{0};
  std::atomic<std::uint32_t> releases{0};
  std::atomic<std::uint32_t> last_payload_in_view{0};
  std::atomic<std::uint32_t> last_payload_length{0};
  std::atomic<std::uint32_t> connections{0};
  std::atomic<std::uint32_t> last_attribute_flags{0};  // port attributes of the last connect
  std::atomic<std::uint32_t> last_impersonation_level{0};
};

// Set once when the service stops; wakes sessions that are delaying a reply.
struct StopSignal {
  std::mutex mutex;  // guards stopped
  std::condition_variable cv;
  bool stopped = false;
};

void ServeConnection(korv::platform::AlpcConnection& connection, const ServiceOptions& options,
                     ServiceStatistics& statistics, StopSignal& stop);

}  // namespace korv::standin
