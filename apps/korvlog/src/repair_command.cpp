// korvlog repair [--yes] FILE: the repair a viewer offers when a log does not open.

#include <unistd.h>

#include <iostream>
#include <string>

#include "command.h"
#include "log_file_check.h"
#include "logstore/disklog.h"

namespace korv::cli {
namespace {

constexpr const char* kQuestion = "Unable to open a log. Do you want to scan it for errors and fix it?";
constexpr std::uint32_t kViewerOpen = DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED;

void help(std::ostream& out) {
  out << "Usage: korvlog repair [--yes] FILE\n\n"
         "Tries to open the log FILE as the viewer does. If that fails, asks\n"
         "whether to scan and fix it (--yes answers yes; without a terminal and\n"
         "without --yes the answer is no), turns every zero-filled gap between\n"
         "records into a placeholder record and says whether the log opens now.\n"
         "Records are never moved or dropped and the file keeps its length.\n\n"
         "Exit status: 0 the log opens (afterwards or already), 1 declined,\n"
         "5 not a log or not mended, 3 no such file, 2 usage error.\n";
}

bool ask_user() {
  if (!isatty(STDIN_FILENO)) return false;
  std::cerr << kQuestion << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

int run(std::span<const std::string_view> args) {
  bool yes = false;
  std::string path;
  for (std::string_view a : args) {
    if (a == "--yes" || a == "-y") {
      yes = true;
    } else if (a.starts_with('-') || !path.empty()) {
      help(std::cerr);
      return kExitUsage;
    } else {
      path = a;
    }
  }
  if (path.empty()) {
    help(std::cerr);
    return kExitUsage;
  }

  {
    // A file without the header magic is never opened for writing: that
    // would make it an empty log before anyone agreed.
    platform::File file;
    _DISKLOG_HEADER header;
    if (int status = open_log_file(path, file, header); status != kExitOk) return status;
  }
  if (DiskLogOpen(path, kViewerOpen)) {
    std::cout << "The log opens; nothing to repair.\n";
    return kExitOk;
  }

  DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
  if (!log) {
    platform::File probe;  // only to say why
    const platform::FileError e = probe.open(path, platform::FileMode::write);
    return fail(kExitNotALog, path + ": cannot open for writing: " +
                                  (e == platform::FileError::ok ? "unknown error" : platform::file_error_text(e)));
  }
  if (!(yes || ask_user())) {
    std::cout << "The log was left unchanged.\n";
    return kExitDeclined;
  }

  const std::uint32_t gaps_before = DiskLogHeader(log.get()).gap_counter;
  const bool mended = DiskLogRepair(log.get());
  const std::uint32_t written = DiskLogHeader(log.get()).gap_counter - gaps_before;
  DiskLogClose(log);

  std::cout << "Placeholders written: " << written << '\n';
  if (mended && DiskLogOpen(path, kViewerOpen)) {
    std::cout << "The log opens now.\n";
    return kExitOk;
  }
  std::cout << "The log still does not open.\n";
  return fail(kExitNotALog, path + ": the damage is not a zero-filled gap and cannot be mended");
}

const CommandRegistration registration({"repair", "scan a log that does not open and mend its zero-filled gaps", run, help});

}  // namespace
}  // namespace korv::cli
