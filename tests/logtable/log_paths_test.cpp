#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "logmodel/log_type.h"
#include "platform/machine_registry.h"
#include "standin/logfile.h"

namespace fs = std::filesystem;
using korv::platform::MachineRegistry;

namespace {

// Points the process-wide machine registry at a file of this test program
// before any test reads it; the file goes when the program ends.
struct MachineIni {
  MachineIni() {
    path = fs::temp_directory_path() / ("korv-hklm-" + std::to_string(::getpid()) + ".ini");
    std::ofstream(path) << "[Software\\KORV\\KORV Security\\CurrentVersion\\Info]\n"
                           "AppDataDir=/var/opt/korv/\nProductServer=0x1\n";
    ::setenv("KORV_HKLM", path.c_str(), 1);
  }
  ~MachineIni() { ::unlink(path.c_str()); }
  std::string path;
};
const MachineIni kMachineIni;

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/korv-logtable-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteLog(const std::string& path, std::initializer_list<std::uint32_t> types) {
  korv::standin::LogFileWriter writer;
  ASSERT_EQ(writer.create(path), korv::platform::FileError::ok);
  const unsigned char payload[4] = {1, 2, 3, 4};
  std::uint64_t time = 133000000000000000ull;
  for (std::uint32_t type : types) {
    korv::standin::NewRecord r;
    r.type = type;
    r.time = time++;
    r.payload = payload;
    ASSERT_EQ(writer.append(r), korv::platform::FileError::ok);
  }
  ASSERT_EQ(writer.close(), korv::platform::FileError::ok);
}

TEST(RecogniseLogType, ByNameAndPattern) {
  TempDir dir;
  const LogTable table = korv::MakeLogTable({});
  fs::create_directories(dir / "Scans");
  fs::create_directories(dir / "escan");
  fs::create_directories(dir / "ServerOnDemand");
  fs::create_directories(dir / "deep/er");
  std::ofstream(dir / "deep/er/VIRLOG.DAT") << "not even a log";
  std::ofstream(dir / "ndl.dat") << "x";
  std::ofstream(dir / "Warnlog.dat") << "x";
  struct Case {
    std::string path;
    int index;
  } cases[] = {
      {dir / "Scans", 2},
      {dir / "escan", 1},
      {dir / "escan/", 1},
      {dir / "ServerOnDemand", 0},
      {dir / "deep/er/VIRLOG.DAT", 5},
      {dir / "ndl.dat", 3},
      {dir / "Warnlog.dat", 7},
  };
  for (const Case& c : cases) EXPECT_EQ(korv::RecogniseLogTypeIn(table, c.path), c.index) << c.path;
}

TEST(RecogniseLogType, ByTheFirstRecordThatIsNotASummary) {
  TempDir dir;
  const LogTable table = korv::MakeLogTable({});
  struct Case {
    const char* name;
    std::initializer_list<std::uint32_t> types;
    int index;
  } cases[] = {
      {"2026-12-08.dat", {0x00010004, 0x00010001}, 4},
      {"2026-12-09.dat", {0x00010004, 0x00010004, 0x0001000B}, 3},
      {"summaries.dat", {0x00010004, 0x00010004}, -1},
      {"empty.dat", {}, -1},
      {"events.dat", {0x00010002, 0x00010001}, 7},
      {"firewall-copy.dat", {0x00010003}, 18},
      {"odd.dat", {0xFFFFFFFF}, -1},
      {"unknown.dat", {0x00010077}, -1},
      // A placeholder of the repair (type 0) stands where a record was lost: it says nothing
      // of the kind, wherever it stands.
      {"repaired-first.dat", {0, 0x00010002}, 7},
      {"repaired-summary.dat", {0, 0x00010004, 0, 0x0001000B}, 3},
      {"placeholders-only.dat", {0, 0}, -1},
  };
  for (const Case& c : cases) {
    WriteLog(dir / c.name, c.types);
    EXPECT_EQ(korv::RecogniseLogTypeIn(table, dir / c.name), c.index) << c.name;
  }
  std::ofstream(dir / "garbage.dat") << "this is not a log file at all, just text";
  EXPECT_EQ(korv::RecogniseLogTypeIn(table, dir / "garbage.dat"), -1);
  EXPECT_EQ(korv::RecogniseLogTypeIn(table, dir / "missing.dat"), -1);
}

TEST(ResolveLogPath, NamesAndPaths) {
  const std::optional<std::string> app = "/var/opt/korv/";
  const std::string long_name(300, 'n');
  struct Case {
    std::string name;
    std::optional<std::string> app;
    std::string expected;
  } cases[] = {
      {"virlog.dat", app, "/var/opt/korv/Logs/virlog.dat"},
      {"/srv/logs/virlog.dat", app, "/srv/logs/virlog.dat"},
      {"C:\\Logs\\virlog.dat", app, "C:\\Logs\\virlog.dat"},
      {"escan/", app, "/var/opt/korv/Logs/escan/"},
      {"escan\\", app, "/var/opt/korv/Logs/escan\\"},
      {"virlog.dat", std::nullopt, ""},
      {"/srv/virlog.dat", std::nullopt, "/srv/virlog.dat"},
      {long_name, app, ("/var/opt/korv/Logs/" + long_name).substr(0, 259)},
  };
  for (const Case& c : cases) EXPECT_EQ(korv::ResolveLogPathIn(c.name, c.app), c.expected) << c.name;
}

TEST(ProductValues, ReadFromTheMachineRegistry) {
  TempDir dir;
  const std::string section = "[Software\\KORV\\KORV Security\\CurrentVersion\\Info]\n";
  struct Case {
    const char* what;
    std::string text;  // null text: no file
    bool has_dir;
    std::string app_dir;
    bool server;
  } cases[] = {
      {"both values", section + "AppDataDir=/data/korv/\nProductServer=1\n", true, "/data/korv/", true},
      {"names without case", "[software\\korv\\KORV SECURITY\\currentversion\\info]\nappdatadir = /d/\n",
       true, "/d/", false},
      {"hex server flag", section + "ProductServer=0x10\nAppDataDir=/x/", true, "/x/", true},
      {"server 0", section + "ProductServer=0\nAppDataDir=/x/", true, "/x/", false},
      {"server not a number", section + "ProductServer=yes\n", false, "", false},
      {"empty AppDataDir", section + "AppDataDir=\n", false, "", false},
      {"other section", "[Software\\Other]\nAppDataDir=/x/\n", false, "", false},
      {"value before any section", "AppDataDir=/x/\n" + section, false, "", false},
  };
  for (const Case& c : cases) {
    std::string path = dir / "hklm.ini";
    std::ofstream(path) << c.text;
    MachineRegistry registry = MachineRegistry::FromFile(path);
    korv::ProductValues values(registry);
    char buffer[260] = "stale";
    EXPECT_EQ(values.GetAppDataDir(buffer, sizeof(buffer)), c.has_dir) << c.what;
    EXPECT_EQ(std::string(buffer), c.app_dir) << c.what;
    EXPECT_EQ(values.IsProductServer(), c.server) << c.what;
    EXPECT_EQ(korv::ResolveLogPathIn("virlog.dat", values.AppDataDir()),
              c.has_dir ? c.app_dir + "Logs/virlog.dat" : "")
        << c.what;
  }
  // A missing file and a path that cannot be read as a file are empty registries.
  for (const std::string& path : {dir / "missing.ini", dir / ""}) {
    MachineRegistry registry = MachineRegistry::FromFile(path);
    korv::ProductValues values(registry);
    char buffer[16] = "stale";
    EXPECT_FALSE(values.GetAppDataDir(buffer, sizeof(buffer))) << path;
    EXPECT_STREQ(buffer, "");
    EXPECT_FALSE(values.IsProductServer());
  }
}

TEST(RecogniseLogType, TellsADamagedLogFromAnUnknownOne) {
  TempDir dir;
  const LogTable table = korv::MakeLogTable({});
  WriteLog(dir / "lost-first.dat", {0x00010002, 0x00010002});
  WriteLog(dir / "lost-summary.dat", {0x00010004, 0x00010001});
  WriteLog(dir / "fine.dat", {0x00010077});
  WriteLog(dir / "empty.dat", {});
  // The first record's header zeroed, as a cut-short write leaves it.
  for (const char* name : {"lost-first.dat", "lost-summary.dat"}) {
    std::fstream f(dir / name, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(56);
    f.write(std::string(36, '\0').data(), 36);
  }
  std::ofstream(dir / "text.dat") << "this is not a log file at all, just text";
  const struct {
    const char* name;
    bool damaged;
  } cases[] = {
      {"lost-first.dat", true},
      {"lost-summary.dat", true},
      {"fine.dat", false},   // readable, of no known kind
      {"empty.dat", false},  // no records at all is no damage
      {"text.dat", false},   // not a log
      {"missing.dat", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool damaged = !c.damaged;
    EXPECT_EQ(korv::RecogniseLogTypeIn(table, dir / c.name, &damaged), -1);
    EXPECT_EQ(damaged, c.damaged);
    const std::string text = korv::UnknownLogTypeText(dir / c.name, damaged);
    EXPECT_EQ(text.rfind("Unknown log type.", 0), 0u) << "the message still begins as before";
    if (c.damaged)
      EXPECT_NE(text.find("korvlog repair " + (dir / c.name)), std::string::npos) << text;
    else
      EXPECT_EQ(text, "Unknown log type.");
  }
}

TEST(MachineRegistry, OnlyASmallRegularFileIsRead) {
  TempDir dir;
  const std::string section = "[Software\\KORV\\KORV Security\\CurrentVersion\\Info]\nAppDataDir=/x/\n";
  // A file of the cap's size is read; one byte more and it is no registry file.
  const std::string at_cap = dir / "at-cap.ini";
  std::ofstream(at_cap) << section << std::string(korv::platform::kMaxRegistryFileSize - section.size(), ';');
  const std::string over_cap = dir / "over-cap.ini";
  std::ofstream(over_cap) << section << std::string(korv::platform::kMaxRegistryFileSize - section.size() + 1, ';');
  const std::string fifo = dir / "fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    bool read;
  } cases[] = {
      {at_cap, true},
      {over_cap, false},
      {fifo, false},  // no writer: a blocking open would wait for ever
      {"/dev/zero", false},
      {"/dev/urandom", false},
      {dir / "", false},  // a directory
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const MachineRegistry registry = MachineRegistry::FromFile(c.path);
    EXPECT_EQ(registry.QueryString("Software\\KORV\\KORV Security\\CurrentVersion\\Info", "AppDataDir"),
              c.read ? std::optional<std::string>("/x/") : std::nullopt);
  }
}

TEST(ProductValues, KeptValueIsCopiedTruncated) {
  MachineRegistry registry = MachineRegistry::FromText(
      "[Software\\KORV\\KORV Security\\CurrentVersion\\Info]\nAppDataDir=/var/opt/korv/\n");
  korv::ProductValues values(registry);
  char small[5];
  EXPECT_TRUE(values.GetAppDataDir(small, sizeof(small)));
  EXPECT_STREQ(small, "/var");
  EXPECT_FALSE(values.GetAppDataDir(small, 0));
}

TEST(MachineRegistry, SixtyFourBitViewIsAddedUnlessAViewIsNamed) {
  using namespace korv::platform;
  const std::uint32_t view = MachineIs64Bit() ? kKeyWow64_64Key : 0;
  EXPECT_EQ(ProductRegistryAccess(kKeyRead), kKeyRead | view);
  EXPECT_EQ(ProductRegistryAccess(kKeyRead | kKeyWow64_32Key), kKeyRead | kKeyWow64_32Key);
  EXPECT_EQ(ProductRegistryAccess(kKeyRead | kKeyWow64_64Key), kKeyRead | kKeyWow64_64Key);
#if defined(__x86_64__) || defined(__aarch64__)
  EXPECT_TRUE(MachineIs64Bit());
#endif
}

TEST(ProcessWide, ValuesComeFromKorvHklm) {
  EXPECT_EQ(MachineRegistry::MachinePath(), kMachineIni.path);
  char buffer[260];
  EXPECT_TRUE(nsLog::GetAppDataDir(buffer, sizeof(buffer)));
  EXPECT_STREQ(buffer, "/var/opt/korv/");
  EXPECT_TRUE(nsLog::IsProductServer());
  EXPECT_EQ(nsLog::ResolveLogPath("virlog.dat"), "/var/opt/korv/Logs/virlog.dat");
  EXPECT_EQ(nsLog::ResolveLogPath("escan/"), "/var/opt/korv/Logs/escan/");
  EXPECT_EQ(nsLog::ResolveLogPath("/tmp/a/virlog.dat"), "/tmp/a/virlog.dat");
  TempDir dir;
  fs::create_directories(dir / "Scans");
  EXPECT_EQ(nsLog::RecogniseLogType(dir / "Scans"), 2);
}

}  // namespace
