#pragma once
// The transport to the product service: one request and one reply per call
// over the service's local port, connected on demand. Payloads too large for a
// message travel in a section view, and so do large replies.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

namespace korv::platform {
class AlpcPort;
}

// Channel identifiers: four ASCII characters read as a little-endian number.
inline constexpr std::uint32_t kTavcommClientId = 0x4955474B;  // "KGUI"
inline constexpr std::uint32_t kTavcommServerId = 0x3156534B;  // "KSV1"

// Largest payload sent inside the request message, and largest reply data
// accepted inside the reply message; beyond them a section view is used.
inline constexpr std::uint32_t kTavcommMaxInlinePayload = 65479;
inline constexpr std::uint32_t kTavcommMaxInlineReply = 65487;

// SendReceive flag: one-way, no reply expected.
inline constexpr std::uint32_t kTavcommOneWay = 0x1;

// "\BaseNamedObjects\TAVCOMM%08XTo%08XCommPortAlpc" with the two ids.
std::string FormatTavcommPortName(std::uint32_t client_id, std::uint32_t server_id);

// Result codes: 0 success; 1 transport failure; 4 already initialised; 6 the
// fixed reply buffer is too small; 9 time-out; 10 unsupported Initialize flag;
// any other value is the service's own status, passed through, except that the
// service's status 1 is answered as kTavcommServiceStatusOne: 1 is the client's
// own "connection broken", after which it reconnects and sends again.
inline constexpr int kTavcommServiceStatusOne = 2;
class ITavcommClient {
 public:
  virtual ~ITavcommClient() = default;
  virtual int Initialize(std::uint32_t client_id, std::uint32_t server_id, std::uint32_t flags) = 0;
  virtual void Disconnect() = 0;
  // Reply into a growable buffer: its contents are replaced by the reply data.
  virtual int SendReceive(std::uint32_t flags, std::uint32_t message_type, const void* payload,
                          std::uint32_t payload_length, std::vector<std::uint8_t>* reply,
                          std::int64_t timeout_ms) = 0;
  // Reply into a fixed buffer of reply_capacity bytes; reply_length receives n.
  // timeout_ms 0 waits without limit; otherwise it bounds the whole call,
  // connecting and the retry after a transport failure included (result 9).
  virtual int SendReceive(std::uint32_t flags, std::uint32_t message_type, const void* payload,
                          std::uint32_t payload_length, void* reply, std::uint32_t reply_capacity,
                          std::uint32_t* reply_length, std::int64_t timeout_ms) = 0;
  // The product's broadcast channel (two more operations) is not used by the
  // viewer and is not provided.
};

// Holds what the broadcast channel would need; the viewer never opens it.
class CTavcommCommonNt {
 public:
  virtual ~CTavcommCommonNt() = default;

 protected:
  std::mutex m_broadcastLock;  // guards the broadcast channel's objects (none are opened)
};

class CTavcommAlpcClient : public ITavcommClient, public CTavcommCommonNt {
 public:
  CTavcommAlpcClient();
  // Destroy only after Disconnect; the destructor disconnects if that was forgotten.
  ~CTavcommAlpcClient() override;
  CTavcommAlpcClient(const CTavcommAlpcClient&) = delete;  // owns the port
  CTavcommAlpcClient& operator=(const CTavcommAlpcClient&) = delete;

  int Initialize(std::uint32_t client_id, std::uint32_t server_id, std::uint32_t flags) override;
  void Disconnect() override;
  int SendReceive(std::uint32_t flags, std::uint32_t message_type, const void* payload,
                  std::uint32_t payload_length, std::vector<std::uint8_t>* reply,
                  std::int64_t timeout_ms) override;
  int SendReceive(std::uint32_t flags, std::uint32_t message_type, const void* payload,
                  std::uint32_t payload_length, void* reply, std::uint32_t reply_capacity,
                  std::uint32_t* reply_length, std::int64_t timeout_ms) override;

 private:
  struct Exchange;
  enum class ConnectResult { connected, failed, timed_out };
  // deadline_ms: steady-clock milliseconds by which the call must end, 0 for none.
  int SendReceiveOnce(const Exchange& x, std::int64_t deadline_ms, std::uint64_t& used_generation);
  ConnectResult Connect(std::int64_t deadline_ms);  // takes m_portLock exclusively
  void DropPort(std::uint64_t failed_generation);  // takes m_portLock exclusively
  int Run(const Exchange& x);

  // Written by Initialize under m_portLock (exclusive) and cleared by
  // Disconnect under the shared lock, hence atomic.
  std::atomic<std::uint32_t> m_dwClientId{0};
  std::atomic<std::uint32_t> m_dwServerId{0};
  std::atomic<std::uint32_t> m_dwFlags{0};

  // m_portLock guards m_port and m_portGeneration: shared while a call uses the
  // port, exclusive to connect, drop or close it.
  std::shared_mutex m_portLock;
  std::unique_ptr<korv::platform::AlpcPort> m_port;
  std::uint64_t m_portGeneration = 0;  // which connection a failed call used
};
