// Damaged and hostile logs written byte by byte from the file format, each read every way
// the viewer reads a file: the indexed open, reading by index and in file order,
// recognition by content, the rows of an opened log and the repair. Every reader leaves
// the bytes as they were; no size field makes a buffer larger than the file.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "log_record_read.h"
#include "log_test_support.h"
#include "logmodel/log_type.h"
#include "test_support/hostile_log.h"

namespace korv::test {
namespace {

using Bytes = std::vector<unsigned char>;
using Record = HostileLog::Record;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Record Events(std::u16string module, std::uint32_t aux = 0) {
  Record r;
  r.type = kEventsRecord;
  r.payload = EventPayload(0x40000000, module);
  r.aux = aux;
  r.time = Ft(2026, 12, 8, 12, 0, 0);
  return r;
}

Record Sized(Record r, std::uint32_t size) {
  r.size = size;
  return r;
}

// What each reader must make of a file.
struct Expect {
  bool opens;              // DiskLogOpen with index and deleted records
  std::size_t indexed;     // index entries when it opens
  int readFirst;           // DiskLogReadRecord(0) into a 64-byte buffer; -1: not asked
  int recognised;          // RecogniseLogTypeIn; 7 is Events
  bool damaged;            // its answer of a damaged log
  std::size_t rows;        // rows of CLog's load (when it opens)
  std::size_t corrupted;   // of them, corrupted
  int repair;              // DiskLogRepair: 1 true, 0 false, -1 not tried (no log header)
  bool repairWrites;       // whether the repair changes the bytes
};

struct Case {
  const char* name;
  HostileLog log;
  Expect expect;
};

HostileLog Make(std::initializer_list<Record> records) {
  HostileLog h;
  for (const Record& r : records) h.Add(r);
  return h;
}

std::vector<Case> Corpus() {
  std::vector<Case> cases;
  cases.push_back({"sound", Make({Events(u"a"), Events(u"b")}), {true, 2, 8, 7, false, 2, 0, 1, false}});
  cases.push_back({"empty log", Make({}), {true, 0, kDiskLogNoRecord, -1, false, 0, 0, 1, false}});
  {
    HostileLog h;
    h.Raw(Bytes(200, 'x'));
    h.header_magic = 0x6C6C6548;
    cases.push_back({"no header magic", h, {false, 0, -1, -1, false, 0, 0, -1, false}});
  }
  cases.push_back({"last record's size 4 GiB in a 600-byte file",
                   Make({Sized(Events(u"a"), 0xFFFFFFF0u)}),
                   {true, 1, kDiskLogShortPayload, 7, false, 1, 1, 1, false}});
  {
    Record r = Events(u"a");
    const std::uint32_t size = std::uint32_t(36 + r.payload.size() + 1);
    cases.push_back({"last record one byte longer than the file", Make({Sized(r, size)}),
                     {true, 1, kDiskLogShortPayload, 7, false, 1, 1, 1, false}});
  }
  cases.push_back({"record size below 36", Make({Sized(Events(u"a"), 20)}),
                   {false, 0, -1, -1, true, 0, 0, 0, false}});
  {
    Record r = Events(u"a");
    r.payload_offset = 4000;
    // The record alone is damaged: a corrupted row stands for it, and the log opens.
    cases.push_back({"payload offset past the record", Make({r}),
                     {true, 1, kDiskLogDamagedPayload, 7, false, 1, 1, 1, false}});
  }
  cases.push_back({"first record a placeholder of the repair",
                   Make({HostileLog::Placeholder(100), Events(u"a")}),
                   {true, 2, kDiskLogBufferTooSmall, 7, false, 2, 1, 1, false}});
  cases.push_back({"placeholders only", Make({HostileLog::Placeholder(40), HostileLog::Placeholder(64)}),
                   {true, 2, kDiskLogOk, -1, false, 2, 2, 1, false}});
  {
    HostileLog h;
    h.Zeros(120).Add(Events(u"a"));
    h.next_record_number = 2;
    cases.push_back({"first record lost, not yet repaired", h, {false, 0, -1, -1, true, 0, 0, 1, true}});
  }
  {
    // Two appends lost in a crash: the header took in the first only.
    HostileLog h;
    h.Add(Events(u"a")).Zeros(100).DataEndHere().Zeros(300);
    h.next_record_number = 2;
    cases.push_back({"gap running past the data end", h, {false, 0, -1, 7, false, 0, 0, 1, true}});
  }
  {
    HostileLog h;
    h.Add(Events(u"a")).Zeros(100).DataEndHere().Raw(Bytes(50, 0xAB));
    h.next_record_number = 2;
    cases.push_back({"gap up to the data end, junk past it", h, {false, 0, -1, 7, false, 0, 0, 1, true}});
  }
  {
    HostileLog h;
    h.Add(Events(u"a")).Zeros(20).DataEndHere().Zeros(300);
    h.next_record_number = 2;
    cases.push_back({"20 zero bytes before the data end, more past it", h,
                     {false, 0, -1, 7, false, 0, 0, 0, false}});
  }
  {
    HostileLog h;
    h.Add(Events(u"a")).Raw(Bytes(60, 0x5A));
    h.next_record_number = 2;
    cases.push_back({"junk where the second record should be", h, {false, 0, -1, 7, false, 0, 0, 0, false}});
  }
  {
    HostileLog h = Make({Events(u"a")});
    h.data_end = std::uint64_t(1) << 40;
    cases.push_back({"data end far past the file", h, {false, 0, -1, 7, false, 0, 0, 0, false}});
  }
  return cases;
}

class HostileLogCorpus : public ModuleFixture {};

TEST_F(HostileLogCorpus, EveryReaderAnswersAndLeavesTheBytes) {
  const LogTable table = MakeLogTable({});
  for (const Case& c : Corpus()) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.Path("hostile.dat");
    const Bytes bytes = c.log.Build();
    WriteFile(path, bytes);
    const Expect& e = c.expect;

    {
      DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
      ASSERT_EQ(bool(log), e.opens);
      if (log) {
        EXPECT_EQ(DiskLogIndexCount(log.get()), e.indexed);
        Bytes buffer(64);
        std::uint32_t size = std::uint32_t(buffer.size());
        EXPECT_EQ(DiskLogReadRecord(log.get(), 0, buffer.data(), size), e.readFirst);
        if (e.readFirst == kDiskLogBufferTooSmall) {
          EXPECT_LE(size, bytes.size());
        }
        // What the rows and the cache read through: never more than the file.
        Bytes grown;
        RecordBytes read;
        for (std::size_t i = 0; i < DiskLogIndexCount(log.get()); ++i)
          ReadIndexedRecord(log.get(), std::int32_t(i), grown, read);
        EXPECT_LE(grown.size(), std::max<std::size_t>(bytes.size(), 1024));
      }
    }
    {
      // In file order, as recognition and directory rows read: nothing past the file either.
      DiskLogHandle log = DiskLogOpen(path, 0);
      if (log) {
        Bytes buffer(16);
        for (int i = 0; i < 8; ++i) {
          std::uint32_t size = std::uint32_t(buffer.size());
          int r = DiskLogReadNext(log.get(), nullptr, buffer.data(), &size, nullptr, nullptr);
          if (r == kDiskLogBufferTooSmall) {
            ASSERT_LE(size, bytes.size());
            buffer.resize(size);
            r = DiskLogReadNext(log.get(), nullptr, buffer.data(), &size, nullptr, nullptr);
          }
          if (r != kDiskLogOk) break;
        }
      }
    }
    bool damaged = !e.damaged;
    EXPECT_EQ(RecogniseLogTypeIn(table, path, &damaged), e.recognised);
    EXPECT_EQ(damaged, e.damaged);

    auto opened = std::make_unique<CLog>(&*second_, &*first_);
    ASSERT_EQ(opened->Open(path, 1, kEventsType, kSecondInterface, "warnlog"), e.opens);
    if (e.opens) {
      opened->SetFilter(ShowAll());
      opened->LoadRecords(opened->Rows(), 0, -1);
      opened->RebuildVisible(true);
      EXPECT_EQ(std::size_t(opened->GetTotalCount()), e.rows);
      EXPECT_EQ(std::size_t(opened->GetCorruptedCount()), e.corrupted);
      std::u16string text;
      for (int p = 0; p < opened->GetVisibleCount(); ++p) opened->GetCellText(p, 1, text);
    }
    opened.reset();
    EXPECT_EQ(ReadFile(path), bytes) << "reading changed the file";

    if (e.repair >= 0) {
      DiskLogHandle writable = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
      ASSERT_TRUE(writable);
      EXPECT_EQ(DiskLogRepair(writable.get()), e.repair == 1);
      writable.reset();
      const Bytes after = ReadFile(path);
      EXPECT_EQ(after.size(), bytes.size()) << "the repair never changes the length";
      EXPECT_EQ(after != bytes, e.repairWrites);
      if (e.repair == 1) {
        DiskLogHandle reopened = DiskLogOpen(path, DISKLOG_OPEN_INDEX);
        EXPECT_TRUE(reopened) << "a repaired log opens";
      }
    }
  }
}

TEST_F(HostileLogCorpus, RepairedGapStopsAtTheDataEnd) {
  HostileLog h;
  h.Add(Events(u"a")).Zeros(100).DataEndHere().Zeros(300);
  h.next_record_number = 2;
  const std::string path = dir_.Path("gap.dat");
  const Bytes before = h.Build();
  WriteFile(path, before);
  {
    DiskLogHandle writable = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
    ASSERT_TRUE(writable);
    ASSERT_TRUE(DiskLogRepair(writable.get()));
  }
  DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
  ASSERT_TRUE(log);
  ASSERT_EQ(DiskLogIndexCount(log.get()), 2u);
  _DISKLOG_RECORD_HEADER placeholder;
  ASSERT_EQ(DiskLogReadRecordHeader(log.get(), 1, placeholder), kDiskLogOk);
  EXPECT_EQ(placeholder.record_type, kDiskLogPlaceholderType);
  EXPECT_EQ(placeholder.record_size, 100u);
  const Bytes after = ReadFile(path);
  const std::uint64_t dataEnd = DiskLogHeader(log.get()).data_end;
  EXPECT_EQ(Bytes(after.begin() + std::ptrdiff_t(dataEnd), after.end()),
            Bytes(before.begin() + std::ptrdiff_t(dataEnd), before.end()))
      << "nothing past the data end is written";
}

// A log whose first record is a placeholder of `gap` bytes, followed by one Events
// record; the placeholder's zeros are left a hole in the file.
std::string WriteLogWithLargePlaceholder(const std::string& path, std::uint32_t gap) {
  HostileLog head;
  Record ph = HostileLog::Placeholder(36);
  ph.size = gap;
  head.Add(ph).Add(Events(u"after the gap", 9));
  const Bytes compact = head.Build();  // header, placeholder header, Events record
  const std::size_t eventsAt = 56 + 36;
  Bytes start(compact.begin(), compact.begin() + std::ptrdiff_t(eventsAt));
  const Bytes events(compact.begin() + std::ptrdiff_t(eventsAt), compact.end());
  const std::uint64_t dataEnd = 56 + std::uint64_t(gap) + events.size();
  for (int i = 0; i < 8; ++i) start[12 + i] = static_cast<unsigned char>(dataEnd >> (8 * i));
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::pwrite(fd, start.data(), start.size(), 0), ssize_t(start.size()));
  EXPECT_EQ(::pwrite(fd, events.data(), events.size(), off_t(56 + gap)), ssize_t(events.size()));
  ::close(fd);
  return path;
}

TEST_F(HostileLogCorpus, APlaceholderOf1GiBIsShownWithoutReadingIt) {
  const std::string path = WriteLogWithLargePlaceholder(dir_.Path("large-gap.dat"), 1u << 30);
  auto log = OpenEvents(path);
  log->SetFilter(ShowAll());
  log->LoadRecords(log->Rows(), 0, -1);
  log->RebuildVisible(true);
  ASSERT_EQ(log->GetTotalCount(), 2);
  EXPECT_EQ(log->GetCorruptedCount(), 1);
  std::u16string text;
  EXPECT_TRUE(log->GetCellText(0, 1, text));
  EXPECT_EQ(text, u"after the gap");
  log->GetCellText(1, 1, text);
  EXPECT_TRUE(text.empty()) << "a corrupted row has no cells";

  // The buffer the rows read into stays at its first size.
  std::vector<std::uint8_t> buffer;
  RecordBytes read;
  ASSERT_TRUE(ReadIndexedRecord(log->GetFile(), 0, buffer, read));
  EXPECT_EQ(read.header.record_type, kDiskLogPlaceholderType);
  EXPECT_EQ(read.header.record_size, 1u << 30);
  EXPECT_TRUE(read.payload.empty());
  EXPECT_LE(buffer.size(), 1024u);
}

TEST_F(HostileLogCorpus, ADirectoryRowStandsForAFileWhoseFirstRecordWasLost) {
  const std::string scans = dir_.Path("escan");
  std::filesystem::create_directory(scans);
  WriteFile(scans + "/repaired.dat", Make({HostileLog::Placeholder(80), Events(u"kept")}).Build());
  WriteFile(scans + "/sound.dat", Make({Events(u"sound")}).Build());
  auto log = std::make_unique<CLog>(&*second_, &*first_);
  ASSERT_TRUE(log->Open(scans, 1, kEventsType, kSecondInterface | 0x4, "escan\\dir"));
  log->SetFilter(ShowAll());
  log->LoadDirectory(log->DirectoryRows(), {});
  log->RebuildVisible(true);
  ASSERT_EQ(log->GetTotalCount(), 2);
  std::vector<std::u16string> modules;
  for (int p = 0; p < 2; ++p) {
    std::u16string text;
    EXPECT_TRUE(log->GetCellText(p, 1, text));
    modules.push_back(text);
  }
  std::sort(modules.begin(), modules.end());
  EXPECT_EQ(modules, (std::vector<std::u16string>{u"kept", u"sound"}));
}

}  // namespace
}  // namespace korv::test
