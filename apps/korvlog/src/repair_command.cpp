// korvlog repair [--yes] FILE: the repair a viewer offers when a log does not open.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <iostream>
#include <vector>
#include <string>

#include "command.h"
#include "log_file_check.h"
#include "logstore/disklog.h"
#include "logstore/record_walk.h"

namespace korv::cli {
namespace {

constexpr const char* kQuestion = "Unable to open a log. Do you want to scan it for errors and fix it?";
constexpr std::uint32_t kViewerOpen = DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED;

void help(std::ostream& out) {
  out << "Usage: korvlog repair [--yes] FILE\n"
         "       korvlog repair -o COPY FILE\n\n"
         "Tries to open the log FILE as the viewer does. If that fails, asks\n"
         "whether to scan and fix it (--yes answers yes; without a terminal and\n"
         "without --yes the answer is no), turns every zero-filled gap between\n"
         "records into a placeholder record and says whether the log opens now.\n"
         "Records are never moved or dropped and the file keeps its length.\n\n"
         "  -o, --output COPY  leave FILE as it is: copy it to COPY (a new file)\n"
         "                     and repair the copy, without asking; COPY is\n"
         "                     removed again when it cannot be mended\n\n"
         "Exit status: 0 the log opens (afterwards or already), 1 declined,\n"
         "5 not a log or not mended, 3 no such file, 2 usage error.\n";
}

// FILE copied to a new file COPY, for a repair that must leave FILE untouched (evidence).
// An existing COPY is never overwritten.
int copy_for_repair(const std::string& path, const std::string& copy) {
  std::error_code ec;
  if (std::filesystem::exists(copy, ec))
    return fail(kExitUsage, copy + ": exists; the repaired copy goes to a new file");
  if (!std::filesystem::copy_file(path, copy, std::filesystem::copy_options::none, ec))
    return fail(kExitNotALog, copy + ": cannot write the copy: " + ec.message());
  return kExitOk;
}

// Why the repair left the chain broken, from where the walk breaks: zero bytes there that
// run on too far for one placeholder (its size field has 32 bits) or too short for a record
// header, or damage that is no zero-filled gap at all.
std::string why_not_mended(const std::string& path) {
  constexpr std::uint64_t kLongest = 0xFFFFFFFFu;  // the largest record size
  platform::File file;
  _DISKLOG_HEADER h;
  if (open_log_file(path, file, h) != kExitOk) return "the log cannot be read again";
  const WalkResult walk = walk_records(file, h, h.header_size, [](std::uint64_t, const _DISKLOG_RECORD_HEADER&) {});
  const std::string generic = "the damage is not a zero-filled gap and cannot be mended";
  if (walk.ok() || walk.offset >= h.data_end) return generic;
  // Length of the zero run at the break, looked at up to one byte past the longest record.
  // Holes of a sparse file are skipped without reading them (SEEK_DATA).
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return generic;
  std::vector<unsigned char> block(1 << 20);
  std::uint64_t zeros = 0;
  const std::uint64_t limit = std::min<std::uint64_t>(h.data_end - walk.offset, kLongest + 1);
  while (zeros < limit) {
    const off_t at = off_t(walk.offset + zeros);
    const off_t data = ::lseek(fd, at, SEEK_DATA);
    if (data < 0 && errno == ENXIO) {
      // No data from here to the end of the file: zeros up to it, nothing beyond.
      struct stat st {};
      if (::fstat(fd, &st) == 0 && st.st_size > at)
        zeros = std::min<std::uint64_t>(limit, std::uint64_t(st.st_size) - walk.offset);
      break;
    }
    if (data > at) {  // a hole first (data < 0 otherwise: no hole support, read on)
      zeros = std::min<std::uint64_t>(limit, std::uint64_t(data) - walk.offset);
      continue;
    }
    const std::size_t want = std::size_t(std::min<std::uint64_t>(block.size(), limit - zeros));
    const ssize_t got = ::pread(fd, block.data(), want, at);
    if (got <= 0) break;
    const auto end = block.begin() + got;
    const auto nonzero = std::find_if(block.begin(), end, [](unsigned char b) { return b != 0; });
    zeros += std::uint64_t(nonzero - block.begin());
    if (nonzero != end) break;
  }
  ::close(fd);
  const std::string at = " at offset " + std::to_string(walk.offset);
  if (zeros > kLongest)
    return "the zero-filled gap" + at + " is longer than 4 GiB, more than one placeholder record can cover; it cannot be mended";
  if (zeros > 0 && zeros < kDiskLogRecordHeaderSize)
    return "the zero-filled gap" + at + " is " + std::to_string(zeros) +
           " bytes, shorter than a record header; it cannot be mended";
  return generic + " (the chain breaks" + at + ")";
}

bool ask_user() {
  if (!isatty(STDIN_FILENO)) return false;
  std::cerr << kQuestion << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

int repair_in_place(const std::string& path, bool yes);

int run(std::span<const std::string_view> args) {
  bool yes = false;
  std::string path;
  std::optional<std::string> copy;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (a == "--yes" || a == "-y") {
      yes = true;
    } else if (a == "-o" || a == "--output") {
      if (i + 1 >= args.size() || copy) {
        help(std::cerr);
        return kExitUsage;
      }
      copy = std::string(args[++i]);
    } else if (a.starts_with('-') || !path.empty()) {
      help(std::cerr);
      return kExitUsage;
    } else {
      path = a;
    }
  }
  if (path.empty() || (copy && copy->empty())) {
    help(std::cerr);
    return kExitUsage;
  }
  if (!copy) return repair_in_place(path, yes);

  {
    platform::File file;
    _DISKLOG_HEADER header;
    if (int status = open_log_file(path, file, header); status != kExitOk) return status;
  }
  if (std::error_code ec; std::filesystem::equivalent(path, *copy, ec))
    return fail(kExitUsage, *copy + ": is FILE itself; the copy goes to a new file");
  if (int status = copy_for_repair(path, *copy); status != kExitOk) return status;
  // Asking is for a repair in place: the user named a copy to be mended.
  const int status = repair_in_place(*copy, true);
  if (status != kExitOk) {
    std::error_code ec;
    std::filesystem::remove(*copy, ec);
    std::cout << "No copy was kept.\n";
    return status;
  }
  std::cout << "The repaired log is " << *copy << "; " << path << " was left unchanged.\n";
  return kExitOk;
}

int repair_in_place(const std::string& path, bool yes) {
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

  // Asked before the file is opened for writing: that open takes the writers' lock, and a
  // product that honours it could not append while the question waits for an answer.
  if (::access(path.c_str(), W_OK) != 0)
    return fail(kExitNotALog, path + ": cannot open for writing: " + std::strerror(errno));
  if (!(yes || ask_user())) {
    std::cout << "The log was left unchanged.\n";
    return kExitDeclined;
  }
  DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
  if (!log) {
    platform::File probe;  // only to say why
    const platform::FileError e = probe.open(path, platform::FileMode::write);
    return fail(kExitNotALog, path + ": cannot open for writing: " +
                                  (e == platform::FileError::ok ? "unknown error" : platform::file_error_text(e)));
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
  return fail(kExitNotALog, path + ": " + why_not_mended(path));
}

const CommandRegistration registration({"repair", "scan a log that does not open and mend its zero-filled gaps", run, help});

}  // namespace
}  // namespace korv::cli
