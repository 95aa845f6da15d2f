#include "file_identity.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "logstore/disklog_format.h"
#include "platform/file.h"

namespace korv::cli {

FileIdentity IdentifyPath(const std::string& path) {
  struct stat st {};
  FileIdentity id;
  if (::stat(path.c_str(), &st) != 0) return id;
  id.valid = true;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

bool IsInsideDirectory(const std::string& path, const std::string& directory) {
  const FileIdentity dir = IdentifyPath(directory);
  if (!dir.valid || path.empty()) return false;
  std::error_code ec;
  // The existing part of the path with its links resolved; what does not exist yet is
  // taken as written.
  std::filesystem::path at = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
  if (ec) at = std::filesystem::absolute(path, ec).lexically_normal();
  for (at = at.parent_path(); !at.empty(); at = at.parent_path()) {
    if (IdentifyPath(at.string()) == dir) return true;
    if (at == at.root_path()) break;
  }
  return false;
}

bool IsEmptyLog(const std::string& path) {
  platform::File file;
  if (file.open(path, platform::FileMode::read) != platform::FileError::ok) return false;
  unsigned char bytes[kDiskLogHeaderSize] = {};
  std::size_t got = 0;
  if (file.read_at(0, bytes, sizeof bytes, got) != platform::FileError::ok || got < 4) return false;
  const _DISKLOG_HEADER h = decode_disklog_header(bytes);
  return h.magic == kDiskLogMagic && (h.next_record_number == 0 || h.data_end <= h.header_size);
}

}  // namespace korv::cli
