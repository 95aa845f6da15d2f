// A disk that fills up during an export: /dev/full, and a file-size limit (RLIMIT_FSIZE with
// SIGXFSZ ignored, so that the write fails with EFBIG instead of killing the process). The
// failure is reported: the writers answer kExportWriteFailed, korvlog export exits with 6.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "logmodel/export_writer.h"
#include "logmodel/line_export_writer.h"
#include "workers_support.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

constexpr rlim_t kLimit = 16 * 1024;

// Rows of fixed cells, enough to outgrow the limit several times over.
class ManyRows : public ExportRows {
 public:
  int Count() override { return 20000; }
  bool Cells(int row, std::vector<std::u16string>& cells) override {
    cells = {u"2026-12-08 14:03:05", u"Module " + Number(row), u"Event text of some length"};
    return true;
  }
  bool Text(int row, std::u16string& line) override {
    line = u"Module " + Number(row) + u"\tEvent text of some length";
    return true;
  }
  bool DateTime(int, std::u16string& date, std::u16string& time) override {
    date = u"2026-12-08";
    time = u"14:03:05";
    return true;
  }
  bool RowInfo(int row, REC_INFO_BASE& info) override {
    info = REC_INFO_BASE{row, 0, 0, 0x40000000, 0, 0};
    return true;
  }

 private:
  static std::u16string Number(int n) {
    const std::string s = std::to_string(n);
    return {s.begin(), s.end()};
  }
};

// Runs `body` in a child process under the file-size limit; its exit status.
int UnderSizeLimit(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kLimit, kLimit};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int WriteFormat(const std::string& format, ExportSink& sink) {
  ManyRows rows;
  const std::vector<std::u16string> names = {u"Time", u"Module", u"Event"};
  if (format == "xml") return WriteXmlExport(rows, names, true, sink, {});
  if (format == "jsonl") return WriteLineExport(rows, LineFormat::kJsonLines, names, "warnlog", sink, {});
  if (format == "csv") return WriteLineExport(rows, LineFormat::kCsv, names, "warnlog", sink, {});
  return WriteTextExport(rows, sink, {});
}

TEST(ExportDiskFull, TheWritersReportAFailedWrite) {
  WorkerTempDir dir;
  for (const std::string format : {"txt", "xml", "jsonl", "csv"}) {
    SCOPED_TRACE(format);
    const std::string target = dir.Path("out." + format);
    const int status = UnderSizeLimit([&] {
      std::unique_ptr<ExportSink> sink;
      if (CreateExportTarget(target, "", sink) != kExportOk) return 101;
      return WriteFormat(format, *sink);
    });
    EXPECT_EQ(status, kExportWriteFailed);
    EXPECT_LE(fs::file_size(target), kLimit) << "the file holds what was written";

    if (!fs::exists("/dev/full")) continue;
    FdSink full(::open("/dev/full", O_WRONLY | O_CLOEXEC), true);
    EXPECT_EQ(WriteFormat(format, full), kExportWriteFailed);
  }
}

TEST(ExportDiskFull, KorvlogExportExitsWith6) {
  WorkerTempDir dir;
  const std::string bin = KORV_BIN_DIR;
  const std::string log = dir.Path("warnlog.dat");
  ASSERT_EQ(std::system((bin + "/korvlog-write append " + log + " --kind warnlog --count 3000 --seed 3 >/dev/null").c_str()), 0);
  ASSERT_GT(fs::file_size(log), 4 * kLimit);

  struct Case {
    const char* format;
    const char* message;  // what korvlog says on standard error
  };
  const Case cases[] = {{"txt", "the write failed"},
                        {"xml", "the write failed"},
                        {"jsonl", "the write failed"},
                        {"csv", "the write failed"},
                        {"dat", "the copy failed"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const std::string target = dir.Path(std::string("limited.") + c.format);
    const std::string err = dir.Path("err");
    const int status = UnderSizeLimit([&] {
      const std::string command = "LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + bin + "/korvlog export -f " +
                                  c.format + " -o " + target + " " + log + " </dev/null >/dev/null 2>" + err;
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      return 127;
    });
    EXPECT_EQ(status, 6);
    std::ifstream in(err);
    const std::string said{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(said.find(c.message), std::string::npos) << said;

    if (!fs::exists("/dev/full") || std::string(c.format) == "dat") continue;
    const std::string command = "LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + bin + "/korvlog export -f " +
                                c.format + " -o /dev/full " + log + " </dev/null >/dev/null 2>/dev/null";
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 6) << "to /dev/full";
  }
}

}  // namespace
}  // namespace korv::test
