// korvlog without the product module: a copy of the program in a folder of its own exports
// every record of a stand-in log as a raw row, and the stand-in's own decoder says which
// texts each row must hold. A decoded log keeps every record too: one the module refuses is
// a raw row, counted on standard error.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "logstore/disklog.h"
#include "standin/payload.h"
#include "test_support/line_formats.h"
#include "test_support/log_bytes.h"
#include "test_support/shell.h"
#include "test_support/temp_dir.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The TEXT fields of every record of the log, by record index, from the stand-in's decoder.
std::vector<std::vector<std::u16string>> TextFieldsOf(const std::string& path) {
  std::vector<std::vector<std::u16string>> out;
  DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
  EXPECT_TRUE(log);
  if (!log) return out;
  const int count = DiskLogRecordCount(log.get());
  for (int r = 0; r < count; ++r) {
    std::vector<std::uint8_t> bytes(1 << 20);
    std::uint32_t size = std::uint32_t(bytes.size());
    EXPECT_EQ(DiskLogReadRecord(log.get(), std::size_t(r), bytes.data(), size), kDiskLogOk);
    // Whatever the decoder makes of it: a record it refuses has no texts the test looks for.
    std::vector<std::u16string> texts;
    StandinTextFields(std::span<const std::uint8_t>(bytes.data() + 36, size - 36), texts);
    out.push_back(texts);
  }
  return out;
}

const std::u16string* Text(const JsonObject& o, std::u16string_view name) {
  for (const auto& [key, value] : o)
    if (key == name) return std::get_if<std::u16string>(&value);
  return nullptr;
}
bool Flag(const JsonObject& o, std::u16string_view name) {
  for (const auto& [key, value] : o)
    if (key == name) return std::get<bool>(value);
  ADD_FAILURE() << "no member";
  return false;
}
long Number(const JsonObject& o, std::u16string_view name) {
  for (const auto& [key, value] : o)
    if (key == name) return std::stol(std::get<std::string>(value));
  ADD_FAILURE() << "no member";
  return -1;
}

class RawExport : public ::testing::Test {
 protected:
  std::string P(const std::string& name) const { return dir_.Path(name); }
  // Runs `program` with `args`; standard output and error land in out_ and err_.
  int Run(const std::string& program, const std::string& args) {
    const int status = Shell("LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + program + " " + args + " </dev/null >" +
                             P("out") + " 2>" + P("err"));
    out_ = ReadAll(P("out"));
    err_ = ReadAll(P("err"));
    return status;
  }
  // The rows of out_ as JSON objects.
  std::vector<JsonObject> Rows() {
    std::vector<JsonObject> rows;
    const auto lines = SplitJsonLines(out_);
    EXPECT_TRUE(lines);
    if (!lines) return rows;
    for (const std::string& line : *lines) {
      auto o = ParseJsonLine(line);
      EXPECT_TRUE(o) << line;
      if (o) rows.push_back(std::move(*o));
    }
    return rows;
  }

  TempDir dir_{"korv-raw-export"};
  std::string out_, err_;
  const std::string bin_ = KORV_BIN_DIR;
};

TEST_F(RawExport, WithoutTheModuleEveryRecordIsARowWithEveryTextField) {
  fs::create_directories(P("alone"));
  fs::copy_file(bin_ + "/korvlog", P("alone/korvlog"));
  ASSERT_FALSE(fs::exists(P("alone/lvmod_32.so")));
  for (const std::string kind : {"warnlog", "virlog", "epfwlog"}) {
    SCOPED_TRACE(kind);
    const std::string log = P(kind + ".dat");
    ASSERT_EQ(Run(bin_ + "/korvlog-write", "append " + log + " --kind " + kind + " --count 300 --seed 7 --deleted-every 9"), 0);
    const auto expected = TextFieldsOf(log);
    ASSERT_EQ(expected.size(), 300u);
    ASSERT_EQ(Run(P("alone/korvlog"), "export -f jsonl --deleted " + log), 0) << err_;
    EXPECT_NE(err_.find("the product module could not be loaded; records are shown raw"), std::string::npos) << err_;
    EXPECT_EQ(err_.find("could not be read or decoded"), std::string::npos) << "nothing was asked of a module";
    const std::vector<JsonObject> rows = Rows();
    ASSERT_EQ(rows.size(), expected.size()) << "one row a record";
    std::map<long, const JsonObject*> byRecord;
    for (const JsonObject& row : rows) byRecord[Number(row, u"record")] = &row;
    ASSERT_EQ(byRecord.size(), expected.size());
    std::size_t fields = 0;
    for (const auto& [record, row] : byRecord) {
      EXPECT_TRUE(Flag(*row, u"raw"));
      EXPECT_EQ(*Text(*row, u"severity"), u"Raw");
      const std::u16string* texts = Text(*row, u"Texts");
      ASSERT_NE(texts, nullptr);
      // The Record column's member is made unique against the fixed "record" (same number).
      const std::u16string* number = Text(*row, u"Record_2");
      ASSERT_NE(number, nullptr);
      const std::string digits = std::to_string(record);
      EXPECT_EQ(*number, std::u16string(digits.begin(), digits.end()));
      for (const std::u16string& field : expected[std::size_t(record)]) {
        // A readable text is a run of 4 or more characters: "TCP" is not one.
        if (field.size() < 4) continue;
        ++fields;
        EXPECT_NE(texts->find(field), std::u16string::npos) << "record " << record;
      }
    }
    EXPECT_GT(fields, 300u) << "the kinds write TEXT fields";
  }
  // --raw asks for the same rows where the module is at hand.
  const std::string log = P("warnlog.dat");
  ASSERT_EQ(Run(P("alone/korvlog"), "export -f jsonl " + log), 0);
  const std::string alone = out_;
  ASSERT_EQ(Run(bin_ + "/korvlog", "export --raw -f jsonl " + log), 0) << err_;
  EXPECT_EQ(out_, alone);
}

TEST_F(RawExport, ARecordOfAnUnknownPayloadVersionIsExportedRaw) {
  const std::string log = P("warnlog.dat");
  ASSERT_EQ(Run(bin_ + "/korvlog-write", "append " + log + " --kind warnlog --count 20 --seed 3"), 0);
  // Record 7's payload version 1 becomes 9: the byte at the start of its payload.
  {
    DiskLogHandle file = DiskLogOpen(log, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
    ASSERT_TRUE(file);
    _DISKLOG_INDEX_RECORD entry;
    ASSERT_TRUE(DiskLogIndexEntry(file.get(), 7, entry));
    DiskLogClose(file);
    std::fstream f(log, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(entry.file_offset + 36));
    f.put(9);
  }
  ASSERT_EQ(Run(bin_ + "/korvlog", "export -f jsonl " + log), 0);
  EXPECT_NE(err_.find("1 record could not be read or decoded"), std::string::npos) << err_;
  std::set<long> records;
  long rawRecord = -1;
  for (const JsonObject& row : Rows()) {
    records.insert(Number(row, u"record"));
    if (Flag(row, u"raw")) rawRecord = Number(row, u"record");
  }
  EXPECT_EQ(records.size(), 20u) << "every record has its rows";
  EXPECT_EQ(rawRecord, 7);
}

}  // namespace
}  // namespace korv::test
