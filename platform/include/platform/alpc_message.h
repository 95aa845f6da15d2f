#pragma once
// The pieces of a local port message that both ends share: the 24-byte port
// message header, the port attributes of a connect request, the status values
// the port calls answer, and the owned descriptors and shared-memory views that
// travel beside a message. The wire mapping is written down in docs/ipc.md.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace korv::platform {

// Status of a port call, in the NT status convention the callers interpret:
// negative is a failure, 0 success, 0x102 a time-out.
using PortStatus = std::int32_t;

inline constexpr PortStatus kPortSuccess = 0;
inline constexpr PortStatus kPortTimeout = 0x102;
inline constexpr PortStatus kPortInvalidParameter = static_cast<PortStatus>(0xC000000D);
inline constexpr PortStatus kPortNoMemory = static_cast<PortStatus>(0xC0000017);
inline constexpr PortStatus kPortBufferTooSmall = static_cast<PortStatus>(0xC0000023);
inline constexpr PortStatus kPortNameNotFound = static_cast<PortStatus>(0xC0000034);
inline constexpr PortStatus kPortDisconnected = static_cast<PortStatus>(0xC0000037);
inline constexpr PortStatus kPortConnectionRefused = static_cast<PortStatus>(0xC0000041);
inline constexpr PortStatus kPortInvalidMessage = static_cast<PortStatus>(0xC0000030);

inline constexpr std::size_t kPortMessageHeaderSize = 24;
// Largest message (header included) a port carries.
inline constexpr std::size_t kPortMaxMessageLength = 65519;

// Message types the platform writes into the header's type word on send. The
// sender zeroes that word; the port fills it in, as the kernel does on Windows.
inline constexpr std::uint16_t kPortTypeRequest = 1;             // a reply is awaited
inline constexpr std::uint16_t kPortTypeReply = 2;               // answers a request
inline constexpr std::uint16_t kPortTypeDatagram = 3;            // one-way, never answered
inline constexpr std::uint16_t kPortTypeConnectionRequest = 10;  // first datagram of a connection
inline constexpr std::uint16_t kPortTypeConnectionReply = 11;    // accept or refuse
inline constexpr std::uint16_t kPortTypeMask = 0x00FF;
// Set by a server on a reply the client must release after reading it.
inline constexpr std::uint16_t kPortTypeReleaseRequired = 0x2000;

// Send flags.
inline constexpr std::uint32_t kPortSendReleaseMessage = 0x10000;  // send without waiting
inline constexpr std::uint32_t kPortSendSyncRequest = 0x20000;     // send and wait for the reply

// Section and view flags.
inline constexpr std::uint32_t kPortSectionFlags = 0x40000;
inline constexpr std::uint32_t kPortViewFlagsCreated = 0x60000;
inline constexpr std::uint32_t kPortViewFlagUnmap = 0x10000;

// The header's layout is that of the 32-bit port message.
struct PortMessageHeader {
  std::uint16_t data_length;   // bytes after the header
  std::uint16_t total_length;  // data_length + 24
  std::uint16_t type;
  std::uint16_t data_info_offset;
  std::uint32_t client_process;
  std::uint32_t client_thread;
  std::uint32_t message_id;  // the port matches a reply to its request by this id
  std::uint32_t client_view_size;
};
static_assert(sizeof(PortMessageHeader) == kPortMessageHeaderSize);

// Reads the header at the front of bytes; false when there are fewer than 24
// bytes or the two lengths disagree with each other or with bytes.size().
bool read_port_header(std::span<const std::uint8_t> bytes, PortMessageHeader& out);
void write_port_header(std::span<std::uint8_t> bytes, const PortMessageHeader& header);

// Attributes of the connect request.
struct PortAttributes {
  std::uint32_t flags = 0;
  std::uint32_t qos_length = 12;
  std::uint32_t qos_impersonation_level = 0;
  std::uint8_t qos_dynamic_tracking = 1;
  std::uint8_t qos_effective_only = 0;
  std::uint32_t max_message_length = kPortMaxMessageLength;
  std::uint32_t memory_bandwidth = 0;
  std::uint32_t max_pool_usage = 0xFFFFFFFF;
  std::uint32_t max_section_size = 0xFFFFFFFF;
  std::uint32_t max_view_size = 0xFFFFFFFF;
  std::uint32_t max_total_section_size = 0xFFFFFFFF;
  std::uint32_t duplicate_object_types = 0;
};
inline constexpr std::size_t kPortAttributesWireSize = 44;
void write_port_attributes(std::span<std::uint8_t, kPortAttributesWireSize> out,
                           const PortAttributes& attributes);
bool read_port_attributes(std::span<const std::uint8_t> in, PortAttributes& out);

// Owns one file descriptor.
class PortFd {
 public:
  PortFd() = default;
  explicit PortFd(int fd) : fd_(fd) {}
  ~PortFd();
  PortFd(PortFd&& other) noexcept : fd_(other.release()) {}
  PortFd& operator=(PortFd&& other) noexcept;
  PortFd(const PortFd&) = delete;  // two owners would close it twice
  PortFd& operator=(const PortFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release();
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// A shared-memory view: a memfd (the port section) and its mapping. The
// creator maps it writable; a receiver maps what arrived read-only.
class PortView {
 public:
  PortView() = default;
  ~PortView();
  PortView(PortView&& other) noexcept;
  PortView& operator=(PortView&& other) noexcept;
  PortView(const PortView&) = delete;  // the mapping has one owner
  PortView& operator=(const PortView&) = delete;

  // A new section of size bytes with a writable view of it.
  static PortStatus create(std::size_t size, PortView& out);
  // Maps a received section read-only; its size is the memfd's own size, so a
  // sender cannot make the receiver read past the end of what it mapped.
  static PortStatus map_received(PortFd fd, std::uint32_t flags, PortView& out);

  bool valid() const { return fd_.valid(); }
  std::uint8_t* data() { return static_cast<std::uint8_t*>(base_); }
  const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(base_); }
  std::size_t size() const { return size_; }
  std::uint32_t flags() const { return flags_; }
  void set_flags(std::uint32_t flags) { flags_ = flags; }
  int fd() const { return fd_.get(); }
  void reset();

 private:
  PortFd fd_;
  void* base_ = nullptr;
  std::size_t size_ = 0;
  std::uint32_t flags_ = 0;
};

// Path of the socket that stands for the object name "\BaseNamedObjects\NAME":
// $KORV_OBJECT_ROOT/BaseNamedObjects/NAME, the root defaulting to /run/korv.
std::string port_socket_path(const std::string& object_name);

}  // namespace korv::platform
