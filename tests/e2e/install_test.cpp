// Installs this build into a scratch prefix and checks that what lands there
// works the way a packaged install is used: programs on the path that find
// the module, and a desktop entry, MIME type and icon that refer to each other.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace korv::test {
namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& p) {
  std::ifstream in(p);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The value of `key=` in a desktop entry, or "".
std::string desktop_value(const std::string& entry, const std::string& key) {
  std::istringstream lines(entry);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return {};
}

class InstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "korv-install-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    prefix_ = new fs::path(pattern);
    const std::string cmd = std::string(KORV_CMAKE_COMMAND) + " --install " +
                            fs::path(KORV_BIN_DIR).parent_path().string() + " --prefix " + prefix_->string() +
                            " >" + (*prefix_ / "install.log").string() + " 2>&1";
    install_status_ = std::system(cmd.c_str());
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(*prefix_, ec);
    delete prefix_;
    prefix_ = nullptr;
  }
  void SetUp() override {
    ASSERT_EQ(install_status_, 0) << read_text(*prefix_ / "install.log");
  }

  // Runs an installed program; its standard output, with the exit status in `status`.
  std::string run(const std::string& command, int& status) const {
    const fs::path out = *prefix_ / "out";
    const int raw = std::system((command + " >" + out.string() + " 2>&1 </dev/null").c_str());
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return read_text(out);
  }

  static fs::path* prefix_;  // one install for the suite: it takes a few seconds
  static int install_status_;
};
fs::path* InstallTest::prefix_ = nullptr;
int InstallTest::install_status_ = -1;

TEST_F(InstallTest, FilesLandInTheUsualPlaces) {
  struct Expected {
    const char* path;
    bool executable;
  };
  const Expected files[] = {
      {"bin/korv-logviewer", true},
      {"bin/korvlog", true},
      {"bin/korvlog-write", true},
      {"bin/korv-productd", true},
      {"lib/korv-logviewer/korv-logviewer", true},
      {"lib/korv-logviewer/korvlog", true},
      {"lib/korv-logviewer/lvmod_32.so", false},
      {"share/applications/korv-logviewer.desktop", false},
      {"share/mime/packages/korv-logviewer.xml", false},
      {"share/icons/hicolor/16x16/apps/korv-logviewer.png", false},
      {"share/icons/hicolor/48x48/apps/korv-logviewer.png", false},
      {"share/icons/hicolor/256x256/apps/korv-logviewer.png", false},
      {"share/man/man1/korvlog.1.gz", false},
      {"share/man/man1/korv-logviewer.1.gz", false},
      {"share/bash-completion/completions/korvlog", false},
      {"share/zsh/vendor-completions/_korvlog", false},
      {"share/doc/korv-logviewer/copyright", false},
      {"share/doc/korv-logviewer/changelog.gz", false},
      {"share/doc/korvlog/copyright", false},
      {"share/doc/korvlog/changelog.gz", false},
      {"share/doc/korv-logviewer-demo/copyright", false},
  };
  for (const Expected& f : files) {
    SCOPED_TRACE(f.path);
    const fs::path p = *prefix_ / f.path;
    ASSERT_TRUE(fs::exists(p));
    EXPECT_GT(fs::file_size(p), 0u);
    if (f.executable) {
      EXPECT_NE(fs::status(p).permissions() & fs::perms::owner_exec, fs::perms::none);
    }
  }
}

TEST_F(InstallTest, ProgramsOnThePathFindTheModuleBesideThem) {
  // The links in bin/ are relative, so a moved or staged prefix still works.
  for (const char* name : {"korv-logviewer", "korvlog"}) {
    SCOPED_TRACE(name);
    const fs::path link = *prefix_ / "bin" / name;
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::read_symlink(link).is_relative());
    EXPECT_TRUE(fs::equivalent(link, *prefix_ / "lib/korv-logviewer" / name));
  }
  // A log written by the installed writer, read back through the installed
  // korvlog: the column titles come from the module, so it was found.
  const fs::path log = *prefix_ / "events.dat";
  int status = -1;
  run((*prefix_ / "bin/korvlog-write").string() + " append " + log.string() + " --kind warnlog --count 3", status);
  ASSERT_EQ(status, 0);
  const std::string info = run((*prefix_ / "bin/korvlog").string() + " info " + log.string(), status);
  EXPECT_EQ(status, 0) << info;
  EXPECT_NE(info.find("Columns:             Time, Module, Event, User"), std::string::npos) << info;

  for (const char* name : {"korv-logviewer", "korvlog"}) {
    SCOPED_TRACE(name);
    const std::string version = run((*prefix_ / "bin" / name).string() + " --version", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(version, std::string(name) + " " + KORV_VERSION_TEXT + "\n");
  }
}

// Each package is one install component. korvlog's must carry nothing of the
// viewer (a server installs it alone, without Qt), and no file may be missing
// from every component or land in two packages.
TEST_F(InstallTest, EachPackageCarriesItsOwnFiles) {
  const struct {
    const char* component;
    std::vector<std::string> has;
    std::vector<std::string> lacks;
  } cases[] = {
      {"korvlog",
       {"bin/korvlog", "lib/korv-logviewer/korvlog", "share/man/man1/korvlog.1.gz",
        "share/bash-completion/completions/korvlog", "share/zsh/vendor-completions/_korvlog",
        "share/doc/korvlog/copyright"},
       {"bin/korv-logviewer", "lib/korv-logviewer/korv-logviewer", "lib/korv-logviewer/lvmod_32.so",
        "share/applications", "share/mime", "share/icons", "share/man/man1/korv-logviewer.1.gz"}},
      {"viewer",
       {"bin/korv-logviewer", "lib/korv-logviewer/korv-logviewer", "share/applications/korv-logviewer.desktop",
        "share/mime/packages/korv-logviewer.xml", "share/icons/hicolor/48x48/apps/korv-logviewer.png",
        "share/man/man1/korv-logviewer.1.gz", "share/doc/korv-logviewer/copyright"},
       {"bin/korvlog", "lib/korv-logviewer/korvlog", "lib/korv-logviewer/lvmod_32.so", "share/man/man1/korvlog.1.gz",
        "share/bash-completion"}},
      {"demo",
       {"lib/korv-logviewer/lvmod_32.so", "bin/korvlog-write", "bin/korv-productd",
        "share/man/man1/korvlog-write.1.gz", "share/man/man1/korv-productd.1.gz",
        "share/doc/korv-logviewer-demo/copyright"},
       {"bin/korvlog", "bin/korv-logviewer", "share/man/man1/korvlog.1.gz", "share/applications"}},
  };
  std::vector<std::string> files_in_components;  // relative paths, one per component that holds it
  for (const auto& c : cases) {
    SCOPED_TRACE(c.component);
    const fs::path root = *prefix_ / "components" / c.component;
    int status = -1;
    const std::string log = run(std::string(KORV_CMAKE_COMMAND) + " --install " +
                                    fs::path(KORV_BIN_DIR).parent_path().string() + " --prefix " + root.string() +
                                    " --component " + c.component,
                                status);
    ASSERT_EQ(status, 0) << log;
    for (const std::string& path : c.has) EXPECT_TRUE(fs::exists(root / path)) << path;
    for (const std::string& path : c.lacks) EXPECT_FALSE(fs::exists(root / path)) << path;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_directory()) files_in_components.push_back(fs::relative(entry.path(), root).string());
    }
  }
  // Together the components are the whole install, each file once.
  std::vector<std::string> files_in_install;
  for (const char* top : {"bin", "lib", "share"}) {
    for (const auto& entry : fs::recursive_directory_iterator(*prefix_ / top)) {
      if (!entry.is_directory()) files_in_install.push_back(fs::relative(entry.path(), *prefix_).string());
    }
  }
  std::sort(files_in_components.begin(), files_in_components.end());
  std::sort(files_in_install.begin(), files_in_install.end());
  EXPECT_EQ(files_in_components, files_in_install);
}

// The bash completion parses, registers itself for korvlog and offers the
// commands and an option's values (bash-completion's helpers stubbed, so
// that the test does not depend on that package).
TEST_F(InstallTest, BashCompletionOffersCommandsAndValues) {
  const fs::path script = *prefix_ / "share/bash-completion/completions/korvlog";
  const struct {
    const char* words;
    int cword;
    const char* expected;
  } cases[] = {
      {"korvlog ex", 1, "export"},
      {"korvlog export -f x", 3, "xml"},
      {"korvlog export --types crit", 3, "critical"},
      {"korvlog repair --y", 2, "--yes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    const fs::path program = *prefix_ / "complete.sh";
    std::ofstream(program) << "_init_completion() { words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD;\n"
                           << "  cur=${words[cword]}; prev=${words[cword-1]}; }\n"
                           << "_filedir() { :; }\n"
                           << "source '" << script.string() << "' || exit 1\n"
                           << "complete -p korvlog >/dev/null || exit 1\n"
                           << "COMP_WORDS=(" << c.words << "); COMP_CWORD=" << c.cword << "\n"
                           << "_korvlog\n"
                           << "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    int status = -1;
    const std::string out = run("bash " + program.string(), status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find(c.expected), std::string::npos) << out;
  }
}

TEST_F(InstallTest, DesktopEntryMimeTypeAndIconAgree) {
  const std::string entry = read_text(*prefix_ / "share/applications/korv-logviewer.desktop");
  const std::string mime = read_text(*prefix_ / "share/mime/packages/korv-logviewer.xml");
  EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_EQ(desktop_value(entry, "Type"), "Application");
  // Exec names the program on the path and takes the file a file manager hands over.
  EXPECT_EQ(desktop_value(entry, "Exec"), "korv-logviewer %f");
  EXPECT_TRUE(fs::exists(*prefix_ / "share/icons/hicolor/48x48/apps" / (desktop_value(entry, "Icon") + ".png")));

  const std::string type = desktop_value(entry, "MimeType");
  ASSERT_FALSE(type.empty());
  ASSERT_EQ(type.back(), ';');
  EXPECT_NE(mime.find("<mime-type type=\"" + type.substr(0, type.size() - 1) + "\">"), std::string::npos) << mime;
  // The log magic, as the file holds it at offset 0 (little-endian).
  EXPECT_NE(mime.find("<match type=\"little32\" offset=\"0\" value=\"0xCF9BF378\"/>"), std::string::npos);
  EXPECT_NE(mime.find("<glob pattern=\"*.dat\""), std::string::npos);
}

}  // namespace
}  // namespace korv::test
