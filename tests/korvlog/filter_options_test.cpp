// The filter options korvlog export and korvlog follow share: both commands take the same
// words and refuse the same mistakes with the same texts, each pointing at its own help.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "test_support/shell.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string err;
};

class FilterOptionsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korv-filteropts-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs `korvlog COMMAND ARGS`; the module is kept away so that nothing but parsing matters.
  CliRun Run(const std::string& command, const std::string& args) {
    const std::string cmd = "LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + std::string(KORV_BIN_DIR) +
                            "/korvlog " + command + " " + args + " </dev/null >/dev/null 2>" +
                            (dir_ / "err").string();
    CliRun r;
    r.status = Shell(cmd);
    std::ifstream in(dir_ / "err");
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    return r;
  }
  std::string Missing() const { return (dir_ / "missing.dat").string(); }

  fs::path dir_;
};

TEST_F(FilterOptionsCli, BothCommandsRefuseTheSameMistakesAlike) {
  struct Case {
    std::string args;  // before the path
    std::string err;
  };
  const Case cases[] = {
      {"--types", "--types takes critical,error,warning,information,diagnostic or all"},
      {"--types error,", "--types takes critical"},
      {"--types error,,warning", "--types takes critical"},
      {"--types Error", "--types takes critical"},
      {"--columns 31", "--columns takes column indices 0..30"},
      {"--columns -1", "--columns takes column indices"},
      {"--columns 1,x", "--columns takes column indices"},
      {"--columns ''", "--columns takes column indices"},
      {"--period year", "--period takes whole, day, week, month or range"},
      {"--utc-offset 15", "--utc-offset takes hours from -12 to 14"},
      {"--utc-offset -13", "--utc-offset takes hours"},
      {"--utc-offset 99999999999999999999", "--utc-offset takes hours"},
      {"--utc-offset +", "--utc-offset takes hours"},
      {"--language 0", "--language takes a language identifier"},
      {"--language 65536", "--language takes a language identifier"},
      {"--from '2026-01-01 00:00:00'", "--from and --to go together with --period range"},
      {"--period range --from '2026-01-01 00:00:00'", "--from and --to go together with --period range"},
      {"--period range --from '2026-01-01' --to '2026-01-02 00:00:00'",
       "--from takes \"YYYY-MM-DD HH:MM:SS\", not \"2026-01-01\""},
      {"--period range --from '2026-01-01 00:00:00' --to '2026-01-02T00:00:00'",
       "--to takes \"YYYY-MM-DD HH:MM:SS\", not \"2026-01-02T00:00:00\""},
      // The form is right; the date is not one the list shows.
      {"--period range --from '2026-13-01 00:00:00' --to '2026-01-02 00:00:00'",
       "--from 2026-13-01 00:00:00 is no date and time from 1601-01-01 00:00:00 to 9999-12-31 23:59:59"},
      {"--period range --from '1600-12-31 23:59:59' --to '2026-01-02 00:00:00'", "--from 1600-12-31 23:59:59 is no date"},
      {"--period range --from '2026-02-28 00:00:00' --to '2026-02-29 00:00:00'", "--to 2026-02-29 00:00:00 is no date"},
      {"--bogus", "unknown option '--bogus'"},
      {Missing(), "one log path only"},
  };
  for (const std::string command : {"export", "follow"}) {
    for (const Case& c : cases) {
      const CliRun r = Run(command, c.args + " " + Missing());
      EXPECT_EQ(r.status, 2) << command << " " << c.args << ": " << r.err;
      EXPECT_NE(r.err.find("korvlog: " + c.err), std::string::npos) << command << " " << c.args << ": " << r.err;
      EXPECT_NE(r.err.find("Run 'korvlog " + command + " --help' for the options."), std::string::npos)
          << command << " " << c.args << ": " << r.err;
    }
    // A value-taking option at the end has no value.
    for (const std::string option : {"--text", "--from", "--to", "--period", "--language"}) {
      const CliRun r = Run(command, Missing() + " " + option);
      EXPECT_EQ(r.status, 2) << command << " " << option << ": " << r.err;
      EXPECT_NE(r.err.find("korvlog: " + option + " takes"), std::string::npos) << command << ": " << r.err;
    }
  }
}

TEST_F(FilterOptionsCli, BothCommandsTakeEveryValidFilterAndGoOnToThePath) {
  // Accepted options reach the path, which is missing: 3, not the usage error 2.
  const std::string valid[] = {
      "",
      "--types all",
      "--types critical,error,warning,information,diagnostic --deleted",
      "--text 'Síť' --columns 0,2,30 --case --words",
      "--period day",
      "--period week --utc-offset -12",
      "--period month --utc-offset +14",
      "--period range --from '2026-01-01 00:00:00' --to '2026-12-31 23:59:59' --utc-offset 3",
      // Every date the list can show, before 1970 and up to the last four-digit year.
      "--period range --from '1601-01-01 00:00:00' --to '9999-12-31 23:59:59' --utc-offset 14",
      "--period range --from '1601-01-01 00:00:00' --to '1969-12-31 23:59:59' --utc-offset -12",
      "--period range --from '2024-02-29 00:00:00' --to '2024-02-29 00:00:00'",
      "--period whole --language 1029",
  };
  for (const std::string command : {"export", "follow"}) {
    for (const std::string& args : valid) {
      const CliRun r = Run(command, args + " " + Missing());
      EXPECT_EQ(r.status, 3) << command << " " << args << ": " << r.err;
      EXPECT_EQ(r.err.find("--help"), std::string::npos) << command << " " << args << ": " << r.err;
    }
  }
}

}  // namespace
}  // namespace korv::test
