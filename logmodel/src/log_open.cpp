// Opening and closing the log, its view mode, change polling and identity.

#include <climits>
#include <filesystem>
#include <system_error>

#include "log_directory_watch.h"
#include "log_internal.h"
#include "logmodel/log_type.h"
#include "platform/codepage.h"
#include "raw_record.h"

CLog::CLog() : CLog(&korv::SecondInterfaceHolder(), &korv::FirstInterfaceHolder()) {}

CLog::CLog(korv::ComponentHolder* second, korv::ComponentHolder* first)
    : m_secondHolder(second), m_firstHolder(first) {}

CLog::~CLog() { Close(); }

korv::ComponentHolder* CLog::DecodingHolder() const {
  if (m_nFlags & 0x8) return m_secondHolder;
  if (m_nFlags & 0x2) return m_firstHolder;
  return nullptr;
}

std::shared_ptr<korv::ModuleInstance> CLog::Instance() const {
  korv::ComponentHolder* holder = DecodingHolder();
  return holder ? holder->CurrentInstance() : nullptr;
}

bool CLog::Open(const std::string& name, std::int32_t serviceValue, std::int32_t typeId,
                std::uint32_t flags, const std::string& settingsKey) {
  if (m_bOpen) return false;
  std::string path = nsLog::ResolveLogPath(name);
  if (path.empty()) return false;
  const bool relative = path != name;
  if (flags & 0x4) {
    if (path.back() != '/') path += '/';
    m_changeWatch = std::make_unique<korv::DirectoryWatch>(path);
  } else {
    std::uint32_t open = DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (m_bIndexLater && m_nViewMode == LOG_VIEW_LIST && m_nFixedRecord == -1 && !error &&
        size >= m_nIndexLaterBytes)
      open |= DISKLOG_OPEN_INDEX_LATER;
    m_file = DiskLogOpen(path, open);
    if (!m_file) return false;
  }
  m_bOpen = true;
  m_bChainBroken = false;
  m_bRelative = relative;
  m_strPath = std::move(path);
  m_nServiceValue = serviceValue;
  m_nTypeId = typeId;
  m_nFlags = flags;
  m_strSettingsKey = settingsKey;
  m_bServer = nsLog::IsProductServer();
  m_kindNames.clear();
  if (const std::shared_ptr<const LogTable> table = nsLog::GetLogTable())
    for (const LOG_INFO& kind : *table)
      if (kind.m_dwRecordType != LOG_RECORD_TYPE_NONE && KindNameOf(kind.m_dwRecordType).empty())
        m_kindNames.emplace_back(kind.m_dwRecordType, korv::platform::utf8_to_utf16(kind.m_strDisplayName));
  {
    std::lock_guard<std::mutex> guard(m_bufferLock);
    m_nBufferedRecord = -1;
  }
  RebuildHeader();
  return true;
}

void CLog::Close() {
  DiskLogClose(m_file);
  m_bOpen = false;
  m_bRelative = false;
  m_strPath.clear();
  m_nServiceValue = 0;
  m_nTypeId = 0;
  m_nFlags = 0;
  m_nFixedRecord = -1;
  m_loadState.Emptied();
  m_bChainBroken = false;
  SetRowsProvisional(false);
  {
    std::lock_guard<std::mutex> guard(m_bufferLock);
    m_nBufferedRecord = -1;
  }
  m_changeWatch.reset();
  m_rows.clear();
  m_dirRows.clear();
  m_visible.clear();
  m_nDeleted = 0;
  m_nCorrupted = 0;
  std::lock_guard<std::mutex> guard(m_cache.Lock());
  m_cache.Clear();
}

void CLog::SetViewMode(int mode) {
  m_nViewMode = mode;
  m_header.m_nViewMode = mode;
  if (!m_bOpen) return;
  // The module decodes differently per view mode: decoded records of the old mode must not
  // be served for the new one.
  {
    std::lock_guard<std::mutex> guard(m_bufferLock);
    m_nBufferedRecord = -1;
  }
  {
    std::lock_guard<std::mutex> guard(m_cache.Lock());
    m_cache.Clear();
  }
  RebuildHeader();
}

bool CLog::RebuildHeader() {
  m_header.m_nTypeId = m_nTypeId;
  m_header.m_nFlags = m_nFlags;
  m_header.m_nViewMode = m_nViewMode;
  const std::shared_ptr<korv::ModuleInstance> instance = Instance();
  std::lock_guard<std::mutex> guard(m_decodingLock);
  // A file log whose module gives no columns (none loaded, a kind it does not know) is
  // still read: its records are shown raw. A directory's rows are its files, not records.
  // m_bRaw is set once, never flipped on the way: the cache thread may be decoding.
  bool built = false;
  if (m_bRawRequested)
    m_header.Reset();
  else
    built = m_header.Build(instance.get(), m_bServer);
  const bool raw = !built && !IsDirectory();
  if (raw) m_header.SetHeaderText(korv::RawHeaderText());
  m_bRaw = raw;
  return built || raw;
}

bool CLog::HasChanged() {
  if (m_file) {
    DiskLogLockGuard guard(m_file.get());
    return DiskLogHasChanged(m_file.get(), nullptr) || m_loadState.FillPending();
  }
  return m_changeWatch && m_changeWatch->Poll();
}

int CLog::GetColumnCount() const {
  if (!m_bOpen) return 0;
  const std::size_t n = m_header.m_columns.size();
  return n > std::size_t(INT_MAX) ? INT_MAX : int(n);
}

int CLog::GetTotalCount() const {
  const std::size_t n = IsDirectory() || !m_bOpen ? m_dirRows.size() : m_rows.size();
  return n > std::size_t(INT_MAX) ? INT_MAX : int(n);
}

std::string CLog::GetDisplayPath(bool relative) const {
  if (relative) {
    char dir[kMaxLogPath + 1];
    if (nsLog::GetAppDataDir(dir, sizeof dir)) {
      const std::string prefix = std::string(dir) + "Logs/";
      if (m_strPath.size() >= prefix.size() && m_strPath.compare(0, prefix.size(), prefix) == 0)
        return m_strPath.substr(prefix.size());
    }
  }
  return m_strPath;
}
