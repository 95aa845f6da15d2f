#include "log_directory_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace korv {

DirectoryWatch::DirectoryWatch(const std::string& path) {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  // Names (create, delete, move), sizes and write times (modify, close after write,
  // attributes), as the directory log's rows depend on them.
  const std::uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                             IN_CLOSE_WRITE | IN_ATTRIB | IN_ONLYDIR;
  if (::inotify_add_watch(fd_, path.c_str(), mask) < 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

DirectoryWatch::~DirectoryWatch() {
  if (fd_ >= 0) ::close(fd_);
}

bool DirectoryWatch::Poll() {
  if (fd_ < 0) return false;
  bool changed = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      changed = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;  // EAGAIN: drained
  }
  return changed;
}

}  // namespace korv
