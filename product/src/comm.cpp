#include "product/comm.h"

#include <cstring>
#include <limits>

namespace {

std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void Store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// The largest reply capacity that still fits a u32 with the 12-byte header.
constexpr std::size_t kMaxReplyCapacity = std::numeric_limits<std::uint32_t>::max() - kCommHeaderSize;

}  // namespace

CommImp::CommImp(std::unique_ptr<ITavcommClient> client, std::int64_t timeout_ms)
    : m_owner(std::move(client)), m_timeoutMs(timeout_ms) {
  m_client = m_owner.get();
}

CommImp::~CommImp() {
  if (m_owner) m_owner->Disconnect();
}

void CommImp::EnsureClient() {
  std::lock_guard lock(m_createLock);
  if (m_owner) return;
  auto client = std::make_unique<CTavcommAlpcClient>();
  if (client->Initialize(kTavcommClientId, kTavcommServerId, 0) != 0) {
    client->Disconnect();
    return;  // the next GetComm tries again
  }
  m_owner = std::move(client);
  m_client = m_owner.get();
}

int CommImp::Call(std::uint32_t command, std::uint32_t parameter, std::uint32_t /*reserved*/,
                  const std::vector<std::uint8_t>& request, std::vector<std::uint8_t>& reply) {
  ITavcommClient* client = m_client.load();
  if (client == nullptr) return kCommCallFailed;
  if (request.size() > kMaxReplyCapacity) return kCommCallFailed;

  std::vector<std::uint8_t> message(kCommHeaderSize + request.size());
  Store32(message.data() + 0, kCommHeaderSize);
  Store32(message.data() + 4, command);
  Store32(message.data() + 8, parameter);
  if (!request.empty()) std::memcpy(message.data() + kCommHeaderSize, request.data(), request.size());

  const std::size_t capacity = std::min(reply.capacity(), kMaxReplyCapacity);
  std::vector<std::uint8_t> received(capacity + kCommHeaderSize);
  std::uint32_t got = 0;
  int result = client->SendReceive(0, kCommMessageType, message.data(),
                                   static_cast<std::uint32_t>(message.size()), received.data(),
                                   static_cast<std::uint32_t>(received.size()), &got, m_timeoutMs);
  if (result != 0 || got < kCommHeaderSize || got > received.size() ||
      Load32(received.data()) != kCommHeaderSize) {
    return kCommCallFailed;
  }
  const std::uint32_t status = Load32(received.data() + 4);
  const std::uint32_t body = Load32(received.data() + 8);
  // A body length beyond what arrived is a malformed reply, not a read past the end.
  if (body > got - kCommHeaderSize) return kCommCallFailed;
  reply.assign(received.begin() + kCommHeaderSize, received.begin() + kCommHeaderSize + body);
  return static_cast<int>(status);
}

IComm* GetComm() {
  static CommImp comm;  // destroyed at exit, which disconnects the client
  if (!comm.HasClient()) comm.EnsureClient();
  return &comm;
}
