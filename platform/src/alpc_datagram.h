#pragma once
// One datagram on a port socket: the message bytes, an optional trailer after
// the message's total length (view attribute or port attributes) and at most
// one descriptor passed with SCM_RIGHTS.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/alpc_message.h"

namespace korv::platform::detail {

// Largest datagram a port accepts: one message plus the largest trailer.
inline constexpr std::size_t kMaxDatagram = kPortMaxMessageLength + kPortAttributesWireSize;

// Trailer of a message that carries a data view: u32 kind 1, u32 view flags.
inline constexpr std::uint32_t kTrailerDataView = 1;
inline constexpr std::size_t kViewTrailerSize = 8;

PortStatus send_datagram(int sock, std::span<const std::uint8_t> message,
                         std::span<const std::uint8_t> trailer, int fd_to_pass);

// Waits up to timeout_ms (negative: no limit) for one datagram. buffer is
// resized to what arrived. A datagram larger than kMaxDatagram, more than one
// descriptor, or end of stream make the port unusable and answer a failure.
PortStatus receive_datagram(int sock, std::vector<std::uint8_t>& buffer, PortFd& fd,
                            int timeout_ms);

}  // namespace korv::platform::detail
