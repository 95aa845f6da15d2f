#pragma once
// The client end of a local port: a connected SOCK_SEQPACKET socket that
// carries one message per datagram. Several threads may send and wait on one
// port at once; each reply is handed to the thread whose request it answers.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/alpc_message.h"

namespace korv::platform {

class AlpcPort {
  struct ConnectedTag {
    explicit ConnectedTag() = default;
  };

 public:
  // Only connect() makes ports (the tag is private).
  AlpcPort(ConnectedTag, PortFd socket) : socket_(std::move(socket)) {}
  ~AlpcPort();
  AlpcPort(const AlpcPort&) = delete;  // one socket, one owner
  AlpcPort& operator=(const AlpcPort&) = delete;

  // Connects to the port of object_name and hands over the connection message
  // (a whole message, header first) and the attributes. Waits for the server
  // to accept or refuse; a server that does neither within a few seconds
  // counts as refusing, so that a wedged service cannot hang the caller.
  static PortStatus connect(const std::string& object_name, const PortAttributes& attributes,
                            std::span<const std::uint8_t> connection_message,
                            std::unique_ptr<AlpcPort>& out);

  // Sends send_message (header first, both lengths set, the type word zero)
  // and, with kPortSendSyncRequest, waits for the reply.
  //  - send_view: a section view that travels with the message, or null.
  //  - receive_buffer: receives the whole reply message; received_length its size.
  //  - receive_view: receives a view that came with the reply (mapped read-only).
  //  - timeout_ms: 0 waits without limit; the wait also ends when the peer goes
  //    away or disconnect() is called, with kPortDisconnected.
  // With kPortSendReleaseMessage the message goes without waiting. A message
  // whose type word carries kPortTypeReleaseRequired is the release of a
  // received reply: only its header goes back.
  PortStatus send_wait_receive(std::uint32_t flags, std::span<std::uint8_t> send_message,
                               const PortView* send_view,
                               std::span<std::uint8_t> receive_buffer,
                               std::size_t* received_length, PortView* receive_view,
                               std::int64_t timeout_ms);

  // Makes every wait in progress on other threads return and later calls fail.
  // The socket stays open until the port is destroyed.
  void disconnect();

 private:
  struct Waiter {
    bool done = false;
    PortStatus status = kPortSuccess;
    std::vector<std::uint8_t> bytes;
    PortFd fd;
  };

  PortStatus wait_reply(std::uint32_t id, Waiter& waiter, std::int64_t timeout_ms);
  void dispatch(std::vector<std::uint8_t>& bytes, PortFd& fd);  // called with mutex_ held
  void break_port(PortStatus status);                           // called with mutex_ held

  PortFd socket_;  // immutable after construction; closed by the destructor only

  // mutex_ guards everything below; cv_ signals a delivered reply, a free
  // reader slot or a broken port.
  std::mutex mutex_;
  std::condition_variable cv_;
  std::uint32_t next_id_ = 1;
  bool reader_active_ = false;  // one waiter at a time reads the socket for all
  PortStatus broken_ = kPortSuccess;
  std::map<std::uint32_t, Waiter*> waiters_;
};

}  // namespace korv::platform
