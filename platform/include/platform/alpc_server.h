#pragma once
// The server end of a local port: a listening SOCK_SEQPACKET socket under the
// object root, and one connection object per accepted client. Used by the
// stand-in service and by tests; the viewer itself is only a client.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/alpc_message.h"

namespace korv::platform {

class AlpcConnection;

class AlpcServerPort {
  struct Tag {
    explicit Tag() = default;
  };

 public:
  AlpcServerPort(Tag, PortFd socket, std::string path)
      : socket_(std::move(socket)), path_(std::move(path)) {}
  ~AlpcServerPort();  // removes the socket file
  AlpcServerPort(const AlpcServerPort&) = delete;  // the socket file has one owner
  AlpcServerPort& operator=(const AlpcServerPort&) = delete;

  // Creates the port of object_name, making the BaseNamedObjects directory when
  // missing and replacing a stale socket file that nobody listens on.
  static PortStatus listen(const std::string& object_name, std::unique_ptr<AlpcServerPort>& out);

  int fd() const { return socket_.get(); }  // readable when a client connects

  // Accepts one client socket. The caller then reads its connection request
  // and answers it, on the connection's own thread.
  PortStatus accept(std::unique_ptr<AlpcConnection>& out);

 private:
  PortFd socket_;
  std::string path_;
};

class AlpcConnection {
  struct Tag {
    explicit Tag() = default;
  };
  friend class AlpcServerPort;

 public:
  AlpcConnection(Tag, PortFd socket) : socket_(std::move(socket)) {}
  AlpcConnection(const AlpcConnection&) = delete;  // one socket, one owner
  AlpcConnection& operator=(const AlpcConnection&) = delete;

  // Reads the connect request: the connection message and the port attributes.
  PortStatus read_connect_request(int timeout_ms);

  // The connection message as the client sent it (header first) and its attributes.
  const std::vector<std::uint8_t>& connection_message() const { return connection_message_; }
  const PortAttributes& attributes() const { return attributes_; }

  // Accepts or refuses; a refused connection is closed.
  PortStatus answer_connect(bool accept);

  // Waits (negative: no limit) for the next message from the client: a request,
  // a datagram or a release (see the header's type word). message holds the
  // message bytes, header first; view a section that came with it.
  PortStatus receive(std::vector<std::uint8_t>& message, PortView& view, int timeout_ms);

  // Answers request with data (at most 65,495 bytes) and optionally a view;
  // extra_type_bits go into the reply's type word (kPortTypeReleaseRequired).
  PortStatus reply(const PortMessageHeader& request, std::uint16_t extra_type_bits,
                   std::span<const std::uint8_t> data, const PortView* view);

  // Makes a receive in progress on another thread return.
  void shutdown();

 private:
  PortFd socket_;
  std::vector<std::uint8_t> connection_message_;
  PortAttributes attributes_;
};

}  // namespace korv::platform
