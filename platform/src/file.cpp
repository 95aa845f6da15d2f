#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace korv::platform {
namespace {

constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

FileError from_errno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FileError::not_found;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBADF:  // a write on a descriptor opened read-only
      return FileError::access_denied;
    case EWOULDBLOCK:
      return FileError::sharing_violation;
    default:
      return FileError::io;
  }
}

// True when [offset, offset + length) is expressible as off_t.
bool range_fits(std::uint64_t offset, std::size_t length) {
  return offset <= kMaxOffset && length <= kMaxOffset - offset;
}

}  // namespace

const char* file_error_text(FileError error) {
  switch (error) {
    case FileError::ok: return "success";
    case FileError::not_found: return "file not found";
    case FileError::sharing_violation: return "the file is in use by another writer";
    case FileError::access_denied: return "access denied";
    case FileError::io: return "input/output error";
    case FileError::invalid: return "offset out of range";
  }
  return "unknown error";
}

File::~File() { close(); }

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), writable_(std::exchange(other.writable_, false)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    writable_ = std::exchange(other.writable_, false);
  }
  return *this;
}

FileError File::open(const std::string& path, FileMode mode) {
  close();
  const bool write = mode == FileMode::write;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever (a
  // FIFO named like a log in a scanned directory); it changes nothing for regular files.
  const int flags = write ? (O_RDWR | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return from_errno(errno);
  if (write) {
    int rc;
    do {
      rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      const int error = errno;
      ::close(fd);
      return from_errno(error);
    }
  }
  fd_ = fd;
  writable_ = write;
  return FileError::ok;
}

void File::close() {
  if (fd_ >= 0) {
    // Closing the last descriptor releases the flock.
    ::close(fd_);
    fd_ = -1;
    writable_ = false;
  }
}

FileError File::read_at(std::uint64_t offset, void* buffer, std::size_t length,
                        std::size_t& bytes_read) const {
  bytes_read = 0;
  if (fd_ < 0) return FileError::invalid;
  if (offset > kMaxOffset) return FileError::invalid;
  // A read that reaches past the largest offset simply ends there, as at end of file.
  if (length > kMaxOffset - offset) length = static_cast<std::size_t>(kMaxOffset - offset);
  auto* out = static_cast<unsigned char*>(buffer);
  while (bytes_read < length) {
    const ssize_t n = ::pread(fd_, out + bytes_read, length - bytes_read,
                              static_cast<off_t>(offset + bytes_read));
    if (n < 0) {
      if (errno == EINTR) continue;
      return from_errno(errno);
    }
    if (n == 0) break;
    bytes_read += static_cast<std::size_t>(n);
  }
  return FileError::ok;
}

FileError File::write_at(std::uint64_t offset, const void* data, std::size_t length) {
  if (fd_ < 0) return FileError::invalid;
  if (!writable_) return FileError::access_denied;
  if (!range_fits(offset, length)) return FileError::invalid;
  const auto* in = static_cast<const unsigned char*>(data);
  std::size_t written = 0;
  while (written < length) {
    const ssize_t n = ::pwrite(fd_, in + written, length - written,
                               static_cast<off_t>(offset + written));
    if (n < 0) {
      if (errno == EINTR) continue;
      return from_errno(errno);
    }
    if (n == 0) return FileError::io;
    written += static_cast<std::size_t>(n);
  }
  return FileError::ok;
}

FileError File::size(std::uint64_t& out) const {
  struct stat st{};
  if (fd_ < 0) return FileError::invalid;
  if (::fstat(fd_, &st) != 0) return from_errno(errno);
  out = static_cast<std::uint64_t>(st.st_size);
  return FileError::ok;
}

FileError File::modification_time(FileTime& out) const {
  struct stat st{};
  if (fd_ < 0) return FileError::invalid;
  if (::fstat(fd_, &st) != 0) return from_errno(errno);
  out = filetime_from_unix(st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec));
  return FileError::ok;
}

FileError File::flush() {
  if (fd_ < 0) return FileError::invalid;
  if (!writable_) return FileError::ok;
  int rc;
  do {
    rc = ::fdatasync(fd_);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? FileError::ok : from_errno(errno);
}

FileError File::truncate(std::uint64_t length) {
  if (fd_ < 0) return FileError::invalid;
  if (!writable_) return FileError::access_denied;
  if (length > kMaxOffset) return FileError::invalid;
  int rc;
  do {
    rc = ::ftruncate(fd_, static_cast<off_t>(length));
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? FileError::ok : from_errno(errno);
}

namespace {

// Owns a plain descriptor for the copy, which needs neither the lock nor read/write state.
struct Fd {
  int value = -1;
  ~Fd() {
    if (value >= 0) ::close(value);
  }
};

FileError copy_by_read_write(int in, int out) {
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return from_errno(errno);
    }
    if (n == 0) return FileError::ok;
    ssize_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return from_errno(errno);
      }
      done += w;
    }
  }
}

}  // namespace

FileError copy_file(const std::string& source, const std::string& target) {
  Fd in{::open(source.c_str(), O_RDONLY | O_CLOEXEC)};
  if (in.value < 0) return from_errno(errno);
  Fd out{::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
  if (out.value < 0) return from_errno(errno);
  for (;;) {
    const ssize_t n = ::copy_file_range(in.value, nullptr, out.value, nullptr, 1 << 30, 0);
    if (n > 0) continue;
    if (n == 0) return FileError::ok;
    if (errno == EINTR) continue;
    // Not supported between these file systems: copy by hand from where the kernel stopped.
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
      return copy_by_read_write(in.value, out.value);
    return from_errno(errno);
  }
}

}  // namespace korv::platform
