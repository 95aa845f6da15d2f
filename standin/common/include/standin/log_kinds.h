// The log kinds the stand-in product writes, by settings key.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace korv::standin {

// Every scan log starts with one summary record of this type.
inline constexpr uint32_t kScanSummaryRecordType = 0x00010004;

struct StandinLogKind {
  std::string_view key;        // settings key: virlog, warnlog, epfwlog, ...
  int type_id;                 // the product's number of the kind
  uint32_t record_type;        // type of the kind's records (findings for a scan log)
  std::string_view file_name;  // name under Logs/: a file, or a directory of scan logs
  bool directory;              // file_name names a directory of scan logs
  bool mac;                    // the variant written on the MAC platform
  bool scan;                   // a scan log: summary record first, then findings
};

std::span<const StandinLogKind> standin_log_kinds();

// The kind of a settings key, ignoring case; "escan\dir" and "escan/dir"
// name the directory entry. Null when there is no such key.
const StandinLogKind* find_log_kind(std::string_view key);

// The first kind with this type id that is not a MAC variant; null if none.
const StandinLogKind* find_log_kind_by_type(int type_id);

// Every type id of a kind that is not only a MAC variant, ascending.
std::vector<int> default_type_ids();

}  // namespace korv::standin
