// korvlog under hostile input: logs built to break it (cells with control characters,
// undecodable payloads, cut-short files, names that look like FILE:N, directory members as
// export targets), each run checked for its exit status, its output and the bytes of the
// files it must leave alone; follow racing a writer that rewrites, compacts, repairs and
// rotates the log; and a product service that never answers.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service_process.h"
#include "test_support/shell.h"
#include "test_support/temp_dir.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kBin = KORV_BIN_DIR;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// korvlog's text lines: each ends with LF (a last one without is taken as it is).
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// One Events record (type 0x00010002) as a line of korvlog-write append-json: the time, the
// first cell as JSON text (escapes allowed), message 1 ("cleaned by deleting"), user "u".
std::string Event(const std::string& time, const std::string& jsonText, int flags = 0) {
  return R"({"type": "0x00010002", "time": ")" + time + R"(", "flags": )" + std::to_string(flags) +
         R"(, "rows": [{"level": "0x40000000", "fields": [{"text": ")" + jsonText +
         R"("}, {"msg": 1}, {"text": "u"}]}]})";
}
std::string Undecodable(const std::string& time) {
  return R"({"type": "0x00010002", "time": ")" + time + R"(", "payload_hex": "0100"})";
}
std::string ScanSummary() {
  return R"({"type": "0x00010004", "time": "2026-12-08 10:00:00", "rows": [{"level": "0x40000000", "fields": [{"text": "C:"}]}]})";
}
// A record whose text names its position, so that every row of a test is unique.
std::string Numbered(int i) {
  char time[32];
  std::snprintf(time, sizeof time, "2026-12-08 %02d:%02d:%02d", 10 + i / 3600, (i / 60) % 60, i % 60);
  return Event(time, "row-" + std::to_string(i));
}

struct CliRun {
  int status = -1;
  std::string out, err;
};

class HostileInput : public ::testing::Test {
 public:
  void SetUp() override { ASSERT_FALSE(dir_.Root().empty()); }

  std::string P(const std::string& name) const { return dir_.Path(name); }

  // Appends the JSON records to path (creating the log), as the product would.
  void Append(const std::string& path, const std::vector<std::string>& json) {
    const std::string in = P("in.json");
    std::ofstream f(in, std::ios::trunc);
    for (const std::string& line : json) f << line << '\n';
    f.close();
    ASSERT_EQ(Shell(kBin + "/korvlog-write append-json '" + path + "' <'" + in + "'"), 0) << path;
  }

  CliRun Korvlog(const std::string& args, const std::string& env = "") {
    CliRun r;
    r.status = Shell("cd '" + dir_.Root().string() + "' && LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent " + env + " " +
                     kBin + "/korvlog " + args + " </dev/null >'" + P("out") + "' 2>'" + P("err") + "'");
    r.out = ReadAll(P("out"));
    r.err = ReadAll(P("err"));
    return r;
  }

  TempDir dir_{"korv-hostile"};
};

// The logs every one-shot case runs against.
class OneShot : public HostileInput {
 protected:
  void SetUp() override {
    HostileInput::SetUp();
    // Newest first: record 2, then record 0; record 1 does not decode.
    Append(P("warnlog.dat"), {Event("2026-12-08 14:03:05", R"(a\tb\r\nc\u001b[31m\\x)"),
                              Undecodable("2026-12-08 15:00:00"),
                              Event("2026-12-09 23:30:00", "S\u00edt\u0165 \\ufffe\\u0001")});
    fs::copy_file(P("warnlog.dat"), P("odd.dat:1"));
    fs::create_hard_link(P("warnlog.dat"), P("link.dat"));
    fs::create_directories(P("escan"));
    Append(P("escan/a.dat"), {ScanSummary()});
    // Two records, the file cut 5 bytes into the second one's end.
    Append(P("cut.dat"), {Event("2026-12-08 10:00:00", "first"), Event("2026-12-08 11:00:00", "second")});
    fs::resize_file(P("cut.dat"), fs::file_size(P("cut.dat")) - 5);
    fs::create_directories(P("app/Logs"));
    fs::copy_file(P("warnlog.dat"), P("app/Logs/bare.dat"));
    std::ofstream(P("hklm.ini")) << "[Software\\KORV\\KORV Security\\CurrentVersion\\Info]\nAppDataDir="
                                 << P("app/") << "\n";
    std::ofstream(P("nul.ini"), std::ios::binary)
        << "[Software\\KORV\\KORV Security\\CurrentVersion\\Info]\nAppDataDir=" << P("app/")
        << std::string(1, '\0') << "x/\n";
  }
};

const std::string kRow2 = "2026-12-09 23:30:00\tS\u00edt\u0165 \ufffe\\x01\tcleaned by deleting\tu";
const std::string kRow0 = "2026-12-08 14:03:05\ta\\tb\\r\\nc\\x1b[31m\\\\x\tcleaned by deleting\tu";
// Record 1, which the module refuses: its raw row (kind, size, the payload's bytes in hex).
const std::string kRaw1 = "2026-12-08 15:00:00\t0x00010002 Events, 2 bytes: 0100\t\t";

TEST_F(OneShot, ExitStatusOutputAndUntouchedFiles) {
  struct Case {
    const char* what;
    std::string args, env;
    int status;
    std::string out;     // exact standard output, unless outHas is set
    std::string outHas;  // a piece of standard output
    std::string errHas;  // a piece of standard error; empty: standard error is empty
    std::vector<std::string> unchanged = {};
  };
  const std::string lost = "1 record could not be read or decoded";
  const Case cases[] = {
      {"controls in cells are escaped, one row one line", "export warnlog.dat", "", 0,
       kRow2 + "\n" + kRaw1 + "\n" + kRow0 + "\n", "", lost},
      {"xml replaces what XML cannot carry", "export -f xml warnlog.dat", "", 0, "",
       "\xEF\xBF\xBD[31m", lost},
      {"export over a file of the directory log", "export -o escan/a.dat escan", "", 6, "", "",
       "escan/a.dat: is inside the exported directory", {"escan/a.dat"}},
      {"export over the log by another name", "export -o link.dat warnlog.dat", "", 6, "", "",
       "is the log itself", {"warnlog.dat"}},
      {"dat copy over the log by another name", "export -f dat -o link.dat warnlog.dat", "", 6, "", "",
       "is the log itself", {"warnlog.dat"}},
      {"FILE:N beyond the records", "export warnlog.dat:99", "", 2, "", "",
       "warnlog.dat:99: no such record; the log has 3 records (0 to 2)"},
      {"FILE: without a number", "export warnlog.dat:", "", 2, "", "", "no record number after ':'"},
      {"a real file whose name ends in :1", "export odd.dat:1", "", 0, kRow2 + "\n" + kRaw1 + "\n" + kRow0 + "\n",
       "", lost},
      {"FILE:N shows that record", "export warnlog.dat:2", "", 0,
       "S\u00edt\u0165 \ufffe\\x01\tcleaned by deleting\tu\n", "", ""},
      {"FILE:N of an undecodable record", "export warnlog.dat:1", "", 0, "0x00010002 Events, 2 bytes: 0100\t\t\n",
       "", lost},
      {"DIR:N is no repair case", "export escan:1", "", 2, "", "", "escan:1: a directory has no records"},
      {"a range that ends before it begins",
       "export --period range --from '2026-12-09 00:00:00' --to '2026-12-08 00:00:00' warnlog.dat", "", 2, "", "",
       "--from 2026-12-09 00:00:00 is after --to 2026-12-08 00:00:00"},
      // The cut record keeps its place: a corrupted raw row without texts.
      {"export of a file cut inside its last record", "export cut.dat", "", 0,
       "2026-12-08 11:00:00\t0x00010002 Events, 0 bytes\t\t\n2026-12-08 10:00:00\tfirst\tcleaned by deleting\tu\n",
       "", lost},
      {"info of a file cut inside its last record", "info cut.dat", "", 0, "",
       "Last record:         cut short: record number 1", "ends inside its last record"},
      {"info resolves a bare name", "info bare.dat", "KORV_HKLM=hklm.ini", 0, "",
       "File:                " + P("app/Logs/bare.dat"), ""},
      {"export resolves it alike", "export bare.dat", "KORV_HKLM=hklm.ini", 0,
       kRow2 + "\n" + kRaw1 + "\n" + kRow0 + "\n", "", lost},
      {"a NUL inside AppDataDir resolves nothing", "export nothere.dat", "KORV_HKLM=nul.ini", 3, "", "",
       "AppDataDir holds a NUL character"},
      {"the C locale says once that characters were lost", "export warnlog.dat", "LC_ALL=C", 0, "",
       "2026-12-09 23:30:00\tS?t? ?\\x01", "written as '?'"},
  };
  for (const Case& c : cases) {
    std::map<std::string, std::string> before;
    for (const std::string& f : c.unchanged) before[f] = ReadAll(P(f));
    const CliRun r = Korvlog(c.args, c.env);
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.err;
    if (c.outHas.empty())
      EXPECT_EQ(r.out, c.out) << c.what;
    else
      EXPECT_NE(r.out.find(c.outHas), std::string::npos) << c.what << "\n" << r.out;
    if (c.errHas.empty())
      EXPECT_EQ(r.err, "") << c.what;
    else
      EXPECT_NE(r.err.find(c.errHas), std::string::npos) << c.what << "\n" << r.err;
    EXPECT_LE(Occurrences(r.err, "written as '?'"), 1u) << c.what << ": said once";
    for (const auto& [f, bytes] : before) EXPECT_EQ(ReadAll(P(f)), bytes) << c.what << ": " << f << " changed";
  }
}

// korvlog follow as a child process, its output in files of the test's directory.
class FollowProcess {
 public:
  FollowProcess(const std::string& dir, const std::string& args)
      : out_(dir + "/follow" + std::to_string(++count_) + ".out"), err_(dir + "/follow" + std::to_string(count_) + ".err") {
    pid_ = ::fork();
    if (pid_ == 0) {
      const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::setenv("LC_ALL", "C.UTF-8", 1);
      ::setenv("KORV_HKLM", "/nonexistent", 1);
      ::execl("/bin/sh", "sh", "-c", ("exec " + kBin + "/korvlog follow " + args).c_str(), nullptr);
      ::_exit(127);
    }
  }
  ~FollowProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // Waits (up to a generous bound) until standard output holds n lines.
  bool WaitForLines(std::size_t n) {
    const auto until = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < until) {
      if (Lines(ReadAll(out_)).size() >= n) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // SIGTERM; the exit status, -1 when it did not end within the bound.
  int Stop(int signal_number = SIGTERM) {
    ::kill(pid_, signal_number);
    const auto until = Clock::now() + std::chrono::seconds(15);
    int status = 0;
    while (Clock::now() < until) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return ExitStatus(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  std::string Out() const { return ReadAll(out_); }
  std::string Err() const { return ReadAll(err_); }

 private:
  static inline int count_ = 0;  // each run its own files: no run reads another's lines
  std::string out_, err_;
  pid_t pid_ = -1;
};

// Helpers for the writer's side of the races.
class FollowRace : public HostileInput {
 public:
  // Lines of a fresh text export (without --deleted unless asked).
  std::vector<std::string> Exported(const std::string& path, const std::string& options = "") {
    const CliRun r = Korvlog("export " + options + " '" + path + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    return Lines(r.out);
  }

  // Replaces the bytes of `path` in place (same file, same inode) by a log of `json` whose
  // records carry `numbers` and whose header says `next`, with both header times one second
  // past the old ones: what a product that rewrites or compacts its log leaves.
  void RewriteInPlace(const std::string& path, const std::vector<std::string>& json,
                      const std::vector<std::uint32_t>& numbers, std::uint32_t next) {
    const std::string made = P("rewrite.tmp");
    fs::remove(made);
    Append(made, json);
    std::string bytes = ReadAll(made);
    const std::string old = ReadAll(path);
    ASSERT_GE(old.size(), 56u);
    auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); };
    auto get32 = [&](const std::string& b, std::size_t at) {
      std::uint32_t v;
      std::memcpy(&v, b.data() + at, 4);
      return v;
    };
    put32(8, next);
    std::memcpy(bytes.data() + 20, old.data() + 20, 8);  // the same log: its creation time stays
    for (const std::size_t at : {28u, 36u}) {  // modification and rewrite time
      std::uint64_t t;
      std::memcpy(&t, old.data() + at, 8);
      t += 10000000;
      std::memcpy(bytes.data() + at, &t, 8);
    }
    std::size_t offset = get32(bytes, 4);
    for (const std::uint32_t number : numbers) {
      ASSERT_LE(offset + 36, bytes.size());
      put32(offset + 16, number);
      offset += get32(bytes, offset + 4);
    }
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
    ASSERT_EQ(::ftruncate(fd, off_t(bytes.size())), 0);
    ::close(fd);
  }

  // What follow printed must be every row it could have seen, each once: the rows of the
  // exports taken before and after the change, and nothing else.
  static void ExpectPrintedOnce(const std::string& what, const std::vector<std::string>& printed,
                                const std::vector<std::vector<std::string>>& exports) {
    std::multiset<std::string> seen(printed.begin(), printed.end());
    std::set<std::string> expected;
    for (const auto& e : exports) expected.insert(e.begin(), e.end());
    for (const std::string& line : expected)
      EXPECT_EQ(seen.count(line), 1u) << what << ": " << line;
    for (const std::string& line : printed) EXPECT_EQ(expected.count(line), 1u) << what << ": extra " << line;
    EXPECT_EQ(printed.size(), expected.size()) << what;
  }
};

std::vector<std::string> Records(int first, int count) {
  std::vector<std::string> json;
  for (int i = first; i < first + count; ++i) json.push_back(Numbered(i));
  return json;
}

TEST_F(FollowRace, RewritesCompactionsRepairsAndRotationsPrintEveryRowOnce) {
  struct Case {
    const char* what;
    int initial;              // records 0 .. initial-1 at the start
    std::string options;      // follow's and the exports' filter options
    std::function<void(FollowRace&, const std::string&)> change;
    std::size_t linesAfter;   // lines follow has printed once it caught up
    std::string errHas;
    bool rotated = false;     // the old file lies at path + ".1" afterwards
  };
  const Case cases[] = {
      {"rewrite in place that keeps the count", 5, "",
       [](FollowRace& t, const std::string& path) {
         auto json = Records(0, 2);
         for (const auto& r : Records(5, 3)) json.push_back(r);
         t.RewriteInPlace(path, json, {0, 1, 5, 6, 7}, 8);
       },
       8, "records were rewritten"},
      {"compaction to fewer records", 5, "",
       [](FollowRace& t, const std::string& path) {
         auto json = Records(3, 2);
         json.push_back(Numbered(5));
         t.RewriteInPlace(path, json, {3, 4, 5}, 6);
       },
       6, "records were rewritten"},
      {"gap, repair and append", 100, "--deleted",
       [](FollowRace& t, const std::string& path) {
         ASSERT_EQ(Shell(kBin + "/korvlog-write gap '" + path + "' 40"), 0);
         std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // let follow meet the gap
         ASSERT_EQ(Shell(kBin + "/korvlog repair --yes '" + path + "' >/dev/null"), 0);
         t.Append(path, Records(100, 1));
       },
       101, "records were rewritten"},
      {"rotation: moved away and created again", 3, "",
       [](FollowRace& t, const std::string& path) {
         fs::rename(path, path + ".1");
         t.Append(path, Records(10, 2));
       },
       5, "following the new", true},  // said as replaced, or as removed if looked at in between
      {"rotation: deleted and created again later", 3, "",
       [](FollowRace& t, const std::string& path) {
         fs::rename(path, path + ".1");  // kept aside to compare; for follow it is gone
         std::this_thread::sleep_for(std::chrono::milliseconds(2500));
         t.Append(path, Records(20, 2));
       },
       5, "was removed; waiting", true},
      {"made anew in the same file", 3, "",
       [](FollowRace& t, const std::string& path) {
         fs::copy_file(path, path + ".1");  // the old rows, to compare
         ASSERT_EQ(Shell(kBin + "/korvlog-write create '" + path + "'"), 0);
         t.Append(path, Records(30, 2));
       },
       5, "from its first record", true},
  };
  for (const Case& c : cases) {
    const std::string path = P("warnlog.dat");
    fs::remove(path);
    fs::remove(path + ".1");
    Append(path, Records(0, c.initial));
    const std::vector<std::string> before = Exported(path, c.options);
    FollowProcess follow(dir_.Root().string(), c.options + " '" + path + "'");
    ASSERT_TRUE(follow.WaitForLines(std::size_t(c.initial))) << c.what << "\n" << follow.Err();
    c.change(*this, path);
    EXPECT_TRUE(follow.WaitForLines(c.linesAfter)) << c.what << "\n" << follow.Err();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // one more poll: nothing more may come
    EXPECT_EQ(follow.Stop(), 0) << c.what;
    std::vector<std::vector<std::string>> exports = {before, Exported(path, c.options)};
    if (c.rotated) exports.push_back(Exported(path + ".1", c.options));
    const std::string out = follow.Out();
    ExpectPrintedOnce(c.what, Lines(out), exports);
    EXPECT_EQ(out.find("\n\n"), std::string::npos) << c.what << ": an empty line";
    EXPECT_EQ(out.find('\r'), std::string::npos) << c.what << ": a CR in the shell's text";
    EXPECT_NE(follow.Err().find(c.errHas), std::string::npos) << c.what << "\n" << follow.Err();
  }
}

TEST_F(FollowRace, AnEmptyLogOfNoKnownNameIsFollowedFromItsFirstRecord) {
  const std::string path = P("capture.dat");
  ASSERT_EQ(Shell(kBin + "/korvlog-write create '" + path + "'"), 0);
  FollowProcess follow(dir_.Root().string(), "'" + path + "'");
  Append(path, Records(0, 2));
  EXPECT_TRUE(follow.WaitForLines(2)) << follow.Err();
  EXPECT_EQ(follow.Stop(), 0);
  ExpectPrintedOnce("empty log", Lines(follow.Out()), {Exported(path)});
}

// A service that takes every request and never answers: nothing korvlog does waits for it,
// and a follow ends on SIGTERM however early it comes. The bounds are generous.
TEST_F(HostileInput, AServiceThatNeverAnswersHoldsNothingUp) {
  korv::testing::ObjectRoot root;  // KORV_OBJECT_ROOT for this process and its children
  korv::testing::ServiceProcess service({"--delay", "600000"});
  ASSERT_TRUE(service.running());
  Append(P("warnlog.dat"), Records(0, 3));
  const auto bound = std::chrono::seconds(15);
  for (const std::string args : {"info warnlog.dat", "export warnlog.dat", "export -f xml warnlog.dat"}) {
    const auto start = Clock::now();
    const CliRun r = Korvlog(args);
    EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
    EXPECT_LT(Clock::now() - start, bound) << args;
  }
  // From 200 ms on korvlog itself runs (before, the shell that starts it may still be there).
  const struct {
    int delay_ms, signal_number;
  } stops[] = {{200, SIGTERM}, {200, SIGINT}, {1500, SIGTERM}, {1500, SIGINT}};
  for (const auto& s : stops) {
    FollowProcess follow(dir_.Root().string(), "'" + P("warnlog.dat") + "'");
    std::this_thread::sleep_for(std::chrono::milliseconds(s.delay_ms));
    EXPECT_EQ(follow.Stop(s.signal_number), 0) << "signal " << s.signal_number << " after " << s.delay_ms << " ms";
  }
}

}  // namespace
}  // namespace korv::test
