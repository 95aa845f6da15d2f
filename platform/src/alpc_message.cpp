#include "platform/alpc_message.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korv::platform {
namespace {

std::uint32_t load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace

bool read_port_header(std::span<const std::uint8_t> bytes, PortMessageHeader& out) {
  if (bytes.size() < kPortMessageHeaderSize) return false;
  std::memcpy(&out, bytes.data(), kPortMessageHeaderSize);
  if (out.total_length != std::size_t{out.data_length} + kPortMessageHeaderSize) return false;
  return out.total_length <= bytes.size();
}

void write_port_header(std::span<std::uint8_t> bytes, const PortMessageHeader& header) {
  std::memcpy(bytes.data(), &header, kPortMessageHeaderSize);
}

void write_port_attributes(std::span<std::uint8_t, kPortAttributesWireSize> out,
                           const PortAttributes& a) {
  std::uint8_t* p = out.data();
  store32(p + 0, a.flags);
  store32(p + 4, a.qos_length);
  store32(p + 8, a.qos_impersonation_level);
  p[12] = a.qos_dynamic_tracking;
  p[13] = a.qos_effective_only;
  p[14] = 0;
  p[15] = 0;
  store32(p + 16, a.max_message_length);
  store32(p + 20, a.memory_bandwidth);
  store32(p + 24, a.max_pool_usage);
  store32(p + 28, a.max_section_size);
  store32(p + 32, a.max_view_size);
  store32(p + 36, a.max_total_section_size);
  store32(p + 40, a.duplicate_object_types);
}

bool read_port_attributes(std::span<const std::uint8_t> in, PortAttributes& a) {
  if (in.size() < kPortAttributesWireSize) return false;
  const std::uint8_t* p = in.data();
  a.flags = load32(p + 0);
  a.qos_length = load32(p + 4);
  a.qos_impersonation_level = load32(p + 8);
  a.qos_dynamic_tracking = p[12];
  a.qos_effective_only = p[13];
  a.max_message_length = load32(p + 16);
  a.memory_bandwidth = load32(p + 20);
  a.max_pool_usage = load32(p + 24);
  a.max_section_size = load32(p + 28);
  a.max_view_size = load32(p + 32);
  a.max_total_section_size = load32(p + 36);
  a.duplicate_object_types = load32(p + 40);
  return true;
}

PortFd::~PortFd() { reset(); }

PortFd& PortFd::operator=(PortFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

int PortFd::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

void PortFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

PortView::~PortView() { reset(); }

PortView::PortView(PortView&& other) noexcept
    : fd_(std::move(other.fd_)), base_(other.base_), size_(other.size_), flags_(other.flags_) {
  other.base_ = nullptr;
  other.size_ = 0;
  other.flags_ = 0;
}

PortView& PortView::operator=(PortView&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = std::move(other.fd_);
    base_ = other.base_;
    size_ = other.size_;
    flags_ = other.flags_;
    other.base_ = nullptr;
    other.size_ = 0;
    other.flags_ = 0;
  }
  return *this;
}

void PortView::reset() {
  if (base_ != nullptr) ::munmap(base_, size_);
  base_ = nullptr;
  size_ = 0;
  flags_ = 0;
  fd_.reset();
}

PortStatus PortView::create(std::size_t size, PortView& out) {
  out.reset();
  if (size == 0) return kPortInvalidParameter;
  PortFd fd(::memfd_create("korv-port-section", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!fd.valid()) return kPortNoMemory;
  if (::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) return kPortNoMemory;
  // The size is fixed from here on, so the receiver's mapping cannot lose its pages.
  if (::fcntl(fd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
    return kPortNoMemory;
  }
  void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
  if (base == MAP_FAILED) return kPortNoMemory;
  out.fd_ = std::move(fd);
  out.base_ = base;
  out.size_ = size;
  out.flags_ = kPortSectionFlags;
  return kPortSuccess;
}

PortStatus PortView::map_received(PortFd fd, std::uint32_t flags, PortView& out) {
  out.reset();
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    return kPortInvalidMessage;
  }
  // Without the shrink seal the sender could truncate the section under our
  // mapping, and reading it would fault.
  int seals = ::fcntl(fd.get(), F_GET_SEALS);
  if (seals < 0 || (seals & F_SEAL_SHRINK) == 0) return kPortInvalidMessage;
  std::size_t size = static_cast<std::size_t>(st.st_size);
  void* base = nullptr;
  if (size > 0) {
    base = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd.get(), 0);
    if (base == MAP_FAILED) return kPortNoMemory;
  }
  out.fd_ = std::move(fd);
  out.base_ = base;
  out.size_ = size;
  out.flags_ = flags;
  return kPortSuccess;
}

std::string port_socket_path(const std::string& object_name) {
  static constexpr char kPrefix[] = "\\BaseNamedObjects\\";
  std::string name = object_name;
  if (name.rfind(kPrefix, 0) == 0) name.erase(0, sizeof(kPrefix) - 1);
  const char* root = std::getenv("KORV_OBJECT_ROOT");
  std::string path = (root != nullptr && *root != '\0') ? root : "/run/korv";
  if (path.back() != '/') path += '/';
  return path + "BaseNamedObjects/" + name;
}

}  // namespace korv::platform
