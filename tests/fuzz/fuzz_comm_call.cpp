// CommImp::Call's unpacking of the service's reply: a 12-byte head (head
// size 12, status, body length) and the body. The transport below is a fake
// that hands over the input's bytes as the reply, as a damaged or hostile
// service might send them.
//
// Input: control byte (bit 0: the transport fails; bit 1: it overstates the
// reply's length), u16 reply capacity of the caller, u8 request length, the
// request, then the raw reply.
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "product/comm.h"

namespace {

std::uint32_t load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

constexpr std::uint32_t kCommand = 0x01000600;
constexpr std::uint32_t kParameter = 36;

struct Script {
  bool transport_fails = false;
  bool overstate_length = false;
  std::span<const std::uint8_t> request;
  std::span<const std::uint8_t> raw_reply;
};

class FakeClient : public ITavcommClient {
 public:
  explicit FakeClient(const Script& script) : script_(script) {}

  int Initialize(std::uint32_t, std::uint32_t, std::uint32_t) override { return 0; }
  void Disconnect() override {}
  int SendReceive(std::uint32_t, std::uint32_t, const void*, std::uint32_t, std::vector<std::uint8_t>*,
                  std::int64_t) override {
    korv::fuzz::fail("CommImp uses the fixed-buffer form", __FILE__, __LINE__);
  }
  int SendReceive(std::uint32_t flags, std::uint32_t message_type, const void* payload,
                  std::uint32_t payload_length, void* reply, std::uint32_t reply_capacity,
                  std::uint32_t* reply_length, std::int64_t) override {
    // The request goes out framed: head size, command, parameter, then the body.
    KORV_FUZZ_CHECK(flags == 0 && message_type == kCommMessageType);
    KORV_FUZZ_CHECK(payload_length == kCommHeaderSize + script_.request.size());
    const auto* p = static_cast<const std::uint8_t*>(payload);
    KORV_FUZZ_CHECK(load32(p) == kCommHeaderSize && load32(p + 4) == kCommand && load32(p + 8) == kParameter);
    KORV_FUZZ_CHECK(std::memcmp(p + kCommHeaderSize, script_.request.data(), script_.request.size()) == 0);

    if (script_.transport_fails) return 1;
    if (script_.raw_reply.size() > reply_capacity) return 6;
    if (!script_.raw_reply.empty()) std::memcpy(reply, script_.raw_reply.data(), script_.raw_reply.size());
    *reply_length = static_cast<std::uint32_t>(script_.raw_reply.size()) + (script_.overstate_length ? 64 : 0);
    return 0;
  }

 private:
  const Script& script_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  korv::fuzz::InputReader in(data, size);
  const std::uint8_t control = in.u8();
  const std::uint16_t capacity = in.u16();
  Script script;
  script.transport_fails = (control & 0x01) != 0;
  script.overstate_length = (control & 0x02) != 0;
  script.request = in.bytes(in.u8());
  const std::vector<std::uint8_t> raw(in.rest().begin(), in.rest().end());
  script.raw_reply = raw;

  CommImp comm(std::make_unique<FakeClient>(script));
  const std::vector<std::uint8_t> request(script.request.begin(), script.request.end());
  std::vector<std::uint8_t> reply;
  reply.reserve(capacity);
  const std::size_t room = reply.capacity();
  const int result = comm.Call(kCommand, kParameter, 0, request, reply);

  // What a careful reader of the reply makes of it.
  if (script.overstate_length) {
    // Within its own buffer the overstatement cannot be seen; past it, it must be refused.
    if (raw.size() + 64 > room + kCommHeaderSize) KORV_FUZZ_CHECK(result == kCommCallFailed);
    return 0;
  }
  bool malformed = script.transport_fails || raw.size() < kCommHeaderSize ||
                   raw.size() > room + kCommHeaderSize;
  if (!malformed) malformed = load32(raw.data()) != kCommHeaderSize || load32(raw.data() + 8) > raw.size() - kCommHeaderSize;
  if (malformed) {
    KORV_FUZZ_CHECK(result == kCommCallFailed);
    return 0;
  }
  KORV_FUZZ_CHECK(result == static_cast<int>(load32(raw.data() + 4)));
  const std::uint32_t body = load32(raw.data() + 8);
  KORV_FUZZ_CHECK(reply.size() == body);
  KORV_FUZZ_CHECK(body == 0 || std::memcmp(reply.data(), raw.data() + kCommHeaderSize, body) == 0);
  return 0;
}
