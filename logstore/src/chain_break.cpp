#include "logstore/chain_break.h"

#include "logstore/disklog_format.h"
#include "logstore/record_walk.h"
#include "platform/file.h"

namespace korv {

std::string describe_chain_break(const std::string& path) {
  platform::File file;
  if (platform::FileError e = file.open(path, platform::FileMode::read); e != platform::FileError::ok)
    return std::string("the file cannot be read: ") + platform::file_error_text(e);
  unsigned char bytes[kDiskLogHeaderSize] = {};
  std::size_t got = 0;
  if (file.read_at(0, bytes, sizeof bytes, got) != platform::FileError::ok || got < 4)
    return "the file has no log header";
  const _DISKLOG_HEADER header = decode_disklog_header(bytes);
  if (header.magic != kDiskLogMagic) return "the file has no log header";
  const WalkResult walk =
      walk_records_with(file, header, header.header_size, [](std::uint64_t, const _DISKLOG_RECORD_HEADER&) {});
  if (walk.ok()) return {};
  return "the record chain breaks at offset " + std::to_string(walk.offset) + " (" + walk_stop_text(walk.stop) + ")";
}

}  // namespace korv
