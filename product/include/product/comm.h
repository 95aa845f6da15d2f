#pragma once
// The command layer over the service transport: a command code, a parameter
// word and a request body framed into one payload; the reply unpacked into the
// command's status and a reply body.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "product/tavcomm_client.h"

// Result of Call when there is no transport, the transport failed or the reply
// is malformed.
inline constexpr int kCommCallFailed = 12;
inline constexpr std::uint32_t kCommHeaderSize = 12;
inline constexpr std::uint32_t kCommMessageType = 3;
// How long one Call may take in all, connecting and the transport's retry
// included. The service answers in milliseconds; a wedged one must not hold a
// caller (the viewer's start, korvlog) for longer than this.
inline constexpr std::int64_t kCommCallTimeoutMs = 3000;

class IComm {
 public:
  virtual ~IComm() = default;
  // reply's capacity says how much reply body the caller takes; its contents
  // are replaced by the reply body. Returns the command status or 12.
  virtual int Call(std::uint32_t command, std::uint32_t parameter, std::uint32_t reserved,
                   const std::vector<std::uint8_t>& request,
                   std::vector<std::uint8_t>& reply) = 0;
};

class CommImp : public IComm {
 public:
  CommImp() = default;
  explicit CommImp(std::unique_ptr<ITavcommClient> client,
                   std::int64_t timeout_ms = kCommCallTimeoutMs);
  ~CommImp() override;  // disconnects the client before destroying it
  CommImp(const CommImp&) = delete;  // owns the client
  CommImp& operator=(const CommImp&) = delete;

  int Call(std::uint32_t command, std::uint32_t parameter, std::uint32_t reserved,
           const std::vector<std::uint8_t>& request, std::vector<std::uint8_t>& reply) override;

  bool HasClient() const { return m_client.load() != nullptr; }
  // Creates and initialises the client when there is none yet (GetComm's step).
  void EnsureClient();

 private:
  std::mutex m_createLock;  // serialises EnsureClient; m_owner changes only under it
  std::unique_ptr<ITavcommClient> m_owner;
  std::atomic<ITavcommClient*> m_client{nullptr};  // m_owner.get() once it is initialised
  std::int64_t m_timeoutMs = kCommCallTimeoutMs;    // handed to every SendReceive
};

// The process's single command channel. Never null; it may hold no transport.
IComm* GetComm();
