#pragma once
// The change notification of a directory log: file names, sizes and write times of the
// directory's entries (not of its sub-directories), polled without blocking.

#include <string>

namespace korv {

class DirectoryWatch {
 public:
  // Starts watching `path`; valid() is false when that fails.
  explicit DirectoryWatch(const std::string& path);
  ~DirectoryWatch();
  DirectoryWatch(const DirectoryWatch&) = delete;  // owns the inotify descriptor
  DirectoryWatch& operator=(const DirectoryWatch&) = delete;

  bool valid() const { return fd_ >= 0; }
  // True when anything changed since the last call; the events are consumed, so the watch
  // is armed again for the next change.
  bool Poll();

 private:
  int fd_ = -1;
};

}  // namespace korv
