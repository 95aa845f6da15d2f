#pragma once
// The process-wide table of the log kinds the viewer knows (28 entries in a
// fixed order: recognition takes the first match and a Logs menu command
// carries an entry's position), where the logs live, how a path is
// recognised as one of the kinds and how a kind's name becomes a full path.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

class IComm;
namespace korv::platform {
class MachineRegistry;
}

// One log kind.
struct LOG_INFO {
  std::int32_t m_nServiceValue;  // -1 until the product service reports the kind
  std::int32_t m_nTypeId;        // the kind's number for the product module
  std::uint32_t m_dwFlags;       // LOG_FLAG_*
  std::uint32_t m_dwRecordType;  // record type of its records; 0xFFFFFFFF: never by content
  std::int32_t m_nEntryKind;     // LOG_ENTRY_*
  std::string m_strFileName;     // file or directory name under Logs/, or a pattern
  std::string m_strDisplayName;
  std::string m_strKey;          // settings key
};

inline constexpr std::uint32_t LOG_FLAG_MODULE_FIRST = 0x2;   // first module interface
inline constexpr std::uint32_t LOG_FLAG_DIRECTORY = 0x4;      // a directory of *.dat rows
inline constexpr std::uint32_t LOG_FLAG_MODULE_SECOND = 0x8;  // second module interface
inline constexpr std::uint32_t LOG_FLAG_MAC = 0x80000000;     // MAC variant, never in the menu
inline constexpr std::int32_t LOG_ENTRY_SCAN_FILE = 0x1;      // a single scan log (view mode 3)
inline constexpr std::int32_t LOG_ENTRY_RECOGNITION_ONLY = 0x2;
inline constexpr std::uint32_t LOG_RECORD_TYPE_NONE = 0xFFFFFFFF;
inline constexpr std::uint32_t LOG_RECORD_TYPE_SCAN_SUMMARY = 0x00010004;

inline constexpr int kLogTableSize = 28;
inline constexpr int kLogsMenuFirstCommand = 32850;  // entry i is command 32850 + i
inline constexpr std::uint32_t kLogKindsCommand = 0x01000600;
inline constexpr std::uint32_t kLogKindsParameter = 36;
inline constexpr std::size_t kLogKindEntrySize = 172;
inline constexpr std::size_t kMaxLogPath = 259;  // characters, the terminator not counted

using LogTable = std::vector<LOG_INFO>;

namespace nsLog {

// The table, built on first use. A rebuild never changes a table already
// handed out: readers keep the snapshot they hold (see BuildLogTable).
std::shared_ptr<const LogTable> GetLogTable();
// Asks the product service again and replaces the table.
void BuildLogTable();
// The entry's file name or display name; empty outside the table.
std::string GetFileName(int index);
std::string GetDisplayName(int index);
// The product's application-data directory, truncated to capacity (with its
// terminator). False, with an empty buffer, when it cannot be read.
bool GetAppDataDir(char* buffer, std::size_t capacity);
bool IsProductServer();
// Table index of the kind of path, or -1. With damaged given, it says whether a -1 is owed
// to a log file whose records cannot be read up to the first one that names its kind (a
// lost first record not yet repaired, say), rather than to a file of no known kind.
int RecogniseLogType(const std::string& path, bool* damaged = nullptr);
// A bare name below the log directory; a path as it is; empty without AppDataDir.
std::string ResolveLogPath(const std::string& name);
// Whether the Logs menu offers entry: reported by the service, no MAC
// variant, not a recognition-only entry.
bool IsOfferedInLogsMenu(const LOG_INFO& entry);

}  // namespace nsLog

namespace korv {

// The 28 entries, each with the non-zero service value reported for its type id.
LogTable MakeLogTable(const std::map<std::int32_t, std::int32_t>& service_values);
// Type id -> service value from the service's reply body; a later entry
// replaces an earlier one, and only entries wholly inside the reply count.
std::map<std::int32_t, std::int32_t> ParseLogKindReply(std::span<const std::uint8_t> reply);
// Asks comm, doubling the reply buffer from 2048 bytes while the service
// answers 5. Empty when the service cannot say.
std::map<std::int32_t, std::int32_t> QueryServiceLogKinds(IComm& comm);

int RecogniseLogTypeIn(const LogTable& table, const std::string& path, bool* damaged = nullptr);

// The message for a path of no known kind: "Unknown log type.", and for a damaged log
// (RecogniseLogType's damaged) a hint how to repair it.
inline constexpr char kUnknownLogTypeText[] = "Unknown log type.";
std::string UnknownLogTypeText(const std::string& path, bool damaged);
std::string ResolveLogPathIn(const std::string& name, const std::optional<std::string>& app_data_dir);

// The two product values of the machine registry, each read once and kept.
class ProductValues {
 public:
  explicit ProductValues(const korv::platform::MachineRegistry& registry) : registry_(registry) {}
  ProductValues(const ProductValues&) = delete;  // the kept answers belong to one owner
  ProductValues& operator=(const ProductValues&) = delete;

  std::optional<std::string> AppDataDir();
  bool GetAppDataDir(char* buffer, std::size_t capacity);
  bool IsProductServer();

 private:
  const korv::platform::MachineRegistry& registry_;  // outlives this object
  std::mutex mutex_;  // guards the two kept answers
  std::optional<std::string> app_data_dir_;  // kept once read successfully
  std::optional<bool> product_server_;
};

}  // namespace korv
