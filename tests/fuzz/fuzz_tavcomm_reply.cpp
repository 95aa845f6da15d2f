// The transport client's reading of the service's reply message, over a real
// local port: an in-process server answers every request with the input's
// bytes (status word, length word, data), optionally with a section view.
// The client must take only what the message or the view holds.
//
// Input: control byte (bit 0: reply needs a release; bit 1: attach a view;
// bit 2: the view lacks the section flag; bit 3: growable reply buffer),
// u16 fixed reply capacity, u16 extra view size, then the reply data.
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fuzz_support.h"
#include "platform/alpc_message.h"
#include "platform/alpc_server.h"
#include "product/tavcomm_client.h"

namespace pf = korv::platform;

namespace {

constexpr std::uint8_t kRelease = 0x01;
constexpr std::uint8_t kWithView = 0x02;
constexpr std::uint8_t kViewNotSection = 0x04;
constexpr std::uint8_t kGrowable = 0x08;
constexpr std::size_t kMaxReplyData = pf::kPortMaxMessageLength - pf::kPortMessageHeaderSize;

std::uint32_t load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint8_t view_byte(std::size_t i) { return static_cast<std::uint8_t>(i * 7 + 1); }

struct Script {
  std::uint8_t control = 0;
  std::size_t view_size = 0;
  std::vector<std::uint8_t> data;
};

// Answers every request on the client's port with the current script.
class ScriptedService {
 public:
  ScriptedService() {
    // The port's socket lives under the object root: a private one per process.
    ::setenv("KORV_OBJECT_ROOT", korv::fuzz::ScratchDir::get().file("objects").c_str(), 1);
    const std::string name = FormatTavcommPortName(kTavcommClientId, kTavcommServerId);
    if (pf::AlpcServerPort::listen(name, port_) != pf::kPortSuccess) korv::fuzz::fail("listen", __FILE__, __LINE__);
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedService() {
    stopping_ = true;
    ::shutdown(port_->fd(), SHUT_RDWR);
    {
      std::lock_guard lock(mutex_);
      if (connection_) connection_->shutdown();
    }
    thread_.join();
  }
  ScriptedService(const ScriptedService&) = delete;
  ScriptedService& operator=(const ScriptedService&) = delete;

  void set(Script script) {
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
  }

 private:
  void serve() {
    while (!stopping_) {
      std::unique_ptr<pf::AlpcConnection> accepted;
      if (port_->accept(accepted) != pf::kPortSuccess) continue;
      std::shared_ptr<pf::AlpcConnection> connection(std::move(accepted));
      {
        std::lock_guard lock(mutex_);
        connection_ = connection;
      }
      if (connection->read_connect_request(2000) != pf::kPortSuccess || connection->answer_connect(true) != pf::kPortSuccess)
        continue;
      std::vector<std::uint8_t> message;
      pf::PortView view;
      while (!stopping_ && connection->receive(message, view, -1) == pf::kPortSuccess) {
        pf::PortMessageHeader header{};
        if (!pf::read_port_header(message, header)) continue;
        if ((header.type & pf::kPortTypeReleaseRequired) != 0) continue;
        if ((header.type & pf::kPortTypeMask) != pf::kPortTypeRequest) continue;
        answer(*connection, header);
      }
    }
  }

  void answer(pf::AlpcConnection& connection, const pf::PortMessageHeader& request) {
    Script script;
    {
      std::lock_guard lock(mutex_);
      script = script_;
    }
    pf::PortView view;
    if (script.control & kWithView) {
      if (pf::PortView::create(script.view_size, view) != pf::kPortSuccess) korv::fuzz::fail("view", __FILE__, __LINE__);
      for (std::size_t i = 0; i < script.view_size; ++i) view.data()[i] = view_byte(i);
      view.set_flags((script.control & kViewNotSection) ? 0 : pf::kPortViewFlagsCreated);
    }
    const std::uint16_t bits = (script.control & kRelease) ? pf::kPortTypeReleaseRequired : 0;
    connection.reply(request, bits, script.data, view.valid() ? &view : nullptr);
  }

  std::unique_ptr<pf::AlpcServerPort> port_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;                                 // guards script_ and connection_
  Script script_;                                    // what the next reply carries
  std::shared_ptr<pf::AlpcConnection> connection_;   // the client's, for the shutdown
  std::thread thread_;                               // runs serve(); joined by the destructor
};

struct Fixture {
  ScriptedService service;  // made first, so destroyed after the client has disconnected
  CTavcommAlpcClient client;
  Fixture() {
    if (client.Initialize(kTavcommClientId, kTavcommServerId, 0) != 0) korv::fuzz::fail("initialize", __FILE__, __LINE__);
  }
};

// The reply's body as a careful reader sees it, or the result it must give.
struct Expected {
  int result = 0;
  const std::uint8_t* body = nullptr;  // into the script's data, or null for the view
  std::uint32_t length = 0;
};

Expected expect(const Script& s, bool growable, std::uint32_t capacity) {
  if (s.data.size() < 8) return {1};
  const std::uint32_t status = load32(s.data.data());
  if (status != 0) return {static_cast<int>(status)};
  const std::uint32_t n = load32(s.data.data() + 4);
  Expected e{0, nullptr, n};
  if (n <= kTavcommMaxInlineReply) {
    if (s.data.size() - 8 < n) return {1};
    e.body = s.data.data() + 8;
  } else if (!(s.control & kWithView) || (s.control & kViewNotSection) || s.view_size < n) {
    return {1};
  }
  if (!growable && capacity < n && n > 0) return {6};
  return e;
}

bool same_body(const Expected& e, const std::uint8_t* got) {
  for (std::uint32_t i = 0; i < e.length; ++i)
    if (got[i] != (e.body != nullptr ? e.body[i] : view_byte(i))) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture fixture;
  korv::fuzz::InputReader in(data, size);
  Script script;
  script.control = in.u8();
  const std::uint32_t capacity = in.u16();
  script.view_size = kTavcommMaxInlineReply + 1 + in.u16();
  const auto rest = in.bytes(kMaxReplyData);
  script.data.assign(rest.begin(), rest.end());
  fixture.service.set(script);

  const bool growable = (script.control & kGrowable) != 0;
  const Expected e = expect(script, growable, capacity);
  const std::uint8_t request[] = {'p', 'i', 'n', 'g'};
  if (growable) {
    std::vector<std::uint8_t> reply(3, 0xAA);
    const int result = fixture.client.SendReceive(0, 3, request, sizeof request, &reply, 5000);
    KORV_FUZZ_CHECK(result == e.result);
    if (result == 0) KORV_FUZZ_CHECK(reply.size() == e.length && same_body(e, reply.data()));
  } else {
    std::vector<std::uint8_t> reply(capacity);
    std::uint32_t length = 0xFFFFFFFF;
    const int result =
        fixture.client.SendReceive(0, 3, request, sizeof request, reply.data(), capacity, &length, 5000);
    KORV_FUZZ_CHECK(result == e.result);
    if (result == 0) KORV_FUZZ_CHECK(length == e.length && length <= capacity && same_body(e, reply.data()));
  }
  return 0;
}
