// A module that answers damaged blocks, seen through the opened log: every damaged row becomes
// a row without cells, nothing reads outside a block (run this under ASan), and the good
// record between the damaged ones keeps its cells.

#include <gtest/gtest.h>

#include <optional>

#include "garbage_kinds.h"
#include "logmodel/export_writer.h"
#include "workers_support.h"

namespace korv::test {
namespace {

class StringSink : public ExportSink {
 public:
  bool Write(const char* data, std::size_t size) override {
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
};

class LogRowsOf : public ExportRows {
 public:
  explicit LogRowsOf(CLog& log) : log_(log) {}
  int Count() override { return log_.GetVisibleCount(); }
  bool Cells(int row, std::vector<std::u16string>& cells) override { return log_.GetRowCells(row, cells); }
  bool Text(int row, std::u16string& line) override { return log_.GetRowText(row, line); }
  bool DateTime(int row, std::u16string& date, std::u16string& time) override {
    return log_.GetRowDateTime(row, date, time);
  }
  bool RowInfo(int row, REC_INFO_BASE& info) override {
    const REC_INFO_BASE* found = log_.GetRow(row);
    if (found != nullptr) info = *found;
    return found != nullptr;
  }

 private:
  CLog& log_;
};

class GarbageModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::set_process_utc_offset(0);
    SetHostLanguage(1033);
    loader_.emplace(&HostServices, std::string(KORV_GARBAGE_MODULE_DIR) + "/");
    ASSERT_TRUE(loader_->StartModule()) << "lvmod_32.so in " << KORV_GARBAGE_MODULE_DIR;
    second_.emplace(*loader_, kComponentSecond);
    first_.emplace(*loader_, kComponentFirst);
    ASSERT_EQ(second_->OpenComponent(), kResultOk);
  }
  // A log with one record per kind, in the order given; record i has time i seconds.
  std::string WriteLog(const std::vector<GarbageKind>& kinds) {
    const std::string path = dir_.Path("garbage.dat");
    standin::LogFileWriter w;
    EXPECT_EQ(w.create(path), platform::FileError::ok);
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      const std::uint8_t payload[4] = {std::uint8_t(kinds[i]), 1, 2, 3};
      standin::NewRecord rec;
      rec.type = kEventsRecord;
      rec.time = 133000000000000000ull + i * 10000000ull;
      rec.payload = std::span<const unsigned char>(payload, sizeof payload);
      EXPECT_EQ(w.append(rec), platform::FileError::ok);
    }
    EXPECT_EQ(w.flush(), platform::FileError::ok);
    EXPECT_EQ(w.close(), platform::FileError::ok);
    return path;
  }
  std::unique_ptr<CLog> Open(const std::string& path, std::int32_t typeId = kEventsType) {
    auto log = std::make_unique<CLog>(&*second_, &*first_);
    log->SetViewMode(LOG_VIEW_RECORD);
    EXPECT_TRUE(log->Open(path, 7, typeId, kSecondInterface, "warnlog"));
    log->SetFilter(ShowAll());
    log->LoadRecords(log->Rows(), 0, -1);
    log->RebuildVisible(true);
    return log;
  }

  WorkerTempDir dir_;
  std::optional<ModuleLoader> loader_;
  std::optional<ComponentHolder> second_, first_;
};

TEST_F(GarbageModuleTest, DamagedBlocksGiveRowsWithoutCells) {
  // What each damaged block becomes: how many rows, and whether its cells can be read. A
  // block the module fails to give, or one without rows, leaves the record's raw row: its
  // kind, size and bytes in the first cell (first null), an empty second cell.
  struct Case {
    GarbageKind kind;
    std::vector<std::uint32_t> levels;  // one per row the record gives
    const char16_t* first;  // text of the first cell of its first row
    const char16_t* second;
  };
  const std::u16string rawStart = u"0x00010002 Events, 4 bytes: 0";
  const Case cases[] = {
      {GarbageKind::good, {0x40000000u}, u"A", u"B"},
      {GarbageKind::row_offset_outside, {0}, u"", u""},
      {GarbageKind::cell_offsets_huge, {0x40000000u}, u"", u""},
      // As many rows as offsets fit, (40 - 16) / 4; the offsets that point inside the block
      // read whatever word lies there, the others give level 0.
      {GarbageKind::row_count_huge, {0x40000000u, 0, 0xFFFFFFFFu, 20, 0, 0}, u"A", u"B"},
      {GarbageKind::length_beyond_buffer, {0}, nullptr, u""},
      {GarbageKind::text_without_nul, {0x40000000u}, u"A", u""},
      {GarbageKind::always_too_small, {0}, nullptr, u""},
      {GarbageKind::shorter_than_header, {0}, nullptr, u""},
      {GarbageKind::level_half_outside, {0}, u"", u""},
      {GarbageKind::failure, {0}, nullptr, u""},
  };
  std::vector<GarbageKind> kinds;
  for (const Case& c : cases) kinds.push_back(c.kind);
  kinds.push_back(GarbageKind::good);  // a good record after all of them is still shown
  auto log = Open(WriteLog(kinds));
  ASSERT_EQ(log->GetColumnCount(), 2);

  const std::vector<REC_INFO_BASE>& rows = log->Rows();
  std::size_t at = 0;
  for (std::size_t r = 0; r < std::size(cases); ++r) {
    const Case& c = cases[r];
    SCOPED_TRACE(int(c.kind));
    for (std::size_t i = 0; i < c.levels.size(); ++i, ++at) {
      ASSERT_LT(at, rows.size());
      EXPECT_EQ(rows[at].record, std::int32_t(r));
      EXPECT_EQ(rows[at].row, std::int32_t(i));
      EXPECT_EQ(rows[at].level, c.levels[i]) << "row " << i;
    }
    if (c.levels.empty()) continue;
    // View mode 3 shows the rows in file order: the record's first row is at this position.
    const int position = int(at - c.levels.size());
    // A cell the block cannot give reads as an empty cell.
    std::u16string text;
    EXPECT_EQ(bool(rows[at - 1].flags & ROW_FLAG_RAW), c.first == nullptr);
    if (c.first == nullptr) {
      EXPECT_TRUE(log->GetCellText(position, 0, text));
      EXPECT_EQ(text.rfind(rawStart, 0), 0u) << "the raw row's first cell";
    } else {
      EXPECT_EQ(log->GetCellText(position, 0, text), *c.first != 0);
      EXPECT_EQ(text, c.first);
    }
    EXPECT_EQ(log->GetCellText(position, 1, text), *c.second != 0 || c.first == nullptr);
    EXPECT_EQ(text, c.second);
    EXPECT_FALSE(log->GetCellText(position, 2, text)) << "no third column";
  }
  ASSERT_EQ(at + 1, rows.size()) << "the last good record";
  EXPECT_EQ(rows.back().record, std::int32_t(std::size(cases)));
  std::vector<std::u16string> cells;
  ASSERT_TRUE(log->GetRowCells(int(at), cells));
  EXPECT_EQ(cells, (std::vector<std::u16string>{u"A", u"B"}));

  // Every row of every record through the copy and both export paths.
  for (int p = 0; p < log->GetVisibleCount(); ++p) {
    std::u16string line;
    log->GetRowText(p, line);
    if (!(log->GetRow(p)->flags & ROW_FLAG_RAW)) EXPECT_LE(line.size(), 3u) << p;  // at most "A\tB"
  }
  LogRowsOf source(*log);
  StringSink xml, text;
  EXPECT_EQ(WriteXmlExport(source, {u"First", u"Second"}, false, xml, {}), kExportOk);
  EXPECT_EQ(WriteTextExport(source, text, {}), kExportOk);
  EXPECT_NE(text.bytes.find("A\tB"), std::string::npos);
}

TEST_F(GarbageModuleTest, CacheRowOfADamagedBlockStaysInsideIt) {
  auto log = Open(WriteLog({GarbageKind::row_count_huge, GarbageKind::cell_offsets_huge,
                            GarbageKind::level_half_outside, GarbageKind::always_too_small}));
  ASSERT_EQ(log->GetVisibleCount(), 9) << "the last record's raw row too";
  for (int p = 0; p < log->GetVisibleCount(); ++p) EXPECT_TRUE(log->CacheRow(p)) << p;
  std::u16string text;
  EXPECT_TRUE(log->GetCellText(0, 0, text)) << "answered from the cache";
  EXPECT_EQ(text, u"A");
  EXPECT_FALSE(log->GetCellText(7, 0, text)) << "the row's level lies outside its block";
  EXPECT_EQ(text, u"");
  EXPECT_TRUE(log->GetCellText(8, 0, text)) << "the raw row of the record the module refuses";
}

TEST_F(GarbageModuleTest, HeaderTextWithoutNulIsCutAtTheBuffer) {
  auto log = Open(WriteLog({GarbageKind::good}), kGarbageHeaderType);
  // The whole buffer is one column title of X; whatever the header makes of it, it stays
  // within the buffer the viewer gave.
  const CLogHeader& header = log->GetHeader();
  for (const HDR_INFO& column : header.m_columns) EXPECT_LE(column.name.size(), 256u);
  std::u16string text;
  if (log->GetColumnCount() > 0) {
    EXPECT_TRUE(log->GetCellText(0, 0, text));
  }
}

}  // namespace
}  // namespace korv::test
