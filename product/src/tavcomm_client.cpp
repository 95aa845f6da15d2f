#include "product/tavcomm_client.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "platform/alpc_message.h"
#include "platform/alpc_port.h"

namespace pf = korv::platform;

namespace {

constexpr std::size_t kRequestFieldsSize = 16;  // type, growable, length, capacity
constexpr std::size_t kReplyFieldsSize = 8;     // status, length
constexpr std::uint32_t kProtocolVersion = 2;
constexpr std::uint64_t kMaxGrowableCapacity = 0x7FFFFFFF;

void Store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// The service impersonates ordinary callers; LocalSystem only identifies itself.
pf::PortAttributes ConnectAttributes(bool local_system) {
  pf::PortAttributes a;
  a.flags = local_system ? 0 : 0x10000;
  a.qos_length = 12;
  a.qos_impersonation_level = local_system ? 1 : 2;
  a.qos_dynamic_tracking = 1;
  a.qos_effective_only = 0;
  return a;
}

// Replaces buf's contents with n bytes; the capacity grows to the larger of
// length + 1 and capacity * 1.5 until it fits, never beyond 0x7FFFFFFF.
bool AssignGrowable(std::vector<std::uint8_t>& buf, const std::uint8_t* data, std::uint32_t n) {
  if (n > kMaxGrowableCapacity) return false;
  buf.clear();
  std::uint64_t capacity = buf.capacity();
  while (capacity < n) capacity = std::min(std::max(capacity + 1, capacity * 3 / 2), kMaxGrowableCapacity);
  buf.reserve(static_cast<std::size_t>(capacity));
  buf.insert(buf.end(), data, data + n);
  return true;
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Milliseconds left until deadline_ms for a platform wait: 0 (no limit) without a
// deadline, at least 1 with one, as 0 would mean waiting for ever.
std::int64_t WaitMs(std::int64_t deadline_ms) {
  if (deadline_ms == 0) return 0;
  return std::max<std::int64_t>(deadline_ms - NowMs(), 1);
}

// A connect that runs on a thread of its own, so that the caller can stop
// waiting for a service that takes the connection but never answers it. The
// thread ends by itself when the port layer gives up; a port it makes after
// the caller left is closed with this state.
struct PendingConnect {
  std::mutex mutex;
  std::condition_variable done_cv;
  bool done = false;
  pf::PortStatus status = pf::kPortSuccess;
  std::unique_ptr<pf::AlpcPort> port;
};

}  // namespace

std::string FormatTavcommPortName(std::uint32_t client_id, std::uint32_t server_id) {
  char name[64];
  std::snprintf(name, sizeof(name), "\\BaseNamedObjects\\TAVCOMM%08XTo%08XCommPortAlpc",
                client_id, server_id);
  return name;
}

struct CTavcommAlpcClient::Exchange {
  std::uint32_t flags;
  std::uint32_t message_type;
  const std::uint8_t* payload;
  std::uint32_t payload_length;
  void* fixed;  // fixed reply buffer, or null
  std::uint32_t fixed_capacity;
  std::uint32_t* reply_length;
  std::vector<std::uint8_t>* growable;  // growable reply buffer, or null
  std::int64_t timeout_ms;
};

CTavcommAlpcClient::CTavcommAlpcClient() = default;

CTavcommAlpcClient::~CTavcommAlpcClient() { Disconnect(); }

int CTavcommAlpcClient::Initialize(std::uint32_t client_id, std::uint32_t server_id,
                                   std::uint32_t flags) {
  if ((flags & 0x2) != 0) return 10;
  std::unique_lock lock(m_portLock);
  if (m_dwClientId.load() != 0 || m_dwServerId.load() != 0) return 4;
  m_dwClientId = client_id;
  m_dwServerId = server_id;
  m_dwFlags = flags;
  return 0;
}

void CTavcommAlpcClient::Disconnect() {
  {
    // Clearing the ids first keeps a failing call's retry from reconnecting.
    std::shared_lock lock(m_portLock);
    m_dwClientId = 0;
    m_dwServerId = 0;
    m_dwFlags = 0;
    if (m_port) m_port->disconnect();  // calls waiting on the port return now
  }
  std::unique_lock lock(m_portLock);
  m_port.reset();
  std::lock_guard broadcast(m_broadcastLock);  // no broadcast objects to close
}

CTavcommAlpcClient::ConnectResult CTavcommAlpcClient::Connect(std::int64_t deadline_ms) {
  std::unique_lock lock(m_portLock);
  if (m_port) return ConnectResult::connected;
  std::uint32_t client = m_dwClientId.load(), server = m_dwServerId.load();
  if (client == 0 || server == 0) return ConnectResult::failed;

  std::array<std::uint8_t, 40> message{};
  pf::PortMessageHeader header{};
  header.data_length = 16;
  header.total_length = 40;
  pf::write_port_header(message, header);
  std::memcpy(message.data() + 24, "TavComm ", 8);
  Store32(message.data() + 32, kProtocolVersion);
  Store32(message.data() + 36, kTavcommMaxInlineReply);

  const bool local_system = ::geteuid() == 0;
  const std::string name = FormatTavcommPortName(client, server);
  std::unique_ptr<pf::AlpcPort> port;
  if (deadline_ms == 0) {
    if (pf::AlpcPort::connect(name, ConnectAttributes(local_system), message, port) != pf::kPortSuccess)
      return ConnectResult::failed;
  } else {
    auto pending = std::make_shared<PendingConnect>();
    try {
      std::thread([pending, name, local_system, message] {
        std::unique_ptr<pf::AlpcPort> made;
        const pf::PortStatus status =
            pf::AlpcPort::connect(name, ConnectAttributes(local_system), message, made);
        std::lock_guard done(pending->mutex);
        pending->status = status;
        pending->port = std::move(made);
        pending->done = true;
        pending->done_cv.notify_all();
      }).detach();
    } catch (const std::system_error&) {
      return ConnectResult::failed;  // no thread to be had: a transport failure like any other
    }
    std::unique_lock wait(pending->mutex);
    const auto until = std::chrono::steady_clock::time_point(std::chrono::milliseconds(deadline_ms));
    if (!pending->done_cv.wait_until(wait, until, [&] { return pending->done; }))
      return ConnectResult::timed_out;
    if (pending->status != pf::kPortSuccess) return ConnectResult::failed;
    port = std::move(pending->port);
  }
  m_port = std::move(port);
  ++m_portGeneration;
  return ConnectResult::connected;
}

void CTavcommAlpcClient::DropPort(std::uint64_t failed_generation) {
  std::unique_lock lock(m_portLock);
  // Another thread may already have replaced the broken port with a good one.
  if (m_port && m_portGeneration == failed_generation) m_port.reset();
}

int CTavcommAlpcClient::SendReceiveOnce(const Exchange& x, std::int64_t deadline_ms,
                                        std::uint64_t& used_generation) {
  std::shared_lock lock(m_portLock);
  if (!m_port) {
    lock.unlock();
    switch (Connect(deadline_ms)) {
      case ConnectResult::connected: break;
      case ConnectResult::failed: return 1;
      case ConnectResult::timed_out: return 9;
    }
    lock.lock();
    if (!m_port) return 1;
  }
  used_generation = m_portGeneration;

  const bool one_way = (x.flags & kTavcommOneWay) != 0;
  const bool inline_payload = x.payload_length <= kTavcommMaxInlinePayload;
  // One maximum message each way; only larger payloads and replies use views.
  std::array<std::uint8_t, pf::kPortMaxMessageLength> request;
  std::array<std::uint8_t, pf::kPortMaxMessageLength> received;

  const std::size_t data_length =
      kRequestFieldsSize + (inline_payload ? x.payload_length : 0);
  pf::PortMessageHeader header{};
  header.data_length = static_cast<std::uint16_t>(data_length);
  header.total_length = static_cast<std::uint16_t>(data_length + pf::kPortMessageHeaderSize);
  std::fill_n(request.begin(), pf::kPortMessageHeaderSize, 0);
  pf::write_port_header(request, header);
  std::uint8_t* fields = request.data() + pf::kPortMessageHeaderSize;
  Store32(fields + 0, x.message_type);
  Store32(fields + 4, (!one_way && x.growable != nullptr) ? 1 : 0);
  Store32(fields + 8, x.payload_length);
  Store32(fields + 12, (!one_way && x.fixed != nullptr) ? x.fixed_capacity : 0);

  pf::PortView send_view;
  if (inline_payload) {
    if (x.payload_length > 0) std::memcpy(fields + kRequestFieldsSize, x.payload, x.payload_length);
  } else {
    if (pf::PortView::create(x.payload_length, send_view) != pf::kPortSuccess) return 1;
    send_view.set_flags(pf::kPortViewFlagsCreated);
    std::memcpy(send_view.data(), x.payload, x.payload_length);
  }
  std::span<std::uint8_t> message(request.data(), header.total_length);
  const pf::PortView* view = inline_payload ? nullptr : &send_view;

  if (one_way) {
    pf::PortStatus s = m_port->send_wait_receive(pf::kPortSendReleaseMessage, message, view, {},
                                                 nullptr, nullptr, 0);
    return s < 0 ? 1 : (s == pf::kPortTimeout ? 9 : 0);
  }

  std::size_t got = 0;
  pf::PortView reply_view;  // unmapped when it goes out of scope
  pf::PortStatus s = m_port->send_wait_receive(pf::kPortSendSyncRequest, message, view, received,
                                               &got, &reply_view, WaitMs(deadline_ms));
  if (s < 0) return 1;
  if (s == pf::kPortTimeout) return 9;
  if (s != pf::kPortSuccess) return 0;

  int result = 0;
  pf::PortMessageHeader reply{};
  std::memcpy(&reply, received.data(), pf::kPortMessageHeaderSize);
  // A reply too short to hold the status and the length cannot be read.
  if (got < pf::kPortMessageHeaderSize + kReplyFieldsSize) {
    result = 1;
  } else if (std::uint32_t status = Load32(received.data() + 24); status != 0) {
    // The service's own 1 would read as this client's transport failure and make Run
    // drop a working connection and send the request a second time.
    result = status == 1 ? kTavcommServiceStatusOne : static_cast<int>(status);
  } else {
    const std::uint32_t n = Load32(received.data() + 28);
    const std::uint8_t* data = nullptr;
    if (n <= kTavcommMaxInlineReply) {
      // The length must not claim more than the message holds.
      if (got - pf::kPortMessageHeaderSize - kReplyFieldsSize >= n) data = received.data() + 32;
    } else if (reply_view.valid() && reply_view.size() >= n &&
               (reply_view.flags() & pf::kPortSectionFlags) != 0) {
      data = reply_view.data();
    }
    if (data == nullptr) {
      result = 1;
    } else if (x.fixed != nullptr && x.fixed_capacity >= n) {
      if (n > 0) std::memcpy(x.fixed, data, n);
      if (x.reply_length != nullptr) *x.reply_length = n;
    } else if (x.growable != nullptr) {
      if (!AssignGrowable(*x.growable, data, n)) result = 1;
    } else if (n > 0) {
      result = 6;
    } else if (x.reply_length != nullptr) {
      *x.reply_length = 0;
    }
  }
  if ((reply.type & pf::kPortTypeReleaseRequired) != 0) {
    m_port->send_wait_receive(pf::kPortSendReleaseMessage,
                              std::span<std::uint8_t>(received.data(), reply.total_length),
                              nullptr, {}, nullptr, nullptr, 0);
  }
  return result;
}

int CTavcommAlpcClient::Run(const Exchange& x) {
  if (x.payload == nullptr && x.payload_length > 0) return 1;
  const std::int64_t deadline_ms = x.timeout_ms > 0 ? NowMs() + x.timeout_ms : 0;
  std::uint64_t generation = 0;
  int result = SendReceiveOnce(x, deadline_ms, generation);
  if (result != 1) return result;
  // The port may have died with the service: drop it and try once more,
  // which connects again, within what is left of the time-out.
  DropPort(generation);
  if (deadline_ms != 0 && NowMs() >= deadline_ms) return 9;
  return SendReceiveOnce(x, deadline_ms, generation);
}

int CTavcommAlpcClient::SendReceive(std::uint32_t flags, std::uint32_t message_type,
                                    const void* payload, std::uint32_t payload_length,
                                    std::vector<std::uint8_t>* reply, std::int64_t timeout_ms) {
  Exchange x{flags, message_type, static_cast<const std::uint8_t*>(payload), payload_length,
             nullptr, 0, nullptr, reply, timeout_ms};
  return Run(x);
}

int CTavcommAlpcClient::SendReceive(std::uint32_t flags, std::uint32_t message_type,
                                    const void* payload, std::uint32_t payload_length, void* reply,
                                    std::uint32_t reply_capacity, std::uint32_t* reply_length,
                                    std::int64_t timeout_ms) {
  if (reply_length != nullptr) *reply_length = 0;
  Exchange x{flags, message_type, static_cast<const std::uint8_t*>(payload), payload_length,
             reply, reply == nullptr ? 0 : reply_capacity, reply_length, nullptr, timeout_ms};
  return Run(x);
}
