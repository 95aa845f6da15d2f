// korvlog timeline run as a program on logs written by korvlog-write append-json: the rows
// against the sorted union of each log's korvlog export under the same filter options, equal
// times across logs, logs that do not open, the three formats read back strictly, and the
// exit codes.

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

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> out;
  if (text.empty()) return out;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size())
    out.push_back(text.substr(start, at - start));
  out.push_back(text.substr(start));
  return out;
}

struct CliRun {
  int status = -1;
  std::string out, err;
};

class TimelineCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korv-timeline-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ / "b");
    events_ = (dir_ / "warnlog.dat").string();
    other_ = (dir_ / "b" / "warnlog.dat").string();
    network_ = (dir_ / "epfwlog.dat").string();
    // Events: a Warning, a deleted Error and an Information; 15:00:00 is also in the other two.
    Write(events_, {
        R"({"type": "0x00010002", "time": "2026-12-08 14:03:05", "rows": [{"level": "0x40000000", "fields": [{"text": "Jádro <x>"}, {"msg": 53}, {"text": "CORP\\admin"}]}]})",
        R"({"type": "0x00010002", "time": "2026-12-08 15:00:00", "flags": 1, "rows": [{"level": "0x80000000", "fields": [{"text": "Síť"}, {"msg": 1}, {"text": "O'Neil"}]}]})",
        R"({"type": "0x00010002", "time": "2026-12-09 23:30:00", "rows": [{"level": "0x10000000", "fields": [{"text": "Update"}, {"msg": 1}, {"text": "SYSTEM"}]}]})",
    });
    // Another Events log: two rows at 15:00:00, a Critical before.
    Write(other_, {
        R"({"type": "0x00010002", "time": "2026-12-08 14:30:00", "rows": [{"level": "0xA0000000", "fields": [{"text": "Scanner"}, {"msg": 53}, {"text": "SYSTEM"}]}]})",
        R"({"type": "0x00010002", "time": "2026-12-08 15:00:00", "rows": [{"level": "0x10000000", "fields": [{"text": "first at 15"}, {"msg": 1}, {"text": "SYSTEM"}]}, {"level": "0x40000000", "fields": [{"text": "second at 15"}, {"msg": 1}, {"text": "tab\there"}]}]})",
    });
    // Network protection: a block at 15:00:00, one with a comma and a quote, one at night.
    Write(network_, {
        R"({"type": "0x00010003", "time": "2026-12-08 09:00:00", "rows": [{"level": "0x80000000", "fields": [{"text": "10.0.0.9"}, {"text": "blocked \"port\", inbound"}]}]})",
        R"({"type": "0x00010003", "time": "2026-12-08 15:00:00", "rows": [{"level": "0x40000000", "fields": [{"text": "10.0.0.1"}, {"text": "blocked"}]}]})",
    });
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream in(dir_ / "in.json", std::ios::trunc);
    for (const std::string& l : lines) in << l << '\n';
    in.close();
    const std::string cmd = std::string(KORV_BIN_DIR) + "/korvlog-write append-json '" + path + "' <" +
                            (dir_ / "in.json").string();
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  CliRun Korvlog(const std::string& args) {
    const std::string cmd = "LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + std::string(KORV_BIN_DIR) + "/korvlog " +
                            args + " </dev/null >" + (dir_ / "out").string() + " 2>" + (dir_ / "err").string();
    CliRun r;
    r.status = Shell(cmd);
    r.out = ReadAll(dir_ / "out");
    r.err = ReadAll(dir_ / "err");
    return r;
  }
  // The timeline's text lines as korvlog export's lines of each log make them: time, then the
  // cells joined with " | " (trailing empty cells left out), the logs' lines sorted newest first
  // and stably, so rows of one time keep the order the logs were given.
  std::vector<std::string> FromExports(const std::vector<std::pair<std::string, std::string>>& logs,
                                       const std::string& filter) {
    struct Line {
      std::string time, rest;
    };
    std::vector<Line> all;
    for (const auto& [path, kind] : logs) {
      const CliRun r = Korvlog("export " + filter + " '" + path + "'");
      EXPECT_EQ(r.status, 0) << r.err;
      for (const std::string& line : Split(r.out, "\r\n")) {
        std::vector<std::string> cells = Split(line, "\t");
        while (cells.size() > 2 && cells.back().empty()) cells.pop_back();
        std::string summary;
        for (std::size_t c = 1; c < cells.size(); ++c) summary += (c > 1 ? " | " : "") + cells[c];
        all.push_back({cells.at(0), kind + "\t" + summary});
      }
    }
    std::stable_sort(all.begin(), all.end(), [](const Line& a, const Line& b) { return a.time > b.time; });
    std::vector<std::string> out;
    for (const Line& l : all) out.push_back(l.time + "\t" + l.rest);
    return out;
  }
  // The timeline's lines without the Severity column, to compare with FromExports.
  static std::vector<std::string> WithoutSeverity(const std::string& out) {
    std::vector<std::string> lines;
    for (const std::string& line : Split(out, "\r\n")) {
      std::vector<std::string> f = Split(line, "\t");
      EXPECT_EQ(f.size(), 4u) << line;
      if (f.size() == 4) lines.push_back(f[0] + "\t" + f[2] + "\t" + f[3]);
    }
    return lines;
  }

  fs::path dir_;
  std::string events_, other_, network_;
};

TEST_F(TimelineCli, EqualsTheSortedUnionOfTheExportsUnderEachFilter) {
  const std::string filters[] = {
      "",
      "--deleted",
      "--types warning,critical",
      "--types error --deleted",
      "--text blocked",
      "--text 'at 1[0-9]' --regex",
      "--period range --from '2026-12-08 14:30:00' --to '2026-12-08 15:00:00' --deleted",
      "--types diagnostic",
  };
  for (const std::string& filter : filters) {
    SCOPED_TRACE(filter);
    const std::vector<std::pair<std::string, std::string>> logs = {
        {events_, "Events"}, {network_, "Network protection"}, {other_, "Events"}};
    const std::vector<std::string> expected = FromExports(logs, filter);
    const CliRun r = Korvlog("timeline " + filter + " '" + events_ + "' '" + network_ + "' '" + other_ + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(WithoutSeverity(r.out), expected);
  }
}

TEST_F(TimelineCli, RowsOfOneTimeComeInTheOrderTheLogsAreGiven) {
  struct Case {
    std::string args;
    std::vector<std::string> at15;  // the Summary column of the 15:00:00 rows, in order
  };
  const Case cases[] = {
      {"'" + network_ + "' '" + other_ + "' --deleted '" + events_ + "'",
       {"10.0.0.1 | blocked", "second at 15 | cleaned by deleting | tab\\there",
        "first at 15 | cleaned by deleting | SYSTEM", "Síť | cleaned by deleting | O'Neil"}},
      {"--deleted '" + events_ + "' '" + other_ + "' '" + network_ + "'",
       {"Síť | cleaned by deleting | O'Neil", "second at 15 | cleaned by deleting | tab\\there",
        "first at 15 | cleaned by deleting | SYSTEM", "10.0.0.1 | blocked"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = Korvlog("timeline " + c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> at15;
    for (const std::string& line : Split(r.out, "\r\n")) {
      const std::vector<std::string> f = Split(line, "\t");
      ASSERT_EQ(f.size(), 4u) << line;
      if (f[0] == "2026-12-08 15:00:00") at15.push_back(f[3]);
    }
    EXPECT_EQ(at15, c.at15);
  }
}

TEST_F(TimelineCli, LogsThatDoNotOpenAreNamedAndTheOthersShown) {
  std::ofstream(dir_ / "virlog.dat") << "not a log at all";  // a Detections name, no log header
  const std::string missing = (dir_ / "missing.dat").string();
  const std::string broken = (dir_ / "virlog.dat").string();
  const std::string all = Korvlog("timeline '" + events_ + "' '" + network_ + "'").out;
  ASSERT_FALSE(all.empty());
  struct Case {
    std::string args;
    int status;
    std::vector<std::string> named;  // paths the error output names
    bool shown;                      // the two good logs' timeline is the output
  };
  const Case cases[] = {
      {"'" + events_ + "' '" + missing + "' '" + network_ + "'", 7, {missing}, true},
      {"'" + broken + "' '" + events_ + "' '" + network_ + "' '" + missing + "'", 7, {broken, missing}, true},
      {"'" + missing + "' '" + broken + "'", 8, {missing, broken}, false},
      {"'" + events_ + "' '" + network_ + "'", 0, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = Korvlog("timeline " + c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    for (const std::string& path : c.named) EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    if (c.named.empty()) {
      EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(r.out, c.shown ? all : "");
  }
}

TEST_F(TimelineCli, LogOutOfTimeOrderIsNamedAndKeepsItsOwnOrder) {
  // The clock was set back between the second and the third record.
  const std::string back = (dir_ / "back" / "warnlog.dat").string();
  fs::create_directories(dir_ / "back");
  Write(back, {
      R"({"type": "0x00010002", "time": "2026-12-08 14:00:00", "rows": [{"level": "0x40000000", "fields": [{"text": "r0"}, {"msg": 1}, {"text": "x"}]}]})",
      R"({"type": "0x00010002", "time": "2026-12-08 16:00:00", "rows": [{"level": "0x40000000", "fields": [{"text": "r1"}, {"msg": 1}, {"text": "x"}]}]})",
      R"({"type": "0x00010002", "time": "2026-12-08 10:00:00", "rows": [{"level": "0x40000000", "fields": [{"text": "r2"}, {"msg": 1}, {"text": "x"}]}]})",
  });
  struct Case {
    std::string args;
    bool warned;
    std::vector<std::string> order;  // the first cell of each row's Summary
  };
  const Case cases[] = {
      // Newest first by the cursors: network 15:00, then the set-back log's r2 (10:00) heads
      // its list, and r1 and r0 follow it in that log's own order.
      {"'" + network_ + "' '" + back + "'", true, {"10.0.0.1", "r2", "r1", "r0", "10.0.0.9"}},
      {"'" + network_ + "' '" + events_ + "'", false, {"Update", "10.0.0.1", "Jádro <x>", "10.0.0.9"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = Korvlog("timeline " + c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find(back + ": rows out of time order") != std::string::npos, c.warned) << r.err;
    std::vector<std::string> order;
    for (const std::string& line : Split(r.out, "\r\n")) order.push_back(Split(Split(line, "\t").at(3), " | ").at(0));
    EXPECT_EQ(order, c.order);
  }
}

TEST_F(TimelineCli, JsonLinesAndCsvCarryTheTextColumnsUnescaped) {
  const CliRun text = Korvlog("timeline --deleted '" + events_ + "' '" + network_ + "' '" + other_ + "'");
  const CliRun json = Korvlog("timeline -f jsonl --deleted '" + events_ + "' '" + network_ + "' '" + other_ + "'");
  const CliRun csv = Korvlog("timeline --format csv --deleted '" + events_ + "' '" + network_ + "' '" + other_ + "'");
  ASSERT_EQ(text.status, 0) << text.err;
  ASSERT_EQ(json.status, 0) << json.err;
  ASSERT_EQ(csv.status, 0) << csv.err;
  const std::vector<std::string> textLines = Split(text.out, "\r\n");
  const auto jsonLines = SplitJsonLines(json.out);
  const auto records = ParseCsv(csv.out);
  ASSERT_TRUE(jsonLines.has_value()) << json.out;
  ASSERT_TRUE(records.has_value()) << csv.out;
  ASSERT_EQ(jsonLines->size(), textLines.size());
  ASSERT_EQ(records->size(), textLines.size() + 1);
  EXPECT_EQ(records->front(), (std::vector<std::u16string>{u"Time", u"Severity", u"Log", u"Summary"}));
  // The text escapes a backslash and a TAB; the other formats carry the cell as it is.
  auto unescape = [](const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == 't')) {
        out += s[++i] == 't' ? '\t' : '\\';
      } else {
        out += s[i];
      }
    }
    return out;
  };
  for (std::size_t i = 0; i < textLines.size(); ++i) {
    SCOPED_TRACE(textLines[i]);
    std::vector<std::u16string> fields;
    for (const std::string& f : Split(textLines[i], "\t")) fields.push_back(*Utf8ToUtf16(unescape(f)));
    ASSERT_EQ(fields.size(), 4u);
    const auto object = ParseJsonLine((*jsonLines)[i]);
    ASSERT_TRUE(object.has_value());
    const char16_t* names[] = {u"time", u"severity", u"log", u"summary"};
    ASSERT_EQ(object->size(), 4u);
    for (std::size_t c = 0; c < 4; ++c) {
      EXPECT_EQ((*object)[c].first, names[c]);
      EXPECT_EQ(std::get<std::u16string>((*object)[c].second), fields[c]);
    }
    EXPECT_EQ((*records)[i + 1], fields);
  }
  EXPECT_NE(csv.out.find("\"10.0.0.9 | blocked \"\"port\"\", inbound\""), std::string::npos) << csv.out;
}

TEST_F(TimelineCli, UsageMistakesAreRefusedBeforeAnyLogIsRead) {
  struct Case {
    std::string args;
    std::string message;
  };
  const Case cases[] = {
      {"timeline", "no log path given"},
      {"timeline -f xml x.dat", "--format takes txt, jsonl or csv"},
      {"timeline --format", "--format takes txt, jsonl or csv"},
      {"timeline --bogus x.dat", "unknown option '--bogus'"},
      {"timeline --types none x.dat", "--types takes"},
      {"timeline --from '2026-01-01 00:00:00' x.dat", "--from"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = Korvlog(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  const CliRun help = Korvlog("timeline --help");
  EXPECT_EQ(help.status, 0);
  for (const char* word : {"PATH...", "--format", "--types", "--regex", "Exit status"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace korv::test
