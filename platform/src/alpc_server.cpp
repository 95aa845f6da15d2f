#include "platform/alpc_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "alpc_datagram.h"

namespace korv::platform {
namespace {

// mkdir -p for the directory part of path.
bool make_parent_dirs(const std::string& path) {
  for (std::size_t pos = path.find('/', 1); pos != std::string::npos;
       pos = path.find('/', pos + 1)) {
    std::string dir = path.substr(0, pos);
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// True when a server answers on path; a socket file left by a dead server does not.
bool someone_listens(const sockaddr_un& addr) {
  PortFd probe(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!probe.valid()) return false;
  return ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
}

}  // namespace

AlpcServerPort::~AlpcServerPort() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

PortStatus AlpcServerPort::listen(const std::string& object_name,
                                  std::unique_ptr<AlpcServerPort>& out) {
  out.reset();
  std::string path = port_socket_path(object_name);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof(addr.sun_path)) return kPortInvalidParameter;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  if (!make_parent_dirs(path)) return kPortNameNotFound;
  if (someone_listens(addr)) return kPortConnectionRefused;  // the name is taken
  ::unlink(path.c_str());
  PortFd sock(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!sock.valid()) return kPortNoMemory;
  if (::bind(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::listen(sock.get(), 64) != 0) {
    return kPortNameNotFound;
  }
  out = std::make_unique<AlpcServerPort>(Tag{}, std::move(sock), std::move(path));
  return kPortSuccess;
}

PortStatus AlpcServerPort::accept(std::unique_ptr<AlpcConnection>& out) {
  out.reset();
  PortFd client;
  do {
    client.reset(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  } while (!client.valid() && errno == EINTR);
  if (!client.valid()) return kPortDisconnected;
  out = std::make_unique<AlpcConnection>(AlpcConnection::Tag{}, std::move(client));
  return kPortSuccess;
}

PortStatus AlpcConnection::read_connect_request(int timeout_ms) {
  std::vector<std::uint8_t> bytes;
  PortFd passed;
  if (PortStatus s = detail::receive_datagram(socket_.get(), bytes, passed, timeout_ms);
      s != kPortSuccess) {
    return s;
  }
  PortMessageHeader header{};
  if (!read_port_header(bytes, header) ||
      (header.type & kPortTypeMask) != kPortTypeConnectionRequest ||
      !read_port_attributes(std::span(bytes).subspan(header.total_length), attributes_)) {
    return kPortInvalidMessage;
  }
  bytes.resize(header.total_length);
  connection_message_ = std::move(bytes);
  return kPortSuccess;
}

PortStatus AlpcConnection::answer_connect(bool accept) {
  std::uint8_t message[kPortMessageHeaderSize + 4] = {};
  PortMessageHeader header{};
  header.data_length = 4;
  header.total_length = sizeof(message);
  header.type = kPortTypeConnectionReply;
  write_port_header(message, header);
  std::int32_t status = accept ? kPortSuccess : kPortConnectionRefused;
  std::memcpy(message + kPortMessageHeaderSize, &status, 4);
  PortStatus s = detail::send_datagram(socket_.get(), message, {}, -1);
  if (!accept) ::shutdown(socket_.get(), SHUT_RDWR);
  return s;
}

PortStatus AlpcConnection::receive(std::vector<std::uint8_t>& message, PortView& view,
                                   int timeout_ms) {
  view.reset();
  PortFd passed;
  if (PortStatus s = detail::receive_datagram(socket_.get(), message, passed, timeout_ms);
      s != kPortSuccess) {
    return s;
  }
  PortMessageHeader header{};
  if (!read_port_header(message, header)) return kPortInvalidMessage;
  std::uint32_t view_flags = 0;
  if (message.size() >= std::size_t{header.total_length} + detail::kViewTrailerSize) {
    std::uint32_t kind;
    std::memcpy(&kind, message.data() + header.total_length, 4);
    if (kind == detail::kTrailerDataView) {
      std::memcpy(&view_flags, message.data() + header.total_length + 4, 4);
    }
  }
  message.resize(header.total_length);
  if (passed.valid()) return PortView::map_received(std::move(passed), view_flags, view);
  return kPortSuccess;
}

PortStatus AlpcConnection::reply(const PortMessageHeader& request, std::uint16_t extra_type_bits,
                                 std::span<const std::uint8_t> data, const PortView* view) {
  if (data.size() > kPortMaxMessageLength - kPortMessageHeaderSize) return kPortInvalidParameter;
  std::vector<std::uint8_t> message(kPortMessageHeaderSize + data.size());
  PortMessageHeader header{};
  header.data_length = static_cast<std::uint16_t>(data.size());
  header.total_length = static_cast<std::uint16_t>(message.size());
  header.type = static_cast<std::uint16_t>(kPortTypeReply | extra_type_bits);
  header.message_id = request.message_id;
  write_port_header(message, header);
  if (!data.empty()) std::memcpy(message.data() + kPortMessageHeaderSize, data.data(), data.size());
  std::uint8_t trailer[detail::kViewTrailerSize] = {};
  std::span<const std::uint8_t> trailer_span;
  int fd = -1;
  if (view != nullptr && view->valid()) {
    std::uint32_t kind = detail::kTrailerDataView, flags = view->flags();
    std::memcpy(trailer, &kind, 4);
    std::memcpy(trailer + 4, &flags, 4);
    trailer_span = trailer;
    fd = view->fd();
  }
  return detail::send_datagram(socket_.get(), message, trailer_span, fd);
}

void AlpcConnection::shutdown() { ::shutdown(socket_.get(), SHUT_RDWR); }

}  // namespace korv::platform
