#pragma once
// Which file a path names: device and inode, so that a follower notices a log that was
// moved away or deleted and created again, whatever the new file's name or times.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace korv::cli {

struct FileIdentity {
  bool valid = false;  // the path named a file when looked at
  dev_t device = 0;
  ino_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;

  // The same file (device and inode), whatever it holds now.
  bool operator==(const FileIdentity& o) const {
    return valid == o.valid && (!valid || (device == o.device && inode == o.inode));
  }
  // The same file with the same length and modification time: nothing to look at again.
  bool SameContentAs(const FileIdentity& o) const {
    return valid && o.valid && *this == o && size == o.size && mtimeNs == o.mtimeNs;
  }
};

// stat() of path; not valid when it names nothing.
FileIdentity IdentifyPath(const std::string& path);

// Whether `path` (which need not exist) lies in `directory` or any folder below it, by the
// device and inode of its folders, so that neither "..", a symbolic link nor another mount of
// the same folder hides it.
bool IsInsideDirectory(const std::string& path, const std::string& directory);

// A log file with the header magic and no record yet (nothing tells its kind by content).
bool IsEmptyLog(const std::string& path);

}  // namespace korv::cli
