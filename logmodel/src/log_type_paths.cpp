#include <fnmatch.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "logmodel/log_type.h"
#include "logstore/disklog.h"
#include "platform/machine_registry.h"

namespace {

constexpr char kProductKey[] = "Software\\KORV\\KORV Security\\CurrentVersion\\Info";

// The last component of path. A trailing separator is not a component of its
// own, so ".../escan/" names the directory escan.
std::string LastComponent(const std::string& path) {
  std::size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  std::size_t slash = path.rfind('/', end - 1);
  std::size_t begin = (slash == std::string::npos || end == 0) ? 0 : slash + 1;
  return path.substr(begin, end - begin);
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The type of the first record that says what kind of log the file is: scan summaries
// belong to several kinds, and placeholders (type 0) stand where a record was lost. 0 when
// none can be read; *unreadable then says whether reading broke on damage rather than
// ending with the records.
std::uint32_t FirstTypedRecord(const std::string& path, bool* unreadable) {
  DiskLogHandle file = DiskLogOpen(path, 0);
  if (!file) return 0;
  for (;;) {
    std::uint32_t type = 0, size = 0;
    const int result = DiskLogReadNext(file.get(), &type, kDiskLogSkip, &size, nullptr, nullptr);
    if (result != kDiskLogOk) {
      if (unreadable) *unreadable = result != kDiskLogNoRecord;
      return 0;
    }
    if (type != LOG_RECORD_TYPE_SCAN_SUMMARY && type != kDiskLogPlaceholderType) return type;
  }
}

korv::ProductValues& Machine() {
  static korv::ProductValues values(korv::platform::MachineRegistry::Machine());
  return values;
}

}  // namespace

namespace korv {

int RecogniseLogTypeIn(const LogTable& table, const std::string& path, bool* damaged) {
  if (damaged) *damaged = false;
  const bool directory = IsDirectory(path);
  const std::string last = LastComponent(path);
  for (std::size_t i = 0; i < table.size(); ++i) {
    const LOG_INFO& e = table[i];
    if (((e.m_dwFlags & LOG_FLAG_DIRECTORY) != 0) != directory) continue;
    if (::strcasecmp(e.m_strFileName.c_str(), last.c_str()) == 0 ||
        ::fnmatch(e.m_strFileName.c_str(), path.c_str(), 0) == 0) {
      return static_cast<int>(i);
    }
  }
  if (directory) return -1;
  const std::uint32_t type = FirstTypedRecord(path, damaged);
  // Entries that are never recognised by content carry 0xFFFFFFFF; a record
  // that happens to have that type must not pick them.
  if (type == LOG_RECORD_TYPE_NONE) return -1;
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i].m_dwRecordType == type) return static_cast<int>(i);
  }
  return -1;
}

std::string UnknownLogTypeText(const std::string& path, bool damaged) {
  std::string text(kUnknownLogTypeText);
  if (damaged)
    text += " The file may be damaged: its first record cannot be read. To repair it, run: korvlog repair " +
            path;
  return text;
}

std::string ResolveLogPathIn(const std::string& name, const std::optional<std::string>& app_data_dir) {
  // A separator before the last character makes the name a path.
  if (name.size() > 1 && name.find_first_of("\\/") < name.size() - 1) return name;
  if (!app_data_dir) return {};
  std::string path = *app_data_dir + "Logs/" + name;
  if (path.size() > kMaxLogPath) path.resize(kMaxLogPath);
  return path;
}

std::optional<std::string> ProductValues::AppDataDir() {
  std::lock_guard lock(mutex_);
  if (!app_data_dir_) {
    auto value = registry_.QueryString(kProductKey, "AppDataDir",
                                       korv::platform::ProductRegistryAccess(korv::platform::kKeyRead));
    if (value && !value->empty()) {
      if (value->size() > kMaxLogPath) value->resize(kMaxLogPath);
      app_data_dir_ = std::move(value);
    }
  }
  return app_data_dir_;
}

bool ProductValues::GetAppDataDir(char* buffer, std::size_t capacity) {
  std::optional<std::string> value = AppDataDir();
  if (capacity == 0 || buffer == nullptr) return false;
  if (!value) {
    buffer[0] = '\0';
    return false;
  }
  std::size_t n = std::min(value->size(), capacity - 1);
  std::memcpy(buffer, value->data(), n);
  buffer[n] = '\0';
  return true;
}

bool ProductValues::IsProductServer() {
  std::lock_guard lock(mutex_);
  if (!product_server_) {
    auto value = registry_.QueryDword(kProductKey, "ProductServer",
                                      korv::platform::ProductRegistryAccess(korv::platform::kKeyRead));
    product_server_ = value.value_or(0) != 0;
  }
  return *product_server_;
}

}  // namespace korv

namespace nsLog {

bool GetAppDataDir(char* buffer, std::size_t capacity) {
  return Machine().GetAppDataDir(buffer, capacity);
}

bool IsProductServer() { return Machine().IsProductServer(); }

int RecogniseLogType(const std::string& path, bool* damaged) {
  return korv::RecogniseLogTypeIn(*GetLogTable(), path, damaged);
}

std::string ResolveLogPath(const std::string& name) {
  return korv::ResolveLogPathIn(name, Machine().AppDataDir());
}

}  // namespace nsLog
