#include "cmd_export_open.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <cstdint>

#include "command.h"
#include "logmodel/log_type.h"
#include "logstore/disklog.h"

namespace korv::cli {
namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

const LogTable& KindTable() {
  static const LogTable table = korv::MakeLogTable({});
  return table;
}

std::int32_t SplitRecordSuffix(std::string& path) {
  const std::size_t colon = path.rfind(':');
  if (colon == std::string::npos) return -1;
  std::size_t i = colon + 1;
  while (i < path.size() && std::isspace(static_cast<unsigned char>(path[i]))) ++i;
  std::int64_t n = 0;
  for (; i < path.size(); ++i) {
    if (path[i] < '0' || path[i] > '9') return -1;
    n = n * 10 + (path[i] - '0');
    if (n > INT32_MAX) return -1;  // no record has such an index
  }
  path.resize(colon);
  return std::int32_t(n);
}

int ResolveArgumentPath(const std::string& name, std::string& path, bool report) {
  auto fail = [report](int status, const std::string& message) {
    return report ? korv::cli::fail(status, message) : status;
  };
  if (name.empty()) return fail(kExitUsage, "no log path given");
  if (Exists(name)) {
    // An existing path is meant as it is; the log would take a bare name as one below the
    // product's Logs directory.
    path = std::filesystem::absolute(name).lexically_normal().string();
    return kExitOk;
  }
  const std::string resolved = nsLog::ResolveLogPath(name);
  // The registry value is taken as a C string everywhere else; one with a NUL inside would
  // name another directory than the one it spells, so it names none.
  if (resolved.find('\0') != std::string::npos)
    return fail(kExitNotFound, name + ": the product's AppDataDir holds a NUL character; "
                                      "give the log's full path");
  if (resolved.empty() || resolved == name || !Exists(resolved))
    return fail(kExitNotFound, name + ": no such file or directory");
  path = resolved;
  return kExitOk;
}

namespace {
bool g_showRaw = false;  // set once by the command before it opens anything
}  // namespace

void ShowRecordsRaw(bool raw) { g_showRaw = raw; }

int OpenWithoutRows(const std::string& argument, const CLogFilterData& filter, CLog& log,
                    OpenedLog& opened, bool report) {
  auto fail = [report](int status, const std::string& message) {
    return report ? korv::cli::fail(status, message) : status;
  };
  std::string path = argument;
  // A file whose own name ends in ":N" is that file, not a record of another.
  opened.record = Exists(argument) ? -1 : SplitRecordSuffix(path);
  if (opened.record >= 0) {
    const std::size_t colon = argument.rfind(':');
    if (argument.find_first_not_of(" \t\n\v\f\r", colon + 1) == std::string::npos)
      return fail(kExitUsage, argument + ": no record number after ':' (FILE:N, N from 0)");
  }
  if (int status = ResolveArgumentPath(path, path, report); status != kExitOk) return status;
  opened.path = path;
  if (opened.record >= 0 && std::filesystem::is_directory(path))
    return fail(kExitUsage, argument + ": a directory has no records; FILE:N picks record N of a log file");
  bool damaged = false;
  opened.entry = korv::RecogniseLogTypeIn(KindTable(), path, &damaged);
  // Named, as timeline reports each log it could not use among several.
  if (opened.entry < 0) return fail(kExitUnknownLog, argument + ": " + korv::UnknownLogTypeText(path, damaged));
  const LOG_INFO& entry = KindTable()[std::size_t(opened.entry)];

  std::uint32_t flags = entry.m_dwFlags;
  int view = LOG_VIEW_LIST;
  if ((entry.m_nEntryKind & LOG_ENTRY_SCAN_FILE) || opened.record >= 0) {
    view = LOG_VIEW_RECORD;
    flags &= ~LOG_FLAG_DIRECTORY;
  }
  log.SetViewMode(view);
  log.SetFixedRecord(opened.record);
  log.SetRawRecords(g_showRaw);
  if (!log.Open(path, entry.m_nServiceValue, entry.m_nTypeId, flags, entry.m_strKey))
    return fail(kExitNotALog, "Unable to open a log. Run 'korvlog repair " + path +
                                  "' to scan it for errors and fix it.");
  log.SetFixedRecord(opened.record);  // Open keeps it; set again as the window does
  if (opened.record >= 0) {
    const std::size_t records = log.GetFile() ? DiskLogIndexCount(log.GetFile()) : 0;
    if (std::size_t(opened.record) >= records) {
      log.Close();
      return fail(kExitUsage, argument + ": no such record; the log has " + std::to_string(records) +
                                  (records == 0 ? " records" : " records (0 to " + std::to_string(records - 1) + ")"));
    }
  }

  log.SetFilter(filter);
  return kExitOk;
}

int OpenAndLoad(const std::string& argument, const CLogFilterData& filter, CLog& log,
                OpenedLog& opened) {
  if (int status = OpenWithoutRows(argument, filter, log, opened, true); status != kExitOk) return status;
  LoadOpenedRows(log, opened);
  return kExitOk;
}

void LoadOpenedRows(CLog& log, const OpenedLog& opened) {
  if (opened.record >= 0) {
    log.LoadFixedRecord(log.Rows(), opened.record);
    log.RebuildVisible(true);
  } else if (log.IsDirectory()) {
    std::vector<REC_INFO_DIR> listing;
    log.LoadDirectory(listing, {});
    // Oldest file first, as the updater orders a listing.
    std::stable_sort(listing.begin(), listing.end(),
                     [](const REC_INFO_DIR& a, const REC_INFO_DIR& b) { return a.time < b.time; });
    for (std::size_t i = 0; i < listing.size(); ++i) listing[i].record = std::int32_t(i);
    log.DirectoryRows() = std::move(listing);
    log.RebuildVisible(false);
  } else {
    log.LoadRecords(log.Rows(), 0, -1);
    log.RebuildVisible(false);
  }
}

}  // namespace korv::cli
