// korvlog export -f jsonl and -f csv run as a program: the rows of the text export for file
// logs, single records and scan directories, output that strict readers (and Python's json
// and csv modules, where Python is installed) accept, and the exit statuses.

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_support/line_formats.h"
#include "test_support/shell.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct CliRun {
  int status = -1;
  std::string out, err;
};

class LineExportCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korv-lines-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    log_ = (dir_ / "warnlog.dat").string();
    // Record 1 has three rows and is deleted; the cells hold what CSV and JSON must quote.
    Write(log_, {
        R"({"type": "0x00010002", "time": "2026-12-08 14:03:05", "rows": [{"level": "0x40000000", "fields": [{"text": "a,b \"q\"\r\nnext\ttab"}, {"msg": 53}, {"text": "CORP\\admin"}]}]})",
        R"({"type": "0x00010002", "time": "2026-12-08 15:00:00", "flags": 1, "rows": [{"level": "0x80000000", "fields": [{"text": "Síť \u0007\u2028"}, {"msg": 1}, {"text": "O'Neil"}]}, {"level": "0xA0000000", "fields": [{"text": "\ud83d\ude00"}, {"msg": 1}, {"text": ""}]}, {"level": "0x10000000", "fields": [{"text": ""}, {"msg": 53}, {"text": "x"}]}]})",
        R"({"type": "0x00010002", "time": "2026-12-09 23:30:00", "rows": [{"level": "0x10000000", "fields": [{"text": "Update"}, {"msg": 1}, {"text": "SYSTEM"}]}]})",
    });
    fs::create_directory(dir_ / "escan");
    Write((dir_ / "escan" / "ndl00001.dat").string(),
          {R"({"type": "0x00010004", "time": "2026-12-01 10:00:00", "rows": [{"level": "0x10000000", "fields": [{"text": "C:\\, \"x\""}, {"time": "2026-12-01 10:00:00"}, {"uint": 12}, {"uint": 0}, {"msg": 1}]}]})"});
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream in(dir_ / "in.json", std::ios::trunc);
    for (const std::string& l : lines) in << l << '\n';
    in.close();
    ASSERT_EQ(Shell(std::string(KORV_BIN_DIR) + "/korvlog-write append-json '" + path + "' <" + (dir_ / "in.json").string()), 0);
  }
  CliRun Export(const std::string& args) {
    const std::string cmd = "LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + std::string(KORV_BIN_DIR) + "/korvlog export " +
                            args + " </dev/null >" + (dir_ / "out").string() + " 2>" + (dir_ / "err").string();
    CliRun r;
    r.status = Shell(cmd);
    r.out = ReadAll(dir_ / "out");
    r.err = ReadAll(dir_ / "err");
    return r;
  }
  fs::path dir_;
  std::string log_;
};

// The rows of korvlog's text export: one line each, ended by LF, the last one too.
std::size_t TextRows(const std::string& text) {
  EXPECT_TRUE(text.empty() || text.back() == '\n') << text;
  return std::size_t(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(LineExportCli, RowsOfTheTextExportInEveryKindOfLog) {
  struct Case {
    std::string args;
    std::vector<std::pair<int, int>> rows;  // record, row; empty for a scan directory
  };
  const Case cases[] = {
      {"", {{2, 0}, {0, 0}}},
      {"--deleted", {{2, 0}, {1, 2}, {1, 1}, {1, 0}, {0, 0}}},  // newest first, last row first
      {"--deleted --types critical,error", {{1, 1}, {1, 0}}},
      {"--text '\"q\"'", {{0, 0}}},
      {"--types error", {}},
      // A record: file order. Its rows are the record window's, which carry no deleted flag.
      {":1", {{1, 0}, {1, 1}, {1, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string target = c.args.starts_with(':') ? log_ + c.args : c.args + " " + log_;
    const CliRun text = Export(target);
    ASSERT_EQ(text.status, 0) << text.err;
    const CliRun jsonl = Export("-f jsonl " + target);
    ASSERT_EQ(jsonl.status, 0) << jsonl.err;
    const CliRun csv = Export("--format csv " + target);
    ASSERT_EQ(csv.status, 0) << csv.err;
    const auto lines = SplitJsonLines(jsonl.out);
    ASSERT_TRUE(lines) << jsonl.out;
    ASSERT_EQ(lines->size(), TextRows(text.out));
    ASSERT_EQ(lines->size(), c.rows.size());
    for (std::size_t i = 0; i < lines->size(); ++i) {
      const auto object = ParseJsonLine((*lines)[i]);
      ASSERT_TRUE(object) << (*lines)[i];
      ASSERT_GT(object->size(), 8u);
      EXPECT_EQ((*object)[3].second, JsonScalar(u"warnlog"));
      EXPECT_EQ((*object)[4].second, JsonScalar(std::to_string(c.rows[i].first)));
      EXPECT_EQ((*object)[5].second, JsonScalar(std::to_string(c.rows[i].second)));
      if (!c.args.starts_with(':')) {
        EXPECT_EQ((*object)[6].second, JsonScalar(c.rows[i].first == 1));
      }
    }
    const auto records = ParseCsv(csv.out, "\n");
    ASSERT_TRUE(records) << csv.out;
    EXPECT_EQ(records->size(), lines->size() + 1);
  }
  // A scan directory: one row per file, its cells quoted.
  const CliRun csv = Export("-f csv " + (dir_ / "escan").string());
  ASSERT_EQ(csv.status, 0) << csv.err;
  const auto records = ParseCsv(csv.out, "\n");
  ASSERT_TRUE(records) << csv.out;
  ASSERT_EQ(records->size(), 2u);
  EXPECT_NE(std::find(records->back().begin(), records->back().end(), u"C:\\, \"x\""), records->back().end());
}

TEST_F(LineExportCli, FieldsTimesAndSeverities) {
  const CliRun jsonl = Export("-f jsonl --deleted --utc-offset 1 " + log_ + ":1");
  ASSERT_EQ(jsonl.status, 0) << jsonl.err;
  const auto lines = SplitJsonLines(jsonl.out);
  ASSERT_TRUE(lines && lines->size() == 3);
  const char16_t* severities[] = {u"Error", u"Critical", u"Information"};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto object = ParseJsonLine((*lines)[i]);
    ASSERT_TRUE(object);
    EXPECT_EQ((*object)[0], (std::pair<std::u16string, JsonScalar>(u"time", u"2026-12-08T16:00:00+01:00")));
    // 2026-12-08 15:00:00 UTC as stored.
    EXPECT_EQ((*object)[1], (std::pair<std::u16string, JsonScalar>(u"filetime", std::string("134412156000000000"))));
    EXPECT_EQ((*object)[2].second, JsonScalar(std::u16string(severities[i])));
    EXPECT_EQ((*object)[7].second, JsonScalar(false));
  }
  const auto first = ParseJsonLine(lines->front());
  EXPECT_EQ(first->back().second, JsonScalar(u"O'Neil"));
  EXPECT_EQ((*first)[8].second, JsonScalar(false)) << "raw";
  EXPECT_EQ((*first)[9].second, JsonScalar(u"Síť \u0007\u2028"));
  const auto second = ParseJsonLine((*lines)[1]);
  EXPECT_EQ((*second)[9].second, JsonScalar(u"\U0001F600"));

  const CliRun csv = Export("-f csv --utc-offset -5 " + log_);
  ASSERT_EQ(csv.status, 0) << csv.err;
  const auto records = ParseCsv(csv.out, "\n");
  ASSERT_TRUE(records);
  ASSERT_EQ(records->size(), 3u);
  EXPECT_EQ(records->front(),
            (std::vector<std::u16string>{u"Time", u"FileTime", u"Severity", u"Time_2", u"Module", u"Event", u"User"}));
  EXPECT_EQ((*records)[2][0], u"2026-12-08T09:03:05-05:00");
  EXPECT_EQ((*records)[2][1], u"134412121850000000");
  EXPECT_EQ((*records)[2][2], u"Warning");
  EXPECT_EQ((*records)[2][3], u"2026-12-08 09:03:05");
  EXPECT_EQ((*records)[2][4], u"a,b \"q\"\r\nnext\ttab");
  EXPECT_EQ((*records)[2][6], u"CORP\\admin");
}

// Python's own readers agree (skipped where Python is not installed).
TEST_F(LineExportCli, PythonReadsBothFormats) {
  if (Shell("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  ASSERT_EQ(Export("-f jsonl --deleted -o " + (dir_ / "rows.jsonl").string() + " " + log_).status, 0);
  ASSERT_EQ(Export("-f csv --deleted -o " + (dir_ / "rows.csv").string() + " " + log_).status, 0);
  const std::string script =
      "import csv, json, sys\n"
      "rows = [json.loads(l) for l in open(sys.argv[1], encoding='utf-8', newline='\\n')]\n"
      "table = list(csv.reader(open(sys.argv[2], encoding='utf-8', newline=''), strict=True))\n"
      "assert len(rows) == 5 and len(table) == 6, (len(rows), len(table))\n"
      "for r, t in zip(rows, table[1:]):\n"
      "    assert [r['time'], str(r['filetime']), r['severity'], r['Time_2'], r['Module'], r['Event'], r['User']] == t, (r, t)\n"
      "print('ok')\n";
  std::ofstream(dir_ / "check.py") << script;
  EXPECT_EQ(Shell("python3 " + (dir_ / "check.py").string() + " " + (dir_ / "rows.jsonl").string() + " " +
                  (dir_ / "rows.csv").string() + " >" + (dir_ / "py").string() + " 2>&1"),
            0)
      << ReadAll(dir_ / "py");
}

TEST_F(LineExportCli, ExitStatusesForBadFormatsAndTargets) {
  const std::string refused = "--format takes xml, txt, jsonl, csv or dat";
  struct Case {
    std::string args;
    int status;
    std::string err;
  } cases[] = {
      {"-f json " + log_, 2, refused},
      {"-f JSONL " + log_, 2, refused},
      {"-f '' " + log_, 2, refused},
      {"-f csv,jsonl " + log_, 2, refused},
      {log_ + " -f", 2, refused},
      {"-f jsonl -o " + (dir_ / "none" / "x.jsonl").string() + " " + log_, 6, "cannot be created"},
      {"-f csv -o " + log_ + " " + log_, 6, "is the log itself"},
      {"-f jsonl -o /dev/full " + log_, 6, "the write failed"},
      {"-f csv " + (dir_ / "missing.dat").string(), 3, "no such"},
  };
  const std::string before = ReadAll(log_);
  for (const Case& c : cases) {
    const CliRun r = Export(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    if (c.status == 2) {
      EXPECT_TRUE(r.out.empty()) << c.args;
    }
  }
  EXPECT_EQ(ReadAll(log_), before);
}

}  // namespace
}  // namespace korv::test
