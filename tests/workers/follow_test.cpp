// korvlog follow as a program: the first rows, appended rows, a rewrite that prints nothing
// twice, and the end on SIGTERM with status 0.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <thread>

#include "test_support/shell.h"
#include "workers_support.h"

extern char** environ;

namespace korv::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class FollowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  void StartFollow(const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string program = std::string(KORV_BIN_DIR) + "/korvlog";
    std::vector<std::string> args{program, "follow", "--deleted", log};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  // Waits until the output has `count` lines; the lines then.
  std::vector<std::string> WaitForLines(std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    std::vector<std::string> lines;
    while ((lines = Lines(out_)).size() < count && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(20ms);
    return lines;
  }
  int Terminate() {
    ::kill(pid_, SIGTERM);
    int raw = 0;
    ::waitpid(pid_, &raw, 0);
    pid_ = -1;
    return ExitStatus(raw);
  }

  WorkerTempDir dir_;
  std::string out_ = dir_.Path("out.txt"), err_ = dir_.Path("err.txt");
  pid_t pid_ = -1;
};

TEST_F(FollowTest, PrintsTheLogThenAppendsAndNothingTwiceAfterARewrite) {
  const std::string writer = std::string(KORV_BIN_DIR) + "/korvlog-write";
  const std::string log = dir_.Path("warnlog.dat");
  ASSERT_EQ(Shell(writer + " append " + log + " --kind warnlog --count 5 --seed 3"), 0);
  StartFollow(log);
  std::vector<std::string> lines = WaitForLines(5);
  ASSERT_EQ(lines.size(), 5u);
  for (const std::string& line : lines) EXPECT_FALSE(line.ends_with('\r')) << "LF line ends, no CR for the shell";

  ASSERT_EQ(Shell(writer + " append " + log + " --kind warnlog --count 3"), 0);
  lines = WaitForLines(8);
  ASSERT_EQ(lines.size(), 8u);

  // A deletion rewrites; with --deleted the row stays visible but is not printed again.
  ASSERT_EQ(Shell(writer + " delete " + log + " 2 >/dev/null"), 0);
  ASSERT_EQ(Shell(writer + " append " + log + " --kind warnlog --count 2"), 0);
  lines = WaitForLines(10);
  ASSERT_EQ(lines.size(), 10u);
  std::this_thread::sleep_for(1500ms);  // one more poll: nothing more may come
  EXPECT_EQ(Lines(out_).size(), 10u);
  EXPECT_EQ(Terminate(), 0);

  std::ifstream err(err_);
  std::stringstream text;
  text << err.rdbuf();
  EXPECT_NE(text.str().find("rewritten"), std::string::npos) << text.str();
}

TEST_F(FollowTest, RefusesWhatIsNotALogFile) {
  struct Case {
    std::string args;
    int status;
  };
  const std::string korvlog = std::string(KORV_BIN_DIR) + "/korvlog follow ";
  const std::string quiet = " >/dev/null 2>&1";
  const Case cases[] = {
      {"", 2},
      {"--types nonsense x.dat", 2},
      {dir_.Path("missing.dat"), 3},
  };
  for (const Case& c : cases) EXPECT_EQ(Shell(korvlog + c.args + quiet), c.status) << c.args;
}

}  // namespace
}  // namespace korv::test
