#include "file_identity.h"

#include <sys/stat.h>

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
