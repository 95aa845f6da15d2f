#pragma once
// An owned file descriptor with the sharing rule of the log files: a read-only
// handle never locks (the product goes on writing and may replace the file),
// a write handle takes a non-blocking exclusive flock so that a second writer
// is refused as with a sharing violation.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/filetime.h"

namespace korv::platform {

enum class FileError {
  ok = 0,
  not_found,          // the path or one of its directories does not exist
  sharing_violation,  // another writer holds the file
  access_denied,      // permissions, read-only file system, or a write on a read-only handle
  io,                 // any other failure of the system call
  invalid,            // an offset or length outside what the file interface can express
};

const char* file_error_text(FileError error);

enum class FileMode {
  read,   // O_RDONLY, existing files only, no lock
  write,  // O_RDWR | O_CREAT, exclusive flock
};

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  // A copy would share the descriptor and its lock.
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Closes any file held, then opens path. On failure the object stays closed.
  FileError open(const std::string& path, FileMode mode);
  void close();

  bool is_open() const { return fd_ >= 0; }
  bool is_writable() const { return writable_; }
  int fd() const { return fd_; }

  // Reads up to length bytes at offset; stops early only at end of file.
  // bytes_read receives what was read, also on failure.
  FileError read_at(std::uint64_t offset, void* buffer, std::size_t length,
                    std::size_t& bytes_read) const;
  // Writes all of length bytes at offset, or fails.
  FileError write_at(std::uint64_t offset, const void* data, std::size_t length);

  FileError size(std::uint64_t& out) const;
  FileError modification_time(FileTime& out) const;
  // fdatasync on a write handle; a read-only handle has nothing to flush and succeeds.
  FileError flush();
  FileError truncate(std::uint64_t length);

 private:
  int fd_ = -1;
  bool writable_ = false;
};

// Copies source over target, replacing target (not atomically). The target is
// created with mode 0644 when missing.
FileError copy_file(const std::string& source, const std::string& target);

}  // namespace korv::platform
