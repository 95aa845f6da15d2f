// Runs scripts/demo against the programs of this build and checks what a new
// user would see: screenshots that show something, and no process, socket or
// private directory left behind however the demo ends.

#include <QImage>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

extern char** environ;

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One run of the demo script in a process group of its own, the way a
// terminal runs a command in the foreground.
class DemoRun {
 public:
  DemoRun(const std::vector<std::string>& args, const std::map<std::string, std::string>& env_changes,
          const fs::path& err_file) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (env_changes.count(entry.substr(0, entry.find('='))) == 0) env.push_back(entry);
    }
    for (const auto& [name, value] : env_changes) {
      if (value != "<unset>") env.push_back(name + "=" + value);
    }
    std::vector<std::string> argv_text{std::string(KORV_SOURCE_DIR) + "/scripts/demo"};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      ::dup2(out[1], 1);
      ::close(out[0]);
      ::close(out[1]);
      const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err >= 0) ::dup2(err, 2);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_fd_ = out[0];
    if (pid_ > 0) ::setpgid(pid_, pid_);  // either side may get there first
  }
  ~DemoRun() {
    // Whatever the run left behind goes with its group, so that one failing
    // case does not leave processes to the next.
    if (pid_ > 0) ::kill(-pid_, SIGKILL);
    if (pid_ > 0 && !reaped_) ::waitpid(pid_, nullptr, 0);
    if (out_fd_ >= 0) ::close(out_fd_);
  }
  DemoRun(const DemoRun&) = delete;
  DemoRun& operator=(const DemoRun&) = delete;

  pid_t pid() const { return pid_; }
  const std::string& output() const { return out_; }

  // Reads the script's output until it holds `text`; false on time-out or end.
  bool wait_for_output(const std::string& text, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (out_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0 || !read_some(static_cast<int>(left))) return false;
    }
    return true;
  }

  // The exit status (128 + signal when killed), or -1 when it did not end in time.
  int wait_exit(std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      int raw = 0;
      const pid_t r = ::waitpid(pid_, &raw, WNOHANG);
      if (r == pid_) {
        reaped_ = true;
        while (read_some(0)) {
        }
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      }
      read_some(100);
    }
    return -1;
  }

  // Whether any process of the run's group is still there. Processes the
  // script left behind keep the group alive after the script itself is gone.
  bool group_alive() const { return ::kill(-pid_, 0) == 0 || errno != ESRCH; }

 private:
  bool read_some(int timeout_ms) {
    pollfd p{out_fd_, POLLIN, 0};
    if (out_fd_ < 0 || ::poll(&p, 1, timeout_ms) <= 0) return false;
    char buf[4096];
    const ssize_t n = ::read(out_fd_, buf, sizeof buf);
    if (n <= 0) return false;
    out_.append(buf, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_fd_ = -1;
  bool reaped_ = false;
  std::string out_;
};

std::string read_text(const fs::path& p) {
  std::ifstream in(p);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct ImageStats {
  int width = 0, height = 0;
  size_t colours = 0;
  double top_share = 1.0;  // the share of pixels of the most frequent colour
};

ImageStats image_stats(const fs::path& file) {
  ImageStats s;
  const QImage image(QString::fromStdString(file.string()));
  if (image.isNull()) return s;
  s.width = image.width();
  s.height = image.height();
  std::unordered_map<QRgb, size_t> count;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) ++count[image.pixel(x, y)];
  }
  size_t top = 0;
  for (const auto& [colour, n] : count) top = std::max(top, n);
  s.colours = count.size();
  s.top_share = static_cast<double>(top) / (static_cast<double>(s.width) * s.height);
  return s;
}

class DemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korv-e2e-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    demo_ = dir_ / "demo";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Arguments that reuse this build and keep the demo small and in the test's directory.
  std::vector<std::string> demo_args(std::vector<std::string> more) const {
    std::vector<std::string> args{"--build-dir", fs::path(KORV_BIN_DIR).parent_path().string(), "--demo-dir",
                                  demo_.string(), "--count", "3000"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  // The service's object root goes below TMPDIR, here the test's own directory.
  std::map<std::string, std::string> env(std::map<std::string, std::string> more) const {
    more.emplace("TMPDIR", dir_.string());
    // Sanitizer builds: leaks of the system libraries behind the display are not ours.
    const char* lsan = std::getenv("LSAN_OPTIONS");
    more.emplace("LSAN_OPTIONS", std::string(lsan != nullptr && *lsan != '\0' ? std::string(lsan) + ":" : "") +
                                     "suppressions=" + KORV_SOURCE_DIR + "/tests/e2e/lsan.supp");
    more.emplace("KORV_OBJECT_ROOT", "<unset>");
    more.emplace("KORV_HKLM", "<unset>");
    return more;
  }
  std::vector<fs::path> leftover_object_roots() const {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().filename().string().rfind("korv-demo.", 0) == 0) found.push_back(e.path());
    }
    return found;
  }
  void expect_nothing_left(const DemoRun& run) const {
    EXPECT_FALSE(run.group_alive()) << "a process the demo started is still running";
    EXPECT_TRUE(leftover_object_roots().empty()) << "the private object root was not removed";
  }
  std::string err() const { return read_text(dir_ / "stderr"); }

  fs::path dir_, demo_;
};

TEST_F(DemoTest, HeadlessRunWritesScreenshotsOfTwoLogsAndStopsEverything) {
  DemoRun run(demo_args({"--headless", "--shot-ms", "5000"}), env({{"DISPLAY", "<unset>"}}), dir_ / "stderr");
  ASSERT_GT(run.pid(), 0);
  const int status = run.wait_exit(std::chrono::seconds(240));
  ASSERT_EQ(status, 0) << "output:\n" << run.output() << "\nstderr:\n" << err();
  expect_nothing_left(run);

  // The user guide's pictures: each task's window, a dialog over it where the
  // task has one, so none is the plain window of the first picture.
  const ImageStats plain = image_stats(demo_ / "guide/open.png");
  for (const char* name : {"filter.png", "find.png", "record.png", "export.png", "timezone.png", "language.png",
                           "repair.png"}) {
    SCOPED_TRACE(name);
    const ImageStats s = image_stats(demo_ / "guide" / name);
    ASSERT_GT(s.width, 0) << "not a readable image";
    EXPECT_GE(s.width, 500);
    EXPECT_FALSE(s.colours == plain.colours && s.top_share == plain.top_share) << "looks like the plain window";
  }

  for (const char* name : {"detections.png", "events.png"}) {
    SCOPED_TRACE(name);
    const fs::path shot = demo_ / name;
    EXPECT_NE(run.output().find(shot.string()), std::string::npos) << "the demo does not say where " << name << " is";
    const ImageStats s = image_stats(shot);
    ASSERT_GT(s.width, 0) << "not a readable image";
    // A main window with a filled list: big enough, many colours (coloured
    // rows of anti-aliased text), and no single colour covering most of it.
    // The demo's windows measure about 1200 colours and a top share of 0.7;
    // an empty list with a menu and a status bar about 235 and 0.9.
    EXPECT_GE(s.width, 500);
    EXPECT_GE(s.height, 300);
    EXPECT_GE(s.colours, 400u);
    EXPECT_LT(s.top_share, 0.85);
  }
  // The big logs hold the asked-for number of records.
  EXPECT_GT(fs::file_size(demo_ / "AppData/Logs/virlog.dat"), 3000u * 100u);
  EXPECT_TRUE(fs::exists(demo_ / "damaged/warnlog.dat"));
}

TEST_F(DemoTest, ClosingTheViewerStopsServiceAndWriter) {
  // A display name is set, so the demo runs the viewer as for a user; the
  // offscreen platform stands in for the screen and the viewer closes itself.
  DemoRun run(demo_args({"--", "--quit-after", "2000"}),
              env({{"DISPLAY", ":korv-e2e"}, {"QT_QPA_PLATFORM", "offscreen"}}), dir_ / "stderr");
  ASSERT_GT(run.pid(), 0);
  const int status = run.wait_exit(std::chrono::seconds(60));
  EXPECT_EQ(status, 0) << "output:\n" << run.output() << "\nstderr:\n" << err();
  EXPECT_NE(run.output().find("viewer closed"), std::string::npos) << run.output();
  expect_nothing_left(run);
}

struct StopCase {
  const char* name;
  bool headless;       // stop it while it takes a screenshot, or while the viewer runs for a user
  int signal;
  bool whole_group;    // Ctrl+C reaches the whole group; kill PID only the script
  int expected_status;
};
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class DemoStopTest : public DemoTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(DemoStopTest, SignalStopsEverythingTheDemoStarted) {
  const StopCase& c = GetParam();
  std::vector<std::string> args =
      c.headless ? demo_args({"--headless", "--shot-ms", "60000"}) : demo_args({});
  std::map<std::string, std::string> changes =
      c.headless ? env({{"DISPLAY", "<unset>"}})
                 : env({{"DISPLAY", ":korv-e2e"}, {"QT_QPA_PLATFORM", "offscreen"}});
  DemoRun run(args, changes, dir_ / "stderr");
  ASSERT_GT(run.pid(), 0);
  const std::string ready = c.headless ? "taking a screenshot" : "viewer started";
  ASSERT_TRUE(run.wait_for_output(ready, std::chrono::seconds(60))) << run.output() << "\nstderr:\n" << err();
  // Let the viewer get going, so that there is something to stop.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_EQ(::kill(c.whole_group ? -run.pid() : run.pid(), c.signal), 0);
  // Well before the viewer's own 60 s: the demo must not wait for it.
  EXPECT_EQ(run.wait_exit(std::chrono::seconds(20)), c.expected_status) << run.output() << "\nstderr:\n" << err();
  // Give stopped processes a moment to be reaped by init.
  for (int i = 0; i < 20 && run.group_alive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  expect_nothing_left(run);
}

INSTANTIATE_TEST_SUITE_P(Stops, DemoStopTest,
                         ::testing::Values(StopCase{"CtrlCWhileViewerRuns", false, SIGINT, true, 130},
                                           StopCase{"TermToScriptWhileViewerRuns", false, SIGTERM, false, 143},
                                           StopCase{"CtrlCWhileTakingScreenshot", true, SIGINT, true, 130},
                                           StopCase{"TermToScriptWhileTakingScreenshot", true, SIGTERM, false, 143}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korv::test
