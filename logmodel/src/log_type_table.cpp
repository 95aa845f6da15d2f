#include <mutex>

#include "logmodel/log_type.h"
#include "product/comm.h"

namespace {

struct EntryDef {
  std::int32_t type_id;
  std::uint32_t record_type;
  std::uint32_t flags;
  std::int32_t entry_kind;
  const char* file_name;
  const char* display_name;
  const char* key;  // null: built from the file name
};

constexpr EntryDef kEntries[kLogTableSize] = {
    {12, 0xFFFFFFFF, 0x6, 0, "serverondemand", "Server scan", nullptr},
    {3, 0xFFFFFFFF, 0x6, 0, "escan", "Computer scan", nullptr},
    {3, 0xFFFFFFFF, 0x6, 2, "*", "Computer scan", "escan"},
    {12, 0x0001000B, 0x8, 3, "ndl.dat", "Server scan", "serverondemand"},
    {3, 0x00010001, 0x2, 3, "ndl.dat", "Computer scan", "escan"},
    {1, 0x00010001, 0x2, 0, "virlog.dat", "Detections", nullptr},
    {1, 0x00010001, 0x80000002, 0, "threatlog.dat", "Detections | MAC", nullptr},
    {2, 0x00010002, 0x8, 0, "warnlog.dat", "Events", nullptr},
    {2, 0x00010002, 0x80000008, 0, "eventlog.dat", "Events | MAC", nullptr},
    {5, 0x00010005, 0x8, 0, "spamlog.dat", "Antispam protection", nullptr},
    {6, 0xFFFFFFFF, 0x8, 0, "greylistlog.dat", "Grey list", nullptr},
    {7, 0x00010006, 0x8, 0, "hipslog.dat", "Hips", nullptr},
    {8, 0x00010007, 0x8, 0, "parentallog.dat", "Parental control", nullptr},
    {8, 0x00010007, 0x80000008, 0, "parentlog.dat", "Parental control | MAC", nullptr},
    {9, 0x00010008, 0x8, 0, "devctrllog.dat", "Device control", nullptr},
    {9, 0x00010008, 0x80000008, 0, "devctllog.dat", "Device control | MAC", nullptr},
    {10, 0x00010009, 0x8, 0, "webctllog.dat", "Web control", nullptr},
    {11, 0x0001000A, 0x8, 0, "urllog.dat", "Filtered websites", nullptr},
    {4, 0x00010003, 0x8, 0, "epfwlog.dat", "Network protection", nullptr},
    {4, 0x00010003, 0x80000008, 0, "firewall.dat", "Personal firewall | MAC", nullptr},
    {15, 0x0001000D, 0x8, 0, "mailserver.dat", "Mailserver protection", nullptr},
    {12, 0x0001000B, 0x8, 1, "srvondemand.dat", "Server scan", nullptr},
    {18, 0x0001000F, 0x8, 0, "blocked.dat", "Blocked files", nullptr},
    {17, 0x0001000E, 0x8, 0, "webcamlog.dat", "Webcam protection", nullptr},
    {21, 0x00010011, 0x8, 0, "smtpprot.dat", "SMTP protection", nullptr},
    {19, 0x00010010, 0x8, 0, "sent.dat", "Sent files", nullptr},
    {22, 0x00010012, 0x8, 0, "audit.dat", "Audit", nullptr},
    {25, 0x00010014, 0x8, 0, "bpplog.dat", "BP protection", nullptr},
};

// A directory entry's key is its name followed by "\dir"; a file entry's is
// the name without its extension.
std::string BuildKey(const EntryDef& e) {
  if (e.key != nullptr) return e.key;
  std::string name = e.file_name;
  if ((e.flags & LOG_FLAG_DIRECTORY) != 0) return name + "\\dir";
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// Readers on worker threads may hold the table while a new viewer window
// rebuilds it. Each table is immutable once published; a rebuild makes a new
// one and swaps the pointer under g_tableLock, so a reader sees either the
// old table or the new one, never one half built. The old table lives on
// until its last reader lets go.
std::mutex g_tableLock;  // guards g_table (the pointer only, not the table)
std::shared_ptr<const LogTable> g_table;
std::once_flag g_firstBuild;

void Publish(std::shared_ptr<const LogTable> table) {
  std::lock_guard lock(g_tableLock);
  g_table = std::move(table);
}

}  // namespace

namespace korv {

LogTable MakeLogTable(const std::map<std::int32_t, std::int32_t>& service_values) {
  LogTable table;
  table.reserve(kLogTableSize);
  for (const EntryDef& e : kEntries) {
    LOG_INFO info{-1,          e.type_id,   e.flags,        e.record_type,
                  e.entry_kind, e.file_name, e.display_name, BuildKey(e)};
    auto it = service_values.find(e.type_id);
    if (it != service_values.end() && it->second != 0) info.m_nServiceValue = it->second;
    table.push_back(std::move(info));
  }
  return table;
}

}  // namespace korv

namespace nsLog {

void BuildLogTable() {
  auto values = korv::QueryServiceLogKinds(*GetComm());
  Publish(std::make_shared<const LogTable>(korv::MakeLogTable(values)));
}

std::shared_ptr<const LogTable> GetLogTable() {
  std::call_once(g_firstBuild, [] {
    bool built;
    {
      std::lock_guard lock(g_tableLock);
      built = g_table != nullptr;  // an explicit BuildLogTable came first
    }
    if (!built) BuildLogTable();
  });
  std::lock_guard lock(g_tableLock);
  return g_table;
}

std::string GetFileName(int index) {
  auto table = GetLogTable();
  if (index < 0 || static_cast<std::size_t>(index) >= table->size()) return {};
  return (*table)[static_cast<std::size_t>(index)].m_strFileName;
}

std::string GetDisplayName(int index) {
  auto table = GetLogTable();
  if (index < 0 || static_cast<std::size_t>(index) >= table->size()) return {};
  return (*table)[static_cast<std::size_t>(index)].m_strDisplayName;
}

bool IsOfferedInLogsMenu(const LOG_INFO& entry) {
  return entry.m_nServiceValue != -1 && (entry.m_dwFlags & LOG_FLAG_MAC) == 0 &&
         (entry.m_nEntryKind & LOG_ENTRY_RECOGNITION_ONLY) == 0;
}

}  // namespace nsLog
