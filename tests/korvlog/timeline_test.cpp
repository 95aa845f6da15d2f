// korvlog timeline run as a program on logs written by korvlog-write append-json: the rows
// against the stable sort by time of each log's korvlog export under the same filter options
// (logs out of time order and times the list cannot show among them), equal times across
// logs, logs that do not open, the three formats read back strictly, and the exit codes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

// The lines of korvlog's text output: each ends with LF, the last one too, and none with CR.
std::vector<std::string> Lines(const std::string& text) {
  EXPECT_TRUE(text.empty() || text.back() == '\n') << "the last line is not ended";
  EXPECT_EQ(text.find('\r'), std::string::npos) << "a CR in korvlog's text";
  std::vector<std::string> lines = Split(text, "\n");
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// Whether the "time" member of a JSON Lines line is null, or an RFC 3339 time with a
// four-digit year that names the line's own "filetime" at the offset it states.
bool HasRfc3339TimeOrNull(const std::string& line) {
  const auto object = ParseJsonLine(line);
  if (!object) return false;
  const JsonScalar* time = nullptr;
  std::uint64_t filetime = 0;
  for (const auto& [name, value] : *object) {
    if (name == u"time") time = &value;
    if (name == u"filetime") filetime = std::stoull(std::get<std::string>(value));
  }
  if (time == nullptr) return false;
  if (std::holds_alternative<std::nullptr_t>(*time)) return true;
  const std::u16string& t = std::get<std::u16string>(*time);
  int y, mo, d, h, mi, s, oh, om;
  char sign;
  const std::string text(t.begin(), t.end());
  if (text.size() != 25 || std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d", &y, &mo, &d, &h, &mi, &s,
                                       &sign, &oh, &om) != 9)
    return false;
  using namespace std::chrono;
  const year_month_day date{year(y), month(unsigned(mo)), day(unsigned(d))};
  if (y < 1 || y > 9999 || !date.ok() || h > 23 || mi > 59 || s > 59 || (sign != '+' && sign != '-')) return false;
  const std::int64_t local = std::int64_t(sys_days(date).time_since_epoch().count()) * 86400 + h * 3600 + mi * 60 + s;
  const std::int64_t offset = (sign == '-' ? -1 : 1) * (oh * 3600 + om * 60);
  return local - offset == std::int64_t(filetime / 10000000ULL) - 11644473600LL;
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
  // by the FILETIME their JSON Lines export carries, stably, so rows of one time keep the
  // order the logs were given and each log's own order.
  std::vector<std::string> FromExports(const std::vector<std::pair<std::string, std::string>>& logs,
                                       const std::string& filter) {
    struct Line {
      std::uint64_t time;
      std::string text;
    };
    std::vector<Line> all;
    for (const auto& [path, kind] : logs) {
      const CliRun r = Korvlog("export " + filter + " '" + path + "'");
      const CliRun json = Korvlog("export -f jsonl " + filter + " '" + path + "'");
      EXPECT_EQ(r.status, 0) << r.err;
      const std::vector<std::string> lines = Lines(r.out);
      const auto objects = SplitJsonLines(json.out);
      EXPECT_TRUE(objects.has_value() && objects->size() == lines.size()) << json.out;
      if (!objects || objects->size() != lines.size()) return {};
      for (std::size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> cells = Split(lines[i], "\t");
        while (cells.size() > 2 && cells.back().empty()) cells.pop_back();
        std::string summary;
        for (std::size_t c = 1; c < cells.size(); ++c) summary += (c > 1 ? " | " : "") + cells[c];
        all.push_back({FileTimeOf((*objects)[i]), cells.at(0) + "\t" + kind + "\t" + summary});
      }
    }
    std::stable_sort(all.begin(), all.end(), [](const Line& a, const Line& b) { return a.time > b.time; });
    std::vector<std::string> out;
    for (const Line& l : all) out.push_back(l.text);
    return out;
  }
  static std::uint64_t FileTimeOf(const std::string& jsonLine) {
    const auto object = ParseJsonLine(jsonLine);
    EXPECT_TRUE(object.has_value()) << jsonLine;
    if (object)
      for (const auto& [name, value] : *object)
        if (name == u"filetime") return std::stoull(std::get<std::string>(value));
    ADD_FAILURE() << "no filetime in " << jsonLine;
    return 0;
  }
  // The timeline's lines without the Severity column, to compare with FromExports.
  static std::vector<std::string> WithoutSeverity(const std::string& out) {
    std::vector<std::string> lines;
    for (const std::string& line : Lines(out)) {
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
    for (const std::string& line : Lines(r.out)) {
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
  const std::string text = (dir_ / "notes.txt").string();
  std::ofstream(text) << "a text file\n";
  const std::string fifo = (dir_ / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
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
      // Files of no log kind: each is named with its reason.
      {"'" + events_ + "' '" + text + "' '" + fifo + "' /dev/zero '" + network_ + "'", 7,
       {text + ": Unknown log type.", fifo + ": Unknown log type.", "/dev/zero: Unknown log type."}, true},
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

TEST_F(TimelineCli, LogOutOfTimeOrderIsNamedAndSortedWithTheOthers) {
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
      {"'" + network_ + "' '" + back + "'", true, {"r1", "10.0.0.1", "r0", "r2", "10.0.0.9"}},
      {"'" + network_ + "' '" + events_ + "'", false, {"Update", "10.0.0.1", "Jádro <x>", "10.0.0.9"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = Korvlog("timeline " + c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find(back + ": rows out of time order") != std::string::npos, c.warned) << r.err;
    std::vector<std::string> order;
    for (const std::string& line : Lines(r.out)) order.push_back(Split(Split(line, "\t").at(3), " | ").at(0));
    EXPECT_EQ(order, c.order);
  }
}

// Three logs, one written with its clock set back, with times the list cannot show (0, past
// the year 9999, 2^63 and above) and times before 1970: the timeline is the stable sort of
// the exports by time under every zone and filter, in each format.
TEST_F(TimelineCli, ThreeLogsOneOutOfOrderGiveTheStableSortOfTheirExports) {
  const std::string odd = (dir_ / "odd" / "warnlog.dat").string();
  fs::create_directories(dir_ / "odd");
  auto record = [](const std::string& time, const std::string& text, const char* level) {
    return R"({"type": "0x00010002", "time": )" + time + R"(, "rows": [{"level": ")" + level +
           R"(", "fields": [{"text": ")" + text + R"("}, {"msg": 1}, {"text": "x"}]}]})";
  };
  Write(odd, {
      record("\"2026-12-08 15:00:00\"", "o0", "0x40000000"),
      record("0", "o1 zero", "0x80000000"),
      record("\"1965-03-01 12:00:00\"", "o2 before 1970", "0x10000000"),
      record("\"2026-12-08 15:00:00\"", "o3 same time", "0x40000000"),
      record("2650467744000000000", "o4 year 10000", "0xA0000000"),
      record("9223372036854775808", "o5 two to the 63", "0x40000000"),
      record("\"1601-01-01 05:00:00\"", "o6 first day", "0x40000000"),
      record("\"9999-12-31 20:00:00\"", "o7 last day", "0x40000000"),
      record("\"2026-12-08 09:00:00\"", "o8", "0x40000000"),
  });
  const std::vector<std::pair<std::string, std::string>> logs = {
      {events_, "Events"}, {odd, "Events"}, {network_, "Network protection"}};
  const std::string paths = "'" + events_ + "' '" + odd + "' '" + network_ + "'";
  for (const std::string filter : {"--deleted", "--utc-offset 14", "--utc-offset -12 --types warning,critical",
                                   "--period range --from '1601-01-01 00:00:00' --to '1970-01-01 00:00:00'"}) {
    SCOPED_TRACE(filter);
    const CliRun r = Korvlog("timeline " + filter + " " + paths);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> expected = FromExports(logs, filter);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(WithoutSeverity(r.out), expected);
    // JSON Lines: the same rows, each line parses, its filetime orders it, and a time is
    // RFC 3339 or null.
    const CliRun json = Korvlog("timeline -f jsonl " + filter + " " + paths);
    const auto lines = SplitJsonLines(json.out);
    ASSERT_TRUE(lines.has_value()) << json.out;
    ASSERT_EQ(lines->size(), expected.size());
    std::uint64_t previous = UINT64_MAX;
    for (const std::string& line : *lines) {
      const std::uint64_t t = FileTimeOf(line);
      EXPECT_LE(t, previous) << line;
      previous = t;
      EXPECT_TRUE(HasRfc3339TimeOrNull(line)) << line;
    }
  }
}

TEST_F(TimelineCli, JsonLinesAndCsvCarryTheTextColumnsUnescaped) {
  const CliRun text = Korvlog("timeline --deleted '" + events_ + "' '" + network_ + "' '" + other_ + "'");
  const CliRun json = Korvlog("timeline -f jsonl --deleted '" + events_ + "' '" + network_ + "' '" + other_ + "'");
  const CliRun csv = Korvlog("timeline --format csv --deleted '" + events_ + "' '" + network_ + "' '" + other_ + "'");
  ASSERT_EQ(text.status, 0) << text.err;
  ASSERT_EQ(json.status, 0) << json.err;
  ASSERT_EQ(csv.status, 0) << csv.err;
  const std::vector<std::string> textLines = Lines(text.out);
  const auto jsonLines = SplitJsonLines(json.out);
  const auto records = ParseCsv(csv.out, "\n");
  ASSERT_TRUE(jsonLines.has_value()) << json.out;
  ASSERT_TRUE(records.has_value()) << csv.out;
  ASSERT_EQ(jsonLines->size(), textLines.size());
  ASSERT_EQ(records->size(), textLines.size() + 1);
  EXPECT_EQ(records->front(), (std::vector<std::u16string>{u"Time", u"FileTime", u"Severity", u"Log", u"Summary"}));
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
    // The text's time "2026-12-08 15:00:00" is "2026-12-08T15:00:00+00:00" there.
    std::u16string iso = fields[0];
    iso[10] = u'T';
    iso += u"+00:00";
    const std::u16string filetime = *Utf8ToUtf16(std::to_string(FileTimeOf((*jsonLines)[i])));
    const char16_t* names[] = {u"time", u"filetime", u"severity", u"log", u"summary"};
    ASSERT_EQ(object->size(), 5u);
    for (std::size_t c = 0; c < 5; ++c) EXPECT_EQ((*object)[c].first, names[c]);
    EXPECT_EQ(std::get<std::u16string>((*object)[0].second), iso);
    for (std::size_t c = 1; c < 4; ++c) EXPECT_EQ(std::get<std::u16string>((*object)[c + 1].second), fields[c]);
    EXPECT_EQ((*records)[i + 1], (std::vector<std::u16string>{iso, filetime, fields[1], fields[2], fields[3]}));
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
