// The man pages are written by hand from the programs' --help texts: every
// command and option that a --help text lists must appear in its man page,
// so that the pages do not fall behind the programs.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <set>
#include <string>
#include <vector>

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

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool is_option_char(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

// Every long option ("--word") a text names, in its option list or in its prose.
std::set<std::string> long_options(const std::string& text) {
  std::set<std::string> found;
  for (size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
    size_t end = at + 2;
    if (end >= text.size() || text[end] < 'a' || text[end] > 'z') continue;
    while (end < text.size() && is_option_char(text[end])) ++end;
    found.insert(text.substr(at, end - at));
    at = end - 2;
  }
  return found;
}

// The commands of an overview that lists one a line: "  info      show ...".
std::set<std::string> overview_commands(const std::string& help) {
  std::set<std::string> found;
  for (const std::string& line : lines_of(help)) {
    if (line.size() < 5 || line.compare(0, 2, "  ") != 0 || line[2] < 'a' || line[2] > 'z') continue;
    const size_t end = line.find(' ', 2);
    if (end != std::string::npos && line.compare(end, 2, "  ") == 0) found.insert(line.substr(2, end - 2));
  }
  return found;
}

// Whether a page has a bold entry line for `word`: ".B word", ".BI word ...", ".BR \"word\" ...".
bool has_entry(const std::string& page, const std::string& word) {
  for (const std::string& line : lines_of(page)) {
    for (const char* macro : {".B ", ".BI ", ".BR "}) {
      if (line.rfind(macro, 0) != 0) continue;
      std::string rest = line.substr(std::string(macro).size());
      if (!rest.empty() && rest[0] == '"') rest.erase(0, 1);
      if (rest.rfind(word, 0) == 0 && (rest.size() == word.size() || rest[word.size()] == ' ' ||
                                       rest[word.size()] == '"')) {
        return true;
      }
    }
  }
  return false;
}

// A long option as roff writes it: each '-' escaped.
std::string roff(const std::string& option) {
  std::string out;
  for (char c : option) {
    if (c == '-') out += '\\';
    out += c;
  }
  return out;
}

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
  const std::set<std::string> options = long_options(help);
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
                      HelpCase{"KorvlogRepair", "korvlog repair --help", "korvlog.1"},
                      HelpCase{"KorvlogTimeline", "korvlog timeline --help", "korvlog.1"},
                      HelpCase{"Writer", "korvlog-write --help", "korvlog-write.1"},
                      HelpCase{"Service", "korv-productd --help", "korv-productd.1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ManPage, KorvlogPageHasEveryCommand) {
  const std::string help = program_output(std::string(KORV_BIN_DIR) + "/korvlog --help");
  const std::string page = read_text(fs::path(KORV_SOURCE_DIR) / "packaging/korvlog.1");
  // The overview lists one command a line: "  info      show ...".
  const std::set<std::string> commands = overview_commands(help);
  ASSERT_GE(commands.size(), 4u) << help;
  for (const std::string& command : commands) {
    EXPECT_TRUE(has_entry(page, command))
        << "korvlog.1 has no entry for the command " << command;
  }
}

}  // namespace
}  // namespace korv::test
