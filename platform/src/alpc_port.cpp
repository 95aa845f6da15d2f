#include "platform/alpc_port.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>

#include "alpc_datagram.h"

namespace korv::platform {
namespace {

using Clock = std::chrono::steady_clock;

// How long a connecting client waits for the server's accept or refusal.
constexpr int kConnectReplyTimeoutMs = 10000;

PortStatus open_socket(const std::string& path, PortFd& out) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof(addr.sun_path)) return kPortInvalidParameter;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  PortFd sock(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!sock.valid()) return kPortNoMemory;
  int r;
  do {
    r = ::connect(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    // A missing file and a file nobody listens on (a service that died) both
    // mean that the port does not exist.
    if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR) return kPortNameNotFound;
    return kPortConnectionRefused;
  }
  out = std::move(sock);
  return kPortSuccess;
}

}  // namespace

AlpcPort::~AlpcPort() = default;

PortStatus AlpcPort::connect(const std::string& object_name, const PortAttributes& attributes,
                             std::span<const std::uint8_t> connection_message,
                             std::unique_ptr<AlpcPort>& out) {
  out.reset();
  PortMessageHeader header{};
  if (!read_port_header(connection_message, header) ||
      header.total_length != connection_message.size()) {
    return kPortInvalidParameter;
  }
  PortFd sock;
  if (PortStatus s = open_socket(port_socket_path(object_name), sock); s != kPortSuccess) return s;

  std::vector<std::uint8_t> message(connection_message.begin(), connection_message.end());
  header.type = kPortTypeConnectionRequest;
  write_port_header(message, header);
  std::uint8_t attr[kPortAttributesWireSize];
  write_port_attributes(std::span<std::uint8_t, kPortAttributesWireSize>(attr), attributes);
  if (PortStatus s = detail::send_datagram(sock.get(), message, attr, -1); s != kPortSuccess) {
    return kPortConnectionRefused;
  }

  std::vector<std::uint8_t> reply;
  PortFd passed;
  PortStatus s = detail::receive_datagram(sock.get(), reply, passed, kConnectReplyTimeoutMs);
  PortMessageHeader reply_header{};
  if (s != kPortSuccess || !read_port_header(reply, reply_header) ||
      (reply_header.type & kPortTypeMask) != kPortTypeConnectionReply ||
      reply_header.data_length < 4) {
    return kPortConnectionRefused;
  }
  std::int32_t accepted;
  std::memcpy(&accepted, reply.data() + kPortMessageHeaderSize, 4);
  if (accepted != kPortSuccess) return kPortConnectionRefused;
  out = std::make_unique<AlpcPort>(ConnectedTag{}, std::move(sock));
  return kPortSuccess;
}

void AlpcPort::disconnect() {
  std::lock_guard lock(mutex_);
  break_port(kPortDisconnected);
  // Wakes a reader blocked in poll: the socket reads as end of stream.
  ::shutdown(socket_.get(), SHUT_RDWR);
}

void AlpcPort::break_port(PortStatus status) {
  if (broken_ == kPortSuccess) broken_ = status;
  cv_.notify_all();
}

void AlpcPort::dispatch(std::vector<std::uint8_t>& bytes, PortFd& fd) {
  PortMessageHeader header{};
  if (!read_port_header(bytes, header)) {
    // A peer that breaks the framing cannot be trusted with later replies either.
    break_port(kPortInvalidMessage);
    return;
  }
  if ((header.type & kPortTypeMask) != kPortTypeReply) return;  // nothing else is expected
  auto it = waiters_.find(header.message_id);
  if (it == waiters_.end()) return;  // the reply of a request that timed out
  Waiter& w = *it->second;
  w.bytes = std::move(bytes);
  w.fd = std::move(fd);
  w.status = kPortSuccess;
  w.done = true;
}

PortStatus AlpcPort::wait_reply(std::uint32_t id, Waiter& waiter, std::int64_t timeout_ms) {
  std::optional<Clock::time_point> deadline;
  if (timeout_ms > 0) deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::unique_lock lock(mutex_);
  for (;;) {
    if (waiter.done) return waiter.status;
    if (broken_ != kPortSuccess) return broken_;
    int poll_ms = -1;
    if (deadline) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
      if (left <= 0) return kPortTimeout;
      poll_ms = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    if (!reader_active_) {
      reader_active_ = true;
      lock.unlock();
      std::vector<std::uint8_t> bytes;
      PortFd fd;
      PortStatus s = detail::receive_datagram(socket_.get(), bytes, fd, poll_ms);
      lock.lock();
      reader_active_ = false;
      if (s == kPortSuccess) {
        dispatch(bytes, fd);
      } else if (s != kPortTimeout) {
        break_port(s);
      }
      cv_.notify_all();  // a reply for someone else, or the reader slot is free
    } else if (deadline) {
      cv_.wait_until(lock, *deadline);
    } else {
      cv_.wait(lock);
    }
  }
}

PortStatus AlpcPort::send_wait_receive(std::uint32_t flags, std::span<std::uint8_t> send_message,
                                       const PortView* send_view,
                                       std::span<std::uint8_t> receive_buffer,
                                       std::size_t* received_length, PortView* receive_view,
                                       std::int64_t timeout_ms) {
  if (received_length != nullptr) *received_length = 0;
  PortMessageHeader header{};
  if (!read_port_header(send_message, header) || header.total_length != send_message.size()) {
    return kPortInvalidParameter;
  }
  const bool sync = (flags & kPortSendSyncRequest) != 0;
  std::vector<std::uint8_t> out(send_message.begin(), send_message.end());
  std::uint32_t id;
  {
    std::lock_guard lock(mutex_);
    if (broken_ != kPortSuccess) return broken_;
    id = next_id_++;
  }
  if ((header.type & kPortTypeReleaseRequired) != 0) {
    // Releasing a reply: the header is enough for the server to know which.
    header.data_length = 0;
    header.total_length = kPortMessageHeaderSize;
    out.resize(kPortMessageHeaderSize);
  } else {
    header.type = sync ? kPortTypeRequest : kPortTypeDatagram;
    header.message_id = id;
  }
  write_port_header(out, header);

  std::uint8_t trailer[detail::kViewTrailerSize] = {};
  std::span<const std::uint8_t> trailer_span;
  int pass_fd = -1;
  if (send_view != nullptr && send_view->valid()) {
    std::uint32_t kind = detail::kTrailerDataView, view_flags = send_view->flags();
    std::memcpy(trailer, &kind, 4);
    std::memcpy(trailer + 4, &view_flags, 4);
    trailer_span = trailer;
    pass_fd = send_view->fd();
  }

  if (!sync) return detail::send_datagram(socket_.get(), out, trailer_span, pass_fd);

  Waiter waiter;
  {
    std::lock_guard lock(mutex_);
    waiters_[id] = &waiter;
  }
  PortStatus s = detail::send_datagram(socket_.get(), out, trailer_span, pass_fd);
  if (s == kPortSuccess) s = wait_reply(id, waiter, timeout_ms);
  {
    std::lock_guard lock(mutex_);
    waiters_.erase(id);
  }
  if (s != kPortSuccess) return s;

  PortMessageHeader reply{};
  read_port_header(waiter.bytes, reply);  // checked by dispatch
  if (reply.total_length > receive_buffer.size()) return kPortBufferTooSmall;
  std::memcpy(receive_buffer.data(), waiter.bytes.data(), reply.total_length);
  if (received_length != nullptr) *received_length = reply.total_length;
  if (waiter.fd.valid() && receive_view != nullptr) {
    std::uint32_t view_flags = 0;
    std::span<const std::uint8_t> tail(waiter.bytes.data() + reply.total_length,
                                       waiter.bytes.size() - reply.total_length);
    std::uint32_t kind = 0;
    if (tail.size() >= detail::kViewTrailerSize) {
      std::memcpy(&kind, tail.data(), 4);
      if (kind == detail::kTrailerDataView) std::memcpy(&view_flags, tail.data() + 4, 4);
    }
    return PortView::map_received(std::move(waiter.fd), view_flags, *receive_view);
  }
  return kPortSuccess;
}

}  // namespace korv::platform
