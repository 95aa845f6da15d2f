#include "log_file_check.h"

#include <sys/stat.h>

#include "command.h"

namespace korv::cli {

int open_log_file(const std::string& path, platform::File& file, _DISKLOG_HEADER& header) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return fail(kExitNotFound, path + ": No such file or directory");
  if (!S_ISREG(st.st_mode)) return fail(kExitNotALog, path + ": Not a log file.");
  if (platform::FileError e = file.open(path, platform::FileMode::read); e != platform::FileError::ok)
    return fail(e == platform::FileError::not_found ? kExitNotFound : kExitNotALog,
                path + ": " + platform::file_error_text(e));
  unsigned char bytes[kDiskLogHeaderSize] = {};
  std::size_t got = 0;
  if (platform::FileError e = file.read_at(0, bytes, sizeof bytes, got); e != platform::FileError::ok)
    return fail(kExitNotALog, path + ": " + platform::file_error_text(e));
  header = decode_disklog_header(bytes);
  if (got < 4 || header.magic != kDiskLogMagic) return fail(kExitNotALog, path + ": Not a log file.");
  return kExitOk;
}

}  // namespace korv::cli
