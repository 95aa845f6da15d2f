// korvlog info FILE: the header, whether the record chain walks, and what it holds.

#include <cstdio>
#include <iostream>
#include <map>
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
  const int entry = korv::RecogniseLogTypeIn(KindTable(), path);
  if (entry < 0) {
    std::cout << "Log kind:            not recognised\n";
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
         "Prints the header of the log FILE, whether its record chain walks cleanly\n"
         "(and if not, where and why it breaks), the numbers of records, deleted\n"
         "records and corrupted placeholders (type 0), and the record types met.\n\n"
         "Exit status: 0 clean log, 5 not a log or a broken chain, 3 no such file,\n"
         "2 usage error.\n";
}

int run(std::span<const std::string_view> args) {
  if (args.size() != 1 || args[0].starts_with('-')) {
    help(std::cerr);
    return kExitUsage;
  }
  const std::string path(args[0]);
  platform::File file;
  _DISKLOG_HEADER h;
  if (int status = open_log_file(path, file, h); status != kExitOk) return status;

  std::uint64_t records = 0, deleted = 0, placeholders = 0;
  std::map<std::uint32_t, std::uint64_t> types;
  // The same walk the indexed open makes: it opens exactly when this is clean.
  const WalkResult walk = walk_records(file, h, h.header_size,
                                       [&](std::uint64_t, const _DISKLOG_RECORD_HEADER& r) {
                                         ++records;
                                         if (r.is_deleted()) ++deleted;
                                         if (r.record_type == kDiskLogPlaceholderType) ++placeholders;
                                         ++types[r.record_type];
                                       });

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
  std::cout << "Records:             " << records << '\n'
            << "Deleted records:     " << deleted << '\n'
            << "Placeholders:        " << placeholders << '\n'
            << "Record types:\n";
  for (const auto& [type, count] : types) std::cout << "  " << hex32(type) << "  " << count << '\n';
  print_kind(path);
  std::cout.flush();

  if (!walk.ok())
    return fail(kExitNotALog, path + ": the record chain breaks at offset " + std::to_string(walk.offset) + ": " +
                                  walk_stop_text(walk.stop));
  return kExitOk;
}

const CommandRegistration registration({"info", "show a log's header, record chain and record counts", run, help});

}  // namespace
}  // namespace korv::cli
