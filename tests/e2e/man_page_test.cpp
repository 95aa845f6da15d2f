// The man pages are written by hand from the programs' --help texts: every
// command and option that a --help text lists must appear in its man page,
// so that the pages do not fall behind the programs.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>
#include <set>
#include <string>

namespace korv::test {
namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& p) {
  std::ifstream in(p);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string program_output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    ::pclose(pipe);
  }
  return out;
}

// Every match of group 1 of `pattern` in `text`.
std::set<std::string> matches(const std::string& text, const std::string& pattern) {
  std::set<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it) {
    found.insert((*it)[1].str());
  }
  return found;
}

// A long option as roff writes it: each '-' escaped.
std::string roff(const std::string& option) { return std::regex_replace(option, std::regex("-"), "\\-"); }

struct HelpCase {
  const char* name;
  const char* help_args;   // what is run to get the --help text
  const char* page;        // the man page in packaging/
};
void PrintTo(const HelpCase& c, std::ostream* os) { *os << c.name; }

class ManPageTest : public ::testing::TestWithParam<HelpCase> {};

TEST_P(ManPageTest, ListsEveryOptionOfTheHelpText) {
  const HelpCase& c = GetParam();
  const std::string help = program_output(std::string(KORV_BIN_DIR) + "/" + c.help_args);
  const std::string page = read_text(fs::path(KORV_SOURCE_DIR) / "packaging" / c.page);
  ASSERT_FALSE(page.empty());
  // Every long option the text names, in the option list or in the prose.
  const std::set<std::string> options = matches(help, R"((--[a-z][a-z0-9-]*))");
  ASSERT_FALSE(options.empty()) << help;
  for (const std::string& option : options) {
    EXPECT_NE(page.find(roff(option)), std::string::npos) << c.page << " does not describe " << option;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ManPageTest,
    ::testing::Values(HelpCase{"Viewer", "korv-logviewer --help", "korv-logviewer.1"},
                      HelpCase{"KorvlogExport", "korvlog export --help", "korvlog.1"},
                      HelpCase{"KorvlogFollow", "korvlog follow --help", "korvlog.1"},
                      HelpCase{"KorvlogRepair", "korvlog repair --help", "korvlog.1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ManPage, KorvlogPageHasEveryCommand) {
  const std::string help = program_output(std::string(KORV_BIN_DIR) + "/korvlog --help");
  const std::string page = read_text(fs::path(KORV_SOURCE_DIR) / "packaging/korvlog.1");
  // The overview lists one command a line: "  info      show ...".
  const std::set<std::string> commands = matches(help, R"(\n  ([a-z]+) {2,})");
  ASSERT_GE(commands.size(), 4u) << help;
  for (const std::string& command : commands) {
    EXPECT_TRUE(std::regex_search(page, std::regex("\n\\.(B|BI|BR) \"?" + command + "[ \"\n]")))
        << "korvlog.1 has no entry for the command " << command;
  }
}

}  // namespace
}  // namespace korv::test
