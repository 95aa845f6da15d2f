// korvlog export --histogram run as a program: the exact table and CSV for a small log under
// the bucket sizes, the filter options and the time zone, and the refused combinations.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "test_support/shell.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class HistogramCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korv-histogram-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    log_ = (dir_ / "warnlog.dat").string();
    // Warning 14:03, deleted Error 15:00 and Warning 15:59 on the 8th, Information 23:30 on
    // the 9th; the level 0xA0000000 row on the 9th is Critical.
    std::ofstream in(dir_ / "in.json");
    in << R"({"type": "0x00010002", "time": "2026-12-08 14:03:05", "rows": [{"level": "0x40000000", "fields": [{"text": "a"}, {"msg": 53}, {"text": "u"}]}]})" "\n"
       << R"({"type": "0x00010002", "time": "2026-12-08 15:00:00", "flags": 1, "rows": [{"level": "0x80000000", "fields": [{"text": "b"}, {"msg": 1}, {"text": "u"}]}]})" "\n"
       << R"({"type": "0x00010002", "time": "2026-12-08 15:59:59", "rows": [{"level": "0x40000000", "fields": [{"text": "c"}, {"msg": 1}, {"text": "u"}]}]})" "\n"
       << R"({"type": "0x00010002", "time": "2026-12-09 08:00:00", "rows": [{"level": "0xA0000000", "fields": [{"text": "d"}, {"msg": 1}, {"text": "u"}]}]})" "\n"
       << R"({"type": "0x00010002", "time": "2026-12-09 23:30:00", "rows": [{"level": "0x10000000", "fields": [{"text": "e"}, {"msg": 1}, {"text": "u"}]}]})" "\n";
    in.close();
    const std::string cmd = std::string(KORV_BIN_DIR) + "/korvlog-write append-json '" + log_ + "' <" +
                            (dir_ / "in.json").string();
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Run(const std::string& args, std::string& out, std::string& err) {
    const std::string cmd = "LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + std::string(KORV_BIN_DIR) +
                            "/korvlog export " + args + " </dev/null >" + (dir_ / "out").string() +
                            " 2>" + (dir_ / "err").string();
    const int status = Shell(cmd);
    out = ReadAll(dir_ / "out");
    err = ReadAll(dir_ / "err");
    return status;
  }
  fs::path dir_;
  std::string log_;
};

constexpr char kHeader[] = "Start                Critical  Error  Warning  Information  Diagnostic  Total\n";

TEST_F(HistogramCli, TableAndCsvPerBucketSizeFilterAndZone) {
  const struct {
    std::string args;
    std::string out;
  } cases[] = {
      // Fitted to the span (about 34 hours): hours. The deleted Error is filtered out.
      {"--histogram", std::string(kHeader) +
                          "2026-12-08 14:00:00         0      0        1            0           0      1\n"
                          "2026-12-08 15:00:00         0      0        1            0           0      1\n"
                          "2026-12-09 08:00:00         1      0        0            0           0      1\n"
                          "2026-12-09 23:00:00         0      0        0            1           0      1\n"},
      {"--histogram --bucket day --deleted",
       std::string(kHeader) +
           "2026-12-08 00:00:00         0      1        2            0           0      3\n"
           "2026-12-09 00:00:00         1      0        0            1           0      2\n"},
      {"--histogram --bucket minute --types warning",
       std::string(kHeader) +
           "2026-12-08 14:03:00         0      0        1            0           0      1\n"
           "2026-12-08 15:59:00         0      0        1            0           0      1\n"},
      // Ten hours east: the 9th's 23:30 falls on the 10th, the day buckets move with the zone.
      {"--histogram --bucket day --utc-offset 10",
       std::string(kHeader) +
           "2026-12-09 00:00:00         1      0        2            0           0      3\n"
           "2026-12-10 00:00:00         0      0        0            1           0      1\n"},
      {"--histogram --bucket day -f csv --deleted",
       "start,end,critical,error,warning,information,diagnostic,total\n"
       "2026-12-08 00:00:00,2026-12-09 00:00:00,0,1,2,0,0,3\n"
       "2026-12-09 00:00:00,2026-12-10 00:00:00,1,0,0,1,0,2\n"},
      {"--histogram -f csv --period range --from \"2026-12-10 00:00:00\" --to \"2026-12-11 00:00:00\"",
       "start,end,critical,error,warning,information,diagnostic,total\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out, err;
    EXPECT_EQ(Run(c.args + " '" + log_ + "'", out, err), 0) << err;
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(err, "");
  }
}

TEST_F(HistogramCli, OutputFileAndRefusedCombinations) {
  std::string out, err;
  const fs::path file = dir_ / "counts.csv";
  ASSERT_EQ(Run("--histogram --bucket day -f csv -o '" + file.string() + "' '" + log_ + "'", out, err), 0) << err;
  EXPECT_EQ(out, "");
  EXPECT_EQ(ReadAll(file),
            "start,end,critical,error,warning,information,diagnostic,total\n"
            "2026-12-08 00:00:00,2026-12-09 00:00:00,0,0,2,0,0,2\n"
            "2026-12-09 00:00:00,2026-12-10 00:00:00,1,0,0,1,0,2\n");
  // The log itself is never the output.
  EXPECT_EQ(Run("--histogram -o '" + log_ + "' '" + log_ + "'", out, err), 6);

  const struct {
    std::string args;
    std::string message;
  } refused[] = {
      {"--histogram -f xml", "--histogram writes txt or csv"},
      {"--histogram --bucket week", "--bucket takes minute, hour or day"},
      {"--bucket day", "--bucket goes together with --histogram"},
      {"--histogram -f jsonl", "--histogram writes txt or csv"},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.args);
    EXPECT_EQ(Run(r.args + " '" + log_ + "'", out, err), 2);
    EXPECT_NE(err.find(r.message), std::string::npos) << err;
    EXPECT_EQ(out, "");
  }
}

// Every row an export writes is counted once: in a bucket, or on the "no time" line when the
// list shows no time for it (0, or past 9999 in the zone), whatever the zone and the size.
TEST_F(HistogramCli, TotalsEqualTheExportsRowsWithTimesZeroBefore1970AndPast9999) {
  const std::string odd = (dir_ / "odd" / "warnlog.dat").string();
  fs::create_directories(dir_ / "odd");
  {
    std::ofstream in(dir_ / "odd.json");
    const char* times[] = {"0", "1", "\"1601-01-01 03:00:00\"", "\"1969-12-31 23:59:59\"", "\"1900-06-01 00:00:00\"",
                           "\"2026-12-08 14:03:05\"", "\"9999-12-31 23:00:00\"", "2650467744000000000",
                           "9223372036854775808", "18446744073709551615", "\"2026-12-08 14:03:05\""};
    const char* levels[] = {"0x40000000", "0x80000000", "0xA0000000", "0x10000000", "0x00000001"};
    int i = 0;
    for (const char* t : times) {
      in << R"({"type": "0x00010002", "time": )" << t << R"(, "rows": [{"level": ")" << levels[i % 5]
         << R"(", "fields": [{"text": "r)" << i << R"("}, {"msg": 1}, {"text": "u"}]}]})" "\n";
      ++i;
    }
  }
  ASSERT_EQ(std::system((std::string(KORV_BIN_DIR) + "/korvlog-write append-json '" + odd + "' <" +
                         (dir_ / "odd.json").string())
                            .c_str()),
            0);
  const struct {
    std::string filter, bucket;
  } cases[] = {{"", ""},
               {"--utc-offset 14", ""},
               {"--utc-offset -12", "--bucket day"},
               {"", "--bucket minute"},
               {"--types critical,error --utc-offset 3", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter + " " + c.bucket);
    std::string jsonl, csv, table, err;
    ASSERT_EQ(Run("-f jsonl " + c.filter + " '" + odd + "'", jsonl, err), 0) << err;
    ASSERT_EQ(Run("--histogram -f csv " + c.filter + " " + c.bucket + " '" + odd + "'", csv, err), 0) << err;
    ASSERT_EQ(Run("--histogram " + c.filter + " " + c.bucket + " '" + odd + "'", table, err), 0) << err;
    // A row has no time the list shows when its time is null there, or 0 (no time set).
    std::size_t rows = 0, untimedRows = 0;
    for (std::size_t start = 0, end; (end = jsonl.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = jsonl.substr(start, end - start);
      ++rows;
      if (line.starts_with("{\"time\":null") || line.find("\"filetime\":0,") != std::string::npos) ++untimedRows;
    }
    // The CSV's totals, the no-time line's among them.
    std::size_t counted = 0, noTime = 0, lines = 0;
    for (std::size_t start = csv.find('\n') + 1, end; (end = csv.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = csv.substr(start, end - start);
      const std::size_t total = std::stoul(line.substr(line.rfind(',') + 1));
      counted += total;
      if (line.starts_with(",,")) noTime += total;
      ++lines;
    }
    EXPECT_GT(rows, 0u);
    EXPECT_EQ(counted, rows) << csv;
    EXPECT_EQ(noTime, untimedRows) << csv << jsonl;
    // The table has the same lines, the no-time one named.
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), std::ptrdiff_t(lines + 1)) << table;
    EXPECT_EQ(table.find("no time") != std::string::npos, noTime > 0) << table;
    EXPECT_EQ(table.find("60056"), std::string::npos) << table;
  }
}

}  // namespace
}  // namespace korv::test
