// korvlog info FILE: the header, whether the record chain walks, and what it holds.

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <utility>
#include <vector>
#include <string>

#include "cmd_export_open.h"
#include "command.h"
#include "log_file_check.h"
#include "logmodel/log_header.h"
#include "logmodel/log_type.h"
#include "logstore/record_walk.h"
#include "platform/codepage.h"
#include "platform/filetime.h"
#include "product/module_manager.h"

namespace korv::cli {
namespace {

std::string hex32(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

// The kind the viewer recognises the file as, and the columns the module gives it.
void print_kind(const std::string& path) {
  bool damaged = false;
  const int entry = korv::RecogniseLogTypeIn(KindTable(), path, &damaged);
  if (entry < 0) {
    // A file unknown only because its first record cannot be read says how to mend it.
    std::cout << "Log kind:            not recognised"
              << (damaged ? " (its first record cannot be read; try: korvlog repair " + path + ")" : std::string())
              << "\n";
    return;
  }
  const LOG_INFO& info = KindTable()[std::size_t(entry)];
  std::cout << "Log kind:            " << info.m_strDisplayName << " (" << info.m_strKey << ")\n";
  CLogHeader header;
  header.m_nTypeId = info.m_nTypeId;
  header.m_nFlags = info.m_dwFlags;
  header.m_nViewMode = (info.m_nEntryKind & LOG_ENTRY_SCAN_FILE) ? 3 : 1;
  std::string titles;
  if (StartProductModule()) {
    auto& holder = (info.m_dwFlags & LOG_FLAG_MODULE_SECOND) ? SecondInterfaceHolder() : FirstInterfaceHolder();
    const auto instance = holder.CurrentInstance();
    if (header.Build(instance.get(), nsLog::IsProductServer()))
      for (const HDR_INFO& column : header.m_columns)
        titles += (titles.empty() ? "" : ", ") + platform::utf16_to_utf8(column.name);
    StopProductModule();
  }
  std::cout << "Columns:             " << (titles.empty() ? "(none)" : titles) << '\n';
}

void help(std::ostream& out) {
  out << "Usage: korvlog info FILE\n\n"
         "Prints the header of the log FILE (a path, or a bare name below the product's\n"
         "Logs directory), whether its record chain walks cleanly (and if not, where and\n"
         "why it breaks), whether the file ends inside its last record, the numbers of\n"
         "records, deleted records and corrupted placeholders (type 0), and the record\n"
         "types met. It reads the file only; the product's service is not asked.\n\n"
         "Exit status: 0 clean log, 5 not a log or a broken chain, 3 no such file,\n"
         "2 usage error.\n";
}

int run(std::span<const std::string_view> args) {
  if (args.size() != 1 || args[0].starts_with('-')) {
    help(std::cerr);
    return kExitUsage;
  }
  std::string path(args[0]);
  // A bare name that names nothing here is one below the product's Logs directory, as for
  // export; a path is taken as given.
  struct stat st {};
  if (path.find('/') == std::string::npos && ::stat(path.c_str(), &st) != 0) {
    if (int status = ResolveArgumentPath(std::string(args[0]), path, true); status != kExitOk) return status;
  }
  platform::File file;
  _DISKLOG_HEADER h;
  if (int status = open_log_file(path, file, h); status != kExitOk) return status;

  std::uint64_t records = 0, deleted = 0, placeholders = 0;
  std::uint64_t lastOffset = 0, lastEnd = 0, lastNumber = 0;
  // A log holds a handful of record types, mostly in runs: the last one met is looked at
  // first, and the few counters are sorted for printing.
  std::vector<std::pair<std::uint32_t, std::uint64_t>> types;
  std::size_t lastType = 0;
  // The same walk the indexed open makes: it opens exactly when this is clean.
  const WalkResult walk = walk_records_with(file, h, h.header_size,
                                       [&](std::uint64_t offset, const _DISKLOG_RECORD_HEADER& r) {
                                         ++records;
                                         if (r.is_deleted()) ++deleted;
                                         if (r.record_type == kDiskLogPlaceholderType) ++placeholders;
                                         if (lastType >= types.size() || types[lastType].first != r.record_type) {
                                           lastType = 0;
                                           while (lastType < types.size() && types[lastType].first != r.record_type)
                                             ++lastType;
                                           if (lastType == types.size()) types.emplace_back(r.record_type, 0);
                                         }
                                         ++types[lastType].second;
                                         lastOffset = offset;
                                         lastEnd = offset + r.record_size;
                                         lastNumber = r.record_number;
                                       });
  std::uint64_t fileSize = 0;
  const bool sized = file.size(fileSize) == platform::FileError::ok;

  std::cout << "File:                " << path << '\n'
            << "Magic:               " << hex32(h.magic) << '\n'
            << "Header size:         " << h.header_size << '\n'
            << "Next record number:  " << h.next_record_number << '\n'
            << "Data end:            " << h.data_end << '\n'
            << "Creation time:       " << platform::filetime_to_utc_text(h.creation_time) << " UTC\n"
            << "Modification time:   " << platform::filetime_to_utc_text(h.modification_time) << " UTC\n"
            << "Rewrite time:        " << platform::filetime_to_utc_text(h.rewrite_time) << " UTC\n"
            << "Gap counter:         " << h.gap_counter << '\n';
  if (walk.ok())
    std::cout << "Record chain:        clean\n";
  else
    std::cout << "Record chain:        broken at offset " << walk.offset << ": " << walk_stop_text(walk.stop) << '\n';
  // The walk reads record headers only: a record whose bytes the file does not hold to its
  // end (a write cut short, a copy truncated) walks, but its payload cannot be read.
  const bool cut = sized && records > 0 && lastEnd > fileSize;
  if (cut)
    std::cout << "Last record:         cut short: record number " << lastNumber << " at offset " << lastOffset
              << " needs " << (lastEnd - lastOffset) << " bytes, the file ends after " << (fileSize - lastOffset)
              << '\n';
  std::cout << "Records:             " << records << '\n'
            << "Deleted records:     " << deleted << '\n'
            << "Placeholders:        " << placeholders << '\n'
            << "Record types:\n";
  std::sort(types.begin(), types.end());
  for (const auto& [type, count] : types) std::cout << "  " << hex32(type) << "  " << count << '\n';
  print_kind(path);
  std::cout.flush();

  if (cut)
    std::cerr << "korvlog: " << path << ": the file ends inside its last record (offset " << lastOffset
              << "); that record cannot be read\n";
  if (!walk.ok())
    return fail(kExitNotALog, path + ": the record chain breaks at offset " + std::to_string(walk.offset) + ": " +
                                  walk_stop_text(walk.stop));
  return kExitOk;
}

const CommandRegistration registration({"info", "show a log's header, record chain and record counts", run, help});

}  // namespace
}  // namespace korv::cli
