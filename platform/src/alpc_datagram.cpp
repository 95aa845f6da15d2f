#include "alpc_datagram.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace korv::platform::detail {

PortStatus send_datagram(int sock, std::span<const std::uint8_t> message,
                         std::span<const std::uint8_t> trailer, int fd_to_pass) {
  iovec iov[2] = {{const_cast<std::uint8_t*>(message.data()), message.size()},
                  {const_cast<std::uint8_t*>(trailer.data()), trailer.size()}};
  msghdr msg{};
  msg.msg_iov = iov;
  msg.msg_iovlen = trailer.empty() ? 1 : 2;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (fd_to_pass >= 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof(control);
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd_to_pass, sizeof(int));
  }
  for (;;) {
    ssize_t n = ::sendmsg(sock, &msg, MSG_NOSIGNAL);
    if (n >= 0) return kPortSuccess;
    if (errno == EINTR) continue;
    return (errno == ENOBUFS || errno == ENOMEM) ? kPortNoMemory : kPortDisconnected;
  }
}

PortStatus receive_datagram(int sock, std::vector<std::uint8_t>& buffer, PortFd& fd,
                            int timeout_ms) {
  fd.reset();
  buffer.resize(kMaxDatagram + 1);
  pollfd p{sock, POLLIN, 0};
  for (;;) {
    int r = ::poll(&p, 1, timeout_ms);
    if (r > 0) break;
    if (r == 0) {
      buffer.clear();
      return kPortTimeout;
    }
    if (errno != EINTR) {
      buffer.clear();
      return kPortDisconnected;
    }
  }
  iovec iov{buffer.data(), buffer.size()};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  // Room for a few descriptors, so that a peer sending more than one cannot
  // leak them into this process unclosed.
  alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))] = {};
  msg.msg_control = control;
  msg.msg_controllen = sizeof(control);
  ssize_t n;
  do {
    n = ::recvmsg(sock, &msg, MSG_CMSG_CLOEXEC);
  } while (n < 0 && errno == EINTR);

  int received = 0;
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int passed;
      std::memcpy(&passed, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
      if (received++ == 0) {
        fd.reset(passed);
      } else {
        PortFd extra(passed);  // closed at once
      }
    }
  }
  if (n <= 0) {
    buffer.clear();
    fd.reset();
    return kPortDisconnected;  // end of stream: the peer went away
  }
  if (received > 1 || (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0 ||
      static_cast<std::size_t>(n) > kMaxDatagram) {
    buffer.clear();
    fd.reset();
    return kPortInvalidMessage;
  }
  buffer.resize(static_cast<std::size_t>(n));
  return kPortSuccess;
}

}  // namespace korv::platform::detail
