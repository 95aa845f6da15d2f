// korvlog export ended by a signal while it writes: the pass stops, what was written stays
// and is said to be incomplete, and the process ends by the signal, as a shell reports for
// any command the user interrupts; a signal the process was started with ignored stays
// ignored. The output is a pipe the test reads, so that the export is surely still writing
// when the signal comes, whatever the machine's speed.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "test_support/shell.h"
#include "test_support/temp_dir.h"

namespace korv::test {
namespace {

using Clock = std::chrono::steady_clock;
const std::string kBin = KORV_BIN_DIR;
constexpr auto kDeadline = std::chrono::seconds(60);  // only "did it end", never a speed

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// korvlog export writing to `fifo`, its standard error in `err`; `ignored` (0 for none) is
// ignored from its start, as a script's background job has SIGINT.
pid_t StartExport(const std::string& log, const std::string& fifo, const std::string& err, int ignored) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (ignored != 0) ::signal(ignored, SIG_IGN);
    const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int nul = ::open("/dev/null", O_RDWR);
    ::dup2(nul, 0);
    ::dup2(nul, 1);
    ::dup2(errFd, 2);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("KORV_HKLM", "/nonexistent", 1);
    const std::string korvlog = kBin + "/korvlog";
    ::execl(korvlog.c_str(), "korvlog", "export", "-o", fifo.c_str(), log.c_str(), nullptr);
    ::_exit(127);
  }
  return pid;
}

// Reads what is in the pipe now, waiting up to `wait`; false at its end (every writer gone).
bool ReadSome(int fd, std::string& into, std::chrono::milliseconds wait) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, int(wait.count())) <= 0) return true;
  char buffer[65536];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n > 0) into.append(buffer, std::size_t(n));
  return n != 0 || !(p.revents & POLLHUP);
}

// The wait status, or -1 when the process did not end by the deadline (it is killed then).
int WaitFor(pid_t pid) {
  const auto until = Clock::now() + kDeadline;
  int status = 0;
  while (Clock::now() < until) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return -1;
}

TEST(KorvlogInterrupt, ExportEndsBySignalLeavingItsOutputSaidIncomplete) {
  TempDir dir("korv-interrupt");
  const std::string log = dir.Path("warnlog.dat");
  // Several of the export's 1 MiB flushes: the pass cannot be over before the signal comes.
  ASSERT_EQ(Shell(kBin + "/korvlog-write append " + log + " --kind warnlog --count 60000 --seed 5"), 0);
  ASSERT_EQ(Shell("LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + kBin + "/korvlog export -o " + dir.Path("whole.txt") +
                  " " + log),
            0);
  const std::string whole = ReadAll(dir.Path("whole.txt"));
  const std::size_t wholeLines = std::size_t(std::count(whole.begin(), whole.end(), '\n'));
  ASSERT_GT(wholeLines, 30000u);

  const struct {
    const char* name;
    int signal;
    int ignored;  // ignored from the start
    bool ends;    // ended by the signal, not by the end of the rows
  } cases[] = {
      {"Ctrl+C", SIGINT, 0, true},
      {"SIGTERM", SIGTERM, 0, true},
      {"Ctrl+C ignored by the parent", SIGINT, SIGINT, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string fifo = dir.Path(std::string("out-") + std::to_string(c.signal) + "-" +
                                      std::to_string(c.ignored) + ".fifo");
    const std::string err = fifo + ".err";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Opened before the export runs, without waiting for a writer.
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const pid_t pid = StartExport(log, fifo, err, c.ignored);
    ASSERT_GT(pid, 0);
    std::string out;
    // The export has begun writing; the pipe then fills and holds it until it is read.
    for (const auto until = Clock::now() + kDeadline; out.empty() && Clock::now() < until;)
      ReadSome(fd, out, std::chrono::milliseconds(100));
    ASSERT_FALSE(out.empty()) << ReadAll(err);
    ::kill(pid, c.signal);
    // The export waits on the full pipe meanwhile, so that the signal is taken before it can
    // write more; not a measure of speed, only room for the signal's thread to run.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (const auto until = Clock::now() + kDeadline; Clock::now() < until;)
      if (!ReadSome(fd, out, std::chrono::milliseconds(100))) break;
    ::close(fd);
    const int status = WaitFor(pid);
    ASSERT_NE(status, -1) << "did not end";
    const std::size_t lines = std::size_t(std::count(out.begin(), out.end(), '\n'));
    const std::string said = ReadAll(err);
    if (c.ends) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << "status " << status;
      EXPECT_NE(said.find("korvlog: interrupted; " + fifo + " may be incomplete\n"), std::string::npos) << said;
      EXPECT_LT(lines, wholeLines) << "the pass went on to the end";
      EXPECT_EQ(said.find("Done"), std::string::npos) << said;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n" << said;
      EXPECT_EQ(lines, wholeLines);
      EXPECT_EQ(said.find("interrupted"), std::string::npos) << said;
    }
  }
}

}  // namespace
}  // namespace korv::test
