// korvlog export run as a program on logs written by korvlog-write append-json: rows, order
// and bytes of both formats, the filter options, the time zone, Czech text and the exit codes.

#include <gtest/gtest.h>

#include <cstdio>
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

struct ExportRun {
  int status = -1;
  std::string out, err;
};

class ExportCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korv-export-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    log_ = (dir_ / "warnlog.dat").string();
    // Record 0 Warning (Czech text, markup), record 1 deleted Error, record 2 Information.
    Write(log_, {
        R"({"type": "0x00010002", "time": "2026-12-08 14:03:05", "rows": [{"level": "0x40000000", "fields": [{"text": "Jádro <x>"}, {"msg": 53}, {"text": "CORP\\admin"}]}]})",
        R"({"type": "0x00010002", "time": "2026-12-08 15:00:00", "flags": 1, "rows": [{"level": "0x80000000", "fields": [{"text": "Síť"}, {"msg": 1}, {"text": "O'Neil"}]}]})",
        R"({"type": "0x00010002", "time": "2026-12-09 23:30:00", "rows": [{"level": "0x10000000", "fields": [{"text": "Update"}, {"msg": 1}, {"text": "SYSTEM"}]}]})",
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
  ExportRun Export(const std::string& args) {
    const std::string cmd = "LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + std::string(KORV_BIN_DIR) +
                            "/korvlog export " + args + " </dev/null >" + (dir_ / "out").string() +
                            " 2>" + (dir_ / "err").string();
    ExportRun r;
    r.status = Shell(cmd);
    r.out = ReadAll(dir_ / "out");
    r.err = ReadAll(dir_ / "err");
    return r;
  }
  fs::path dir_;
  std::string log_;
};

// The text export escapes a backslash in a cell as two, so that its escapes stay unambiguous.
constexpr char kWarn[] = "2026-12-08 14:03:05\tJádro <x>\tService started.\tCORP\\\\admin";
constexpr char kDel[] = "2026-12-08 15:00:00\tSíť\tcleaned by deleting\tO'Neil";
constexpr char kInfo[] = "2026-12-09 23:30:00\tUpdate\tcleaned by deleting\tSYSTEM";

// korvlog's text as the shell reads it: `lines` joined, each ended by LF.
std::string ShellText(const std::string& lines) {
  if (lines.empty()) return lines;
  std::string out;
  for (std::size_t at = 0;;) {
    const std::size_t end = lines.find("\r\n", at);
    out += lines.substr(at, end - at) + "\n";
    if (end == std::string::npos) return out;
    at = end + 2;
  }
}

TEST_F(ExportCli, TextRowsNewestFirstUnderEveryFilterOption) {
  struct Case {
    std::string args;
    std::string out;
  };
  const std::string crlf = "\r\n";
  const Case cases[] = {
      {"", std::string(kInfo) + crlf + kWarn},
      {"--deleted", std::string(kInfo) + crlf + kDel + crlf + kWarn},
      {"--types warning", kWarn},
      {"--types error", ""},
      {"--types error --deleted", kDel},
      {"--types critical", ""},
      {"--text JÁDRO", ""},                    // only ASCII letters fold
      {"--text JáDRO", kWarn},
      {"--text 'service STARTED'", kWarn},
      {"--text Service --case", kWarn},
      {"--text service --case", ""},
      {"--text update --words", kInfo},
      {"--text upd --words", ""},
      {"--text 2026-12-09 --columns 0", kInfo},
      {"--text 2026-12-09 --columns 1,2,3", ""},
      {"--period range --from '2026-12-08 14:03:05' --to '2026-12-08 23:59:59' --deleted",
       std::string(kDel) + crlf + kWarn},
      {"--period range --from '2026-12-08 14:03:06' --to '2026-12-09 23:30:00'", kInfo},
  };
  for (const Case& c : cases) {
    const ExportRun r = Export(c.args + " " + log_);
    EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, ShellText(c.out)) << c.args;
  }
}

// --regex reads --text as an RE2 pattern over each chosen cell.
TEST_F(ExportCli, RegexRowsUnderTheTextOptions) {
  const std::string both = std::string(kInfo) + "\r\n" + kWarn;
  const struct {
    std::string args, out;
  } cases[] = {
      {"--regex --text '^J.dro'", kWarn},          // '.' is one letter, not one UTF-8 byte
      {"--regex --text 'JÁDRO'", kWarn},           // a pattern folds every letter RE2 knows
      {"--regex --text 'JÁDRO' --case", ""},
      {"--regex --text 'update|service'", both},
      {"--regex --text 'upd' --words", ""},
      {"--regex --text 'upd[a-z]*' --words", kInfo},
      {"--regex --text '^2026-12-09' --columns 0", kInfo},
      {"--regex --text '^2026-12-09' --columns 1,2,3", ""},
      {"--regex --text 'O.Neil' --types error --deleted", kDel},
      {"--regex --text 'x*'", both},                // matches the empty string: every row
      {"--regex --text '^$' --columns 1", ""},      // no empty cell in that column
      {"--text 'J.dro'", ""},                       // without --regex the dot is a dot
  };
  for (const auto& c : cases) {
    const ExportRun r = Export(c.args + " " + log_);
    EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, ShellText(c.out)) << c.args;
  }
}

TEST_F(ExportCli, RefusedPatternExitsTwoNamingRe2sReason) {
  std::string alternatives;  // 1,000 of ".*x0001.*y|.*x0002.*y|...": 10,999 characters
  for (int i = 1; i <= 1000; ++i) {
    char item[32];
    std::snprintf(item, sizeof item, "%s.*x%04d.*y", i > 1 ? "|" : "", i);
    alternatives += item;
  }
  const struct {
    std::string command, pattern, reason;
  } cases[] = {
      {"export", "(abc", "missing )"},
      {"export", "[abc", "missing ]"},
      {"export", "a{2000}", "invalid repetition size"},
      {"follow", "(abc", "missing )"},
      {"export", alternatives, "pattern too long (10999 characters, at most 4000)"},
      {"export", "\\pL{100}", "pattern too complex ("},
  };
  for (const auto& c : cases) {
    const std::string cmd = "LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + std::string(KORV_BIN_DIR) +
                            "/korvlog " + c.command + " --regex --text '" + c.pattern + "' " + log_ +
                            " </dev/null >" + (dir_ / "out").string() + " 2>" + (dir_ / "err").string();
    EXPECT_EQ(Shell(cmd), 2) << c.command << " " << c.pattern;
    const std::string err = ReadAll(dir_ / "err");
    EXPECT_NE(err.find("not a valid regular expression"), std::string::npos) << err;
    EXPECT_NE(err.find(c.reason), std::string::npos) << err;
    EXPECT_EQ(ReadAll(dir_ / "out"), "") << c.command << " printed rows";
  }
  // The same text without --regex is an ordinary text.
  EXPECT_EQ(Export("--text '(abc' " + log_).status, 0);
}

TEST_F(ExportCli, UtcOffsetShiftsTimesAndTheRangeBounds) {
  ExportRun r = Export("--utc-offset 2 --types warning " + log_);
  EXPECT_EQ(r.out, "2026-12-08 16:03:05\tJádro <x>\tService started.\tCORP\\\\admin\n");
  r = Export("--utc-offset -5 --types information " + log_);
  EXPECT_EQ(r.out, "2026-12-09 18:30:00\tUpdate\tcleaned by deleting\tSYSTEM\n");
  // The bounds are local times of the offset too: 16:03:05 at +2 is 14:03:05 UTC.
  r = Export("--utc-offset 2 --period range --from '2026-12-08 16:03:05' --to '2026-12-08 16:03:05' " + log_);
  EXPECT_EQ(r.out, "2026-12-08 16:03:05\tJádro <x>\tService started.\tCORP\\\\admin\n");
}

TEST_F(ExportCli, XmlBytesWithTimesEscapingAndCzechColumnNames) {
  const fs::path out = dir_ / "out.xml";
  ExportRun r = Export("-f xml --types warning --language 1029 -o " + out.string() + " " + log_);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(out),
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<KORV>\r\n  <LOG>"
            "\r\n    <RECORD>"
            "\r\n      <COLUMN NAME=\"Čas\">\r\n        <DATE>2026-12-08</DATE>\r\n        <TIME>14:03:05</TIME>\r\n      </COLUMN>"
            "\r\n      <COLUMN NAME=\"Modul\">Jádro &lt;x&gt;</COLUMN>"
            "\r\n      <COLUMN NAME=\"Událost\">Služba byla spuštěna.</COLUMN>"
            "\r\n      <COLUMN NAME=\"Uživatel\">CORP\\admin</COLUMN>"
            "\r\n    </RECORD>"
            "\r\n  </LOG>\r\n</KORV>");
  r = Export("-f xml --types critical " + log_);
  EXPECT_EQ(r.out, "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<KORV>\r\n  <LOG>\r\n  </LOG>\r\n</KORV>");
  r = Export("-f xml --types error --deleted " + log_);
  EXPECT_NE(r.out.find("<COLUMN NAME=\"User\">O&#39;Neil</COLUMN>"), std::string::npos) << r.out;
}

TEST_F(ExportCli, DataCopyRecordFileAndScanDirectory) {
  const fs::path copy = dir_ / "copy.dat";
  ExportRun r = Export("-f dat -o " + copy.string() + " " + log_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(copy), ReadAll(log_)) << "every record, deleted ones included";
  // One record in record view: no time column, its cells only.
  r = Export(log_ + ":1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Síť\tcleaned by deleting\tO'Neil\n");
  // A directory of scan logs, one row per file.
  fs::create_directory(dir_ / "escan");
  Write((dir_ / "escan" / "ndl00001.dat").string(),
        {R"({"type": "0x00010004", "time": "2026-12-01 10:00:00", "rows": [{"level": "0x10000000", "fields": [{"text": "C:\\"}, {"time": "2026-12-01 10:00:00"}, {"uint": 12}, {"uint": 0}, {"msg": 1}]}]})"});
  r = Export((dir_ / "escan").string());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 4), "2026") << r.out;
  EXPECT_NE(r.out.find("\tC:\\\\\t2026-12-01 10:00:00\t12\t0\t"), std::string::npos) << r.out;
}

TEST_F(ExportCli, ExitCodesForUsageMissingUnknownUnopenableAndUnwritable) {
  std::ofstream(dir_ / "notes.txt") << "plain text";
  fs::create_directory(dir_ / "bad");
  std::ofstream(dir_ / "bad" / "warnlog.dat") << "not a log at all, but named like one";
  // A log of no known name whose first record was lost: its kind cannot be read, and the
  // message says how to repair it.
  const fs::path lost = dir_ / "lost-first.dat";
  fs::copy_file(log_, lost);
  {
    std::fstream f(lost, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(56);
    f.write(std::string(36, '\0').data(), 36);
  }
  struct Case {
    std::string args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"", 2, "no log path"},
      {"--format pdf " + log_, 2, "--format"},
      {"-f dat " + log_, 2, "--output"},
      {"--utc-offset 15 " + log_, 2, "--utc-offset"},
      {"--columns 31 " + log_, 2, "--columns"},
      {"--from '2026-01-01 00:00:00' " + log_, 2, "--period range"},
      {(dir_ / "missing.dat").string(), 3, "no such file"},
      {(dir_ / "notes.txt").string(), 4, "Unknown log type."},
      {lost.string(), 4, "Unknown log type. The file may be damaged"},
      {lost.string(), 4, "korvlog repair " + lost.string()},
      {(dir_ / "bad" / "warnlog.dat").string(), 5, "Unable to open a log."},
      {"-o " + (dir_ / "no" / "such" / "dir.txt").string() + " " + log_, 6, "cannot be created"},
      {"-o " + log_ + " " + log_, 6, "the log itself"},
      {"-f dat -o " + (dir_ / "x.dat").string() + " " + (dir_ / "bad").string(), 6, "the copy failed"},  // any directory is a scan directory
  };
  for (const Case& c : cases) {
    const ExportRun r = Export(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
  }
  EXPECT_GT(fs::file_size(log_), 56u) << "the log was not overwritten";
}

// A file written into a directory log would become one of its logs, so no output may lie in
// it or below it, however the name reaches it; beside it is fine.
TEST_F(ExportCli, NoOutputInsideAnExportedDirectory) {
  const fs::path scans = dir_ / "scans";
  fs::create_directories(scans / "sub");
  const fs::path member = scans / "ndl00001.dat";
  Write(member.string(),
        {R"({"type": "0x00010004", "time": "2026-12-01 10:00:00", "rows": [{"level": "0x10000000", "fields": [{"text": "C:\\"}, {"time": "2026-12-01 10:00:00"}, {"uint": 12}, {"uint": 0}, {"msg": 1}]}]})"});
  fs::create_directory_symlink(scans, dir_ / "link");
  const std::string memberBytes = ReadAll(member);
  const std::string src = " " + scans.string();
  struct Case {
    std::string args;
    fs::path output;
  } refused[] = {
      {"-f txt", scans / "new.dat"},
      {"-f xml", scans / "sub" / "deeper.xml"},
      {"-f jsonl", dir_ / "link" / "new.jsonl"},
      {"-f csv", scans / ".." / "scans" / "new.csv"},
      {"-f dat", scans / "copy.dat"},
      {"--histogram", scans / "hist.txt"},
      {"-f txt", member},
  };
  for (const Case& c : refused) {
    const ExportRun r = Export(c.args + " -o " + c.output.string() + src);
    EXPECT_EQ(r.status, 6) << c.args << " " << c.output << ": " << r.err;
    EXPECT_NE(r.err.find("inside the exported directory"), std::string::npos) << c.output << ": " << r.err;
    if (c.output != member) EXPECT_FALSE(fs::exists(c.output)) << c.output;
  }
  EXPECT_EQ(ReadAll(member), memberBytes) << "the member keeps its bytes";
  EXPECT_EQ(std::distance(fs::directory_iterator(scans), fs::directory_iterator()), 2) << "only the member and sub";

  // Beside the directory, and beside a log file in its own folder, is allowed.
  ExportRun r = Export("-o " + (dir_ / "scans.txt").string() + src);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(ReadAll(dir_ / "scans.txt").find("\tC:\\\\\t"), std::string::npos) << ReadAll(dir_ / "scans.txt");
  r = Export("-o " + (dir_ / "beside.txt").string() + " " + log_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir_ / "beside.txt"));
}

TEST_F(ExportCli, ProgressOnStandardErrorEndsWithDone) {
  const ExportRun r = Export("--progress " + log_);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("Done"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace korv::test
