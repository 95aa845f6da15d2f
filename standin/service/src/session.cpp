#include "session.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

#include "log_kind_reply.h"

namespace pf = korv::platform;

namespace korv::standin {
namespace {

constexpr std::uint32_t kStatusInvalid = 87;      // a request the service cannot read
constexpr std::uint32_t kStatusUnknownCommand = 1;
constexpr std::uint32_t kStatusTooSmall = 5;
constexpr std::uint32_t kMaxInlineReply = 65487;
constexpr std::uint32_t kMaxFill = 64u << 20;
constexpr int kHandshakeTimeoutMs = 5000;

std::uint32_t Get32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void Put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

struct CommandAnswer {
  std::uint32_t status = 0;
  std::vector<std::uint8_t> body;
};

CommandAnswer RunCommand(std::uint32_t command, std::uint32_t parameter,
                         const std::uint8_t* body, std::size_t body_length,
                         const ServiceOptions& options, ServiceStatistics& statistics) {
  CommandAnswer a;
  switch (command) {
    case kCommandLogKinds:
      if (parameter != 36) {
        a.status = kStatusInvalid;
      } else {
        a.body = BuildLogKindReply(options.kinds,
                                   options.fault == ReplyFault::huge_count ? 0x10000000u : 0u);
      }
      break;
    case kCommandEcho:
      a.body.assign(body, body + body_length);
      break;
    case kCommandFill:
      if (parameter > kMaxFill) {
        a.status = kStatusInvalid;
        break;
      }
      a.body.resize(parameter);
      for (std::uint32_t i = 0; i < parameter; ++i) a.body[i] = static_cast<std::uint8_t>(i * 7 + 3);
      break;
    case kCommandStatistics: {
      const std::uint32_t words[] = {statistics.requests, statistics.one_way, statistics.releases,
                                     statistics.last_payload_in_view,
                                     statistics.last_payload_length, statistics.connections,
                                     statistics.last_attribute_flags,
                                     statistics.last_impersonation_level};
      a.body.resize(sizeof(words));
      std::memcpy(a.body.data(), words, sizeof(words));
      break;
    }
    default:
      a.status = kStatusUnknownCommand;
  }
  return a;
}

// The framed command reply: 12, status, body length, body; broken on request.
std::vector<std::uint8_t> FrameReply(const CommandAnswer& a, ReplyFault fault) {
  std::vector<std::uint8_t> out(12 + a.body.size());
  Put32(out.data(), fault == ReplyFault::bad_header ? 16 : 12);
  Put32(out.data() + 4, a.status);
  std::uint32_t length = static_cast<std::uint32_t>(a.body.size());
  Put32(out.data() + 8, fault == ReplyFault::long_body ? length + 100 : length);
  std::copy(a.body.begin(), a.body.end(), out.begin() + 12);
  if (fault == ReplyFault::short_reply) out.resize(8);
  return out;
}

void SendReply(pf::AlpcConnection& connection, const pf::PortMessageHeader& request,
               std::uint32_t transport_status, const std::vector<std::uint8_t>& data,
               const ServiceOptions& options) {
  std::uint16_t type_bits = options.release ? pf::kPortTypeReleaseRequired : 0;
  std::vector<std::uint8_t> message(8);
  Put32(message.data(), transport_status);
  if (options.fault == ReplyFault::transport_short) {
    message.resize(4);
    connection.reply(request, type_bits, message, nullptr);
    return;
  }
  const bool broken_view =
      options.fault == ReplyFault::small_view || options.fault == ReplyFault::view_flags;
  std::uint32_t n = static_cast<std::uint32_t>(data.size());
  if (transport_status != 0) n = 0;
  if (transport_status == 0 && (n > kMaxInlineReply || broken_view)) {
    std::uint32_t stated = std::max<std::uint32_t>(n, kMaxInlineReply + 1);
    std::size_t view_size = options.fault == ReplyFault::small_view ? stated - 1 : stated;
    pf::PortView view;
    if (pf::PortView::create(view_size, view) != pf::kPortSuccess) return;
    std::memcpy(view.data(), data.data(), std::min<std::size_t>(data.size(), view_size));
    view.set_flags(options.fault == ReplyFault::view_flags ? 0 : pf::kPortViewFlagsCreated);
    Put32(message.data() + 4, stated);
    connection.reply(request, type_bits, message, &view);
    return;
  }
  Put32(message.data() + 4, n);
  if (transport_status == 0) message.insert(message.end(), data.begin(), data.end());
  connection.reply(request, type_bits, message, nullptr);
}

void Delay(const ServiceOptions& options, StopSignal& stop) {
  if (options.delay_ms <= 0) return;
  std::unique_lock lock(stop.mutex);
  stop.cv.wait_for(lock, std::chrono::milliseconds(options.delay_ms), [&] { return stop.stopped; });
}

// Answers one request; records a datagram or a release.
void HandleMessage(pf::AlpcConnection& connection, const std::vector<std::uint8_t>& message,
                   const pf::PortView& view, const ServiceOptions& options,
                   ServiceStatistics& statistics, StopSignal& stop) {
  pf::PortMessageHeader header{};
  pf::read_port_header(message, header);  // checked by receive
  if ((header.type & pf::kPortTypeReleaseRequired) != 0) {
    ++statistics.releases;
    return;
  }
  const bool one_way = (header.type & pf::kPortTypeMask) == pf::kPortTypeDatagram;
  if (!one_way && (header.type & pf::kPortTypeMask) != pf::kPortTypeRequest) return;
  ++statistics.requests;
  if (one_way) ++statistics.one_way;

  const std::uint8_t* fields = message.data() + pf::kPortMessageHeaderSize;
  if (header.data_length < 16) {
    if (!one_way) SendReply(connection, header, kStatusInvalid, {}, options);
    return;
  }
  const std::uint32_t message_type = Get32(fields), growable = Get32(fields + 4);
  const std::uint32_t length = Get32(fields + 8), capacity = Get32(fields + 12);
  const std::uint8_t* payload = nullptr;
  if (header.data_length == 16u + length) {
    payload = fields + 16;
  } else if (header.data_length == 16 && view.valid() && view.size() >= length) {
    payload = view.data();
  }
  // Recorded after the answer, so that the statistics command reports the
  // message before itself.
  auto record = [&] {
    statistics.last_payload_in_view = payload != nullptr && payload == view.data() ? 1 : 0;
    statistics.last_payload_length = length;
  };
  if (one_way) {
    record();
    return;
  }
  struct Recorder {
    std::function<void()> f;
    ~Recorder() { f(); }
  } recorder{record};

  Delay(options, stop);
  if (options.transport_status != 0) {
    SendReply(connection, header, options.transport_status, {}, options);
    return;
  }
  if (payload == nullptr || message_type != 3 || length < 12 || Get32(payload) != 12) {
    SendReply(connection, header, kStatusInvalid, {}, options);
    return;
  }
  CommandAnswer answer = RunCommand(Get32(payload + 4), Get32(payload + 8), payload + 12,
                                    length - 12, options, statistics);
  if (options.fixed_command_status) answer.status = options.command_status;
  // A caller with a fixed buffer learns with status 5 that it must grow; what
  // fits is sent along.
  if (growable == 0 && 12 + answer.body.size() > capacity) {
    answer.status = kStatusTooSmall;
    answer.body.resize(capacity > 12 ? capacity - 12 : 0);
  }
  SendReply(connection, header, 0, FrameReply(answer, options.fault), options);
}

}  // namespace

void ServeConnection(pf::AlpcConnection& connection, const ServiceOptions& options,
                     ServiceStatistics& statistics, StopSignal& stop) {
  if (connection.read_connect_request(kHandshakeTimeoutMs) != pf::kPortSuccess) return;
  const auto& hello = connection.connection_message();
  const bool good_hello = hello.size() == 40 && std::memcmp(hello.data() + 24, "TavComm ", 8) == 0;
  if (options.refuse || !good_hello) {
    connection.answer_connect(false);
    return;
  }
  if (connection.answer_connect(true) != pf::kPortSuccess) return;
  ++statistics.connections;
  statistics.last_attribute_flags = connection.attributes().flags;
  statistics.last_impersonation_level = connection.attributes().qos_impersonation_level;
  std::vector<std::uint8_t> message;
  pf::PortView view;
  while (connection.receive(message, view, -1) == pf::kPortSuccess) {
    HandleMessage(connection, message, view, options, statistics, stop);
  }
}

}  // namespace korv::standin
