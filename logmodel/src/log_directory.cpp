// The rows of a directory log: one per *.dat file, made from the file's first record.

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>

#include "log_internal.h"
#include "logmodel/decoded_record.h"
#include "logmodel/filter_match.h"
#include "platform/codepage.h"

namespace {

struct Listed {
  std::string name;
  korv::platform::FileTime lastWrite = 0;
};

// Owns an open directory stream.
class DirStream {
 public:
  explicit DirStream(const std::string& path) : dir_(::opendir(path.c_str())) {}
  ~DirStream() {
    if (dir_) ::closedir(dir_);
  }
  DirStream(const DirStream&) = delete;
  DirStream& operator=(const DirStream&) = delete;

  // The next entry that is a *.dat file and not a directory; false at the end.
  bool Next(Listed& out) {
    if (!dir_) return false;
    while (const dirent* e = ::readdir(dir_)) {
      // Windows matches the pattern without regard to case; so do we.
      if (::fnmatch("*.dat", e->d_name, FNM_CASEFOLD) != 0) continue;
      struct stat st {};
      if (::fstatat(::dirfd(dir_), e->d_name, &st, 0) != 0 || S_ISDIR(st.st_mode)) continue;
      out.name = e->d_name;
      out.lastWrite = korv::platform::filetime_from_unix(std::int64_t(st.st_mtim.tv_sec),
                                                         std::uint32_t(st.st_mtim.tv_nsec));
      return true;
    }
    return false;
  }

 private:
  DIR* dir_;
};

}  // namespace

bool CLog::LoadDirectoryRow(const std::string& name, korv::platform::FileTime lastWrite,
                            const REC_INFO_DIR* previous, LoadScratch& scratch, REC_INFO_DIR& row) {
  row = REC_INFO_DIR{};
  row.lastWrite = lastWrite;
  row.fileName = korv::platform::utf8_to_utf16(name);
  const std::size_t columns = std::size_t(GetColumnCount());
  const bool text = korv::TextCriterionActive(m_filter) && m_nFixedRecord < 0;
  if (previous && lastWrite <= previous->lastWrite) {
    row.level = previous->level;
    row.time = previous->time;
    if (text) {
      if (!ReadAndDecode(row, scratch.record, scratch.block)) return false;
      korv::MakeRowTexts(scratch.block, 0, m_nViewMode, columns, row.time, scratch.texts);
    } else {
      scratch.texts.clear();
    }
  } else {
    const std::string path = m_strPath + name;
    DiskLogHandle file = DiskLogOpen(path, 0);
    if (!file) return false;
    row.time = DiskLogHeader(file.get()).rewrite_time;
    file.reset();
    if (!ReadAndDecode(row, scratch.record, scratch.block)) return false;
    row.level = RowLevel(scratch.block, 0);
    korv::MakeRowTexts(scratch.block, 0, m_nViewMode, columns, row.time, scratch.texts);
  }
  if (MatchRecord(m_filter, row, &scratch.texts)) row.flags |= ROW_FLAG_VISIBLE;
  return true;
}

void CLog::LoadDirectory(std::vector<REC_INFO_DIR>& rows, const std::vector<REC_INFO_DIR>& previous) {
  rows.clear();
  if (!IsDirectory()) return;
  // The previous rows by file name (ordinal order of UTF-16 units), for lookup.
  std::vector<const REC_INFO_DIR*> byName;
  byName.reserve(previous.size());
  for (const REC_INFO_DIR& row : previous) byName.push_back(&row);
  auto less = [](const REC_INFO_DIR* a, const REC_INFO_DIR* b) { return a->fileName < b->fileName; };
  std::sort(byName.begin(), byName.end(), less);

  std::size_t counted = 0;
  {
    DirStream dir(m_strPath);
    Listed entry;
    while (dir.Next(entry)) ++counted;
  }
  rows.reserve(counted);
  SetProgressValue(10.0);

  DirStream dir(m_strPath);
  LoadScratch scratch;
  Listed entry;
  std::size_t done = 0;
  while (dir.Next(entry)) {
    if (m_bAbort) return;
    REC_INFO_DIR key;
    key.fileName = korv::platform::utf8_to_utf16(entry.name);
    const auto it = std::lower_bound(byName.begin(), byName.end(), &key, less);
    const REC_INFO_DIR* before = it != byName.end() && (*it)->fileName == key.fileName ? *it : nullptr;
    REC_INFO_DIR row;
    if (LoadDirectoryRow(entry.name, entry.lastWrite, before, scratch, row)) {
      row.record = std::int32_t(rows.size());
      rows.push_back(std::move(row));
    }
    ++done;
    // The directory may have gained files since they were counted: never past 100.
    const double part = counted ? double(std::min(done, counted)) / double(counted) : 1.0;
    SetProgressValue(10.0 + 90.0 * part);
  }
  SetProgressValue(100.0);
}
