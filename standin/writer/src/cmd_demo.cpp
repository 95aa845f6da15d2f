// demo DIR: a whole product tree for trying the viewer out.
//
//   DIR/hklm.ini                  the product's machine settings (KORV_HKLM)
//   DIR/AppData/Logs/*.dat        one log of every kind the product keeps
//   DIR/AppData/Logs/escan/       computer scans, one log each
//   DIR/AppData/Logs/serverondemand/  server scans
//   DIR/damaged/warnlog.dat       an event log with a zero gap, for the repair
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "append_generated.h"
#include "commands.h"
#include "platform/filetime.h"

namespace korv::standin {

namespace {

namespace fs = std::filesystem;

constexpr int kScanLogs = 4;
constexpr uint64_t kDeletedEvery = 17;

platform::FileError write_log(const fs::path& path, const StandinLogKind& kind, uint64_t count, uint64_t seed,
                              uint64_t end_time) {
  LogFileWriter w;
  if (auto e = w.create(path.string()); e != platform::FileError::ok) return e;
  GenerateOptions opt;
  opt.count = count;
  opt.seed = seed;
  opt.seed_given = true;
  opt.deleted_every = kind.scan ? 0 : kDeletedEvery;
  opt.end_time = end_time;
  if (auto e = append_generated(w, kind, opt); e != platform::FileError::ok) return e;
  return w.close();
}

}  // namespace

int cmd_demo(const Args& args) {
  if (args.empty()) return usage_error("demo takes DIR");
  uint64_t count = 500;
  uint64_t seed = 1;
  for (size_t i = 1; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return usage_error(args[i] + " needs a value");
    unsigned long long n = 0;
    if (args[i] == "--count" && parse_number(args[i + 1], UINT32_MAX, &n) && n > 0) {
      count = n;
    } else if (args[i] == "--seed" && parse_number(args[i + 1], UINT64_MAX, &n)) {
      seed = n;
    } else {
      return usage_error("bad option '" + args[i] + " " + args[i + 1] + "'");
    }
  }

  std::error_code ec;
  const fs::path root = fs::absolute(args[0], ec);
  const fs::path logs = root / "AppData" / "Logs";
  fs::create_directories(logs, ec);
  if (ec) return fail(logs.string() + ": " + ec.message());
  fs::create_directories(root / "damaged", ec);
  if (ec) return fail((root / "damaged").string() + ": " + ec.message());

  {
    // The log directory is AppDataDir followed by "Logs/", so the value ends in a separator.
    std::ofstream ini(root / "hklm.ini");
    ini << "[Software\\KORV\\KORV Security\\CurrentVersion\\Info]\n"
        << "AppDataDir=" << (root / "AppData").string() << "/\n"
        << "ProductServer=0\n";
    if (!ini.flush()) return fail((root / "hklm.ini").string() + ": cannot write");
  }

  const uint64_t now = platform::filetime_now();
  int files = 0;
  for (const StandinLogKind& kind : standin_log_kinds()) {
    if (kind.mac) continue;
    if (!kind.directory) {
      const fs::path path = logs / kind.file_name;
      if (auto e = write_log(path, kind, count, seed + static_cast<uint64_t>(kind.type_id), now);
          e != platform::FileError::ok) {
        return fail(path.string() + ": " + platform::file_error_text(e));
      }
      ++files;
      continue;
    }
    // A directory of scans, a day apart, each a small log of its own.
    const fs::path dir = logs / kind.file_name;
    fs::create_directories(dir, ec);
    if (ec) return fail(dir.string() + ": " + ec.message());
    for (int i = 0; i < kScanLogs; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "ndl%05d.dat", i + 1);
      const uint64_t end = now - static_cast<uint64_t>(kScanLogs - i) * 86400ull * 10'000'000ull;
      const uint64_t findings = static_cast<uint64_t>(i * 3 % 7);
      if (auto e = write_log(dir / name, kind, 1 + findings, seed * 31 + static_cast<uint64_t>(i), end);
          e != platform::FileError::ok) {
        return fail((dir / name).string() + ": " + platform::file_error_text(e));
      }
      ++files;
    }
  }

  // A record lost in the middle of an event log, as a cut-short write leaves it.
  const fs::path damaged = root / "damaged" / "warnlog.dat";
  const uint64_t damaged_count = count < 8 ? 8 : count;
  if (auto e = write_log(damaged, *find_log_kind("warnlog"), damaged_count, seed + 1000, now);
      e != platform::FileError::ok) {
    return fail(damaged.string() + ": " + platform::file_error_text(e));
  }
  {
    LogFileWriter w;
    const uint32_t lost[] = {static_cast<uint32_t>(damaged_count / 2), static_cast<uint32_t>(damaged_count / 2 + 1)};
    auto e = w.open(damaged.string());
    if (e == platform::FileError::ok) e = w.zero_records(lost);
    if (e == platform::FileError::ok) e = w.close();
    if (e != platform::FileError::ok) return fail(damaged.string() + ": " + platform::file_error_text(e));
  }
  ++files;

  std::printf("demo tree in %s: %d logs; use KORV_HKLM=%s\n", root.string().c_str(), files,
              (root / "hklm.ini").string().c_str());
  return kExitOk;
}

}  // namespace korv::standin
