#include "content.h"

#include <array>
#include <string>

#include "standin/messages.h"

namespace korv::standin {

namespace {

// Pools of realistic values; some carry non-ASCII text on purpose.
constexpr std::string_view kUsers[] = {
    "NT AUTHORITY\\SYSTEM", "DESKTOP-4F2K\\jnovak", "DESKTOP-4F2K\\Jiří", "CORP\\m.müller",
    "CORP\\administrator",  "LAPTOP-77\\Zoë",       "CORP\\p.dvořáková",
};
constexpr std::string_view kFolders[] = {
    "C:\\Users\\jnovak\\Downloads\\", "C:\\Users\\Jiří\\Stažené soubory\\", "C:\\Windows\\Temp\\",
    "C:\\ProgramData\\Updater\\",     "D:\\Share\\Účetnictví\\",           "C:\\Users\\m.müller\\AppData\\Local\\Temp\\",
};
constexpr std::string_view kFiles[] = {
    "setup.exe", "invoice_2026.pdf.exe", "crack.zip", "report.docm", "svchost32.exe", "příloha.js", "game_patch.dll",
};
constexpr std::string_view kThreats[] = {
    "Win32/Agent.ABCD trojan", "JS/Adware.Agent.X application", "Eicar test file", "Win64/Kryptik.BQF trojan",
    "VBA/TrojanDownloader.Agent.QW trojan", "Win32/PUA.BundleInstaller potentially unwanted application",
    "HTML/Phishing.Gen trojan",
};
constexpr std::string_view kApps[] = {
    "C:\\Program Files\\Mozilla Firefox\\firefox.exe", "C:\\Windows\\System32\\svchost.exe",
    "C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe", "C:\\Windows\\explorer.exe",
    "C:\\Users\\Jiří\\AppData\\Roaming\\Zoom\\bin\\Zoom.exe", "C:\\Program Files\\Skype\\Skype.exe",
};
constexpr std::string_view kUrls[] = {
    "http://casino-royal.example/play", "https://social.example.com/feed", "http://ads.tracker.example/pixel.gif",
    "https://games.example.org/flash/", "https://www.example.cz/zbraně/", "http://download.example.net/free.exe",
};
constexpr std::string_view kMail[] = {
    "anna@example.com", "jiri.novak@firma.example.cz", "noreply@bank-secure.example", "m.mueller@example.de",
    "sales@example.org",
};
constexpr std::string_view kSubjects[] = {
    "Your invoice", "Faktura za služby", "Ihre Rechnung ist fällig", "You have won!", "Meeting notes",
};

uint32_t pick_msg(Rng& rng, std::initializer_list<uint32_t> ids) {
  return *(ids.begin() + rng.below(static_cast<uint32_t>(ids.size())));
}

}  // namespace

uint32_t level_of(Severity s, Rng& rng) {
  static constexpr uint32_t kBase[] = {0x00000000, 0x10000000, 0x40000000, 0x80000000, 0xA0000000};
  return kBase[static_cast<int>(s)] + rng.below(0x1000);
}

// Mostly information, with every class present in any log of some size.
static Severity spread(Rng& rng) {
  const uint32_t r = rng.below(100);
  if (r < 10) return Severity::Diagnostic;
  if (r < 55) return Severity::Information;
  if (r < 80) return Severity::Warning;
  if (r < 95) return Severity::Error;
  return Severity::Critical;
}

void ContentGenerator::user() { enc_.add_text_utf8(rng_.pick(kUsers)); }

void ContentGenerator::address() {
  if (rng_.below(5) == 0) {
    std::array<uint8_t, 16> b = {0x20, 0x01, 0x0d, 0xb8};
    b[7] = static_cast<uint8_t>(rng_.below(4));
    if (rng_.below(2)) b[10] = static_cast<uint8_t>(rng_.below(256));
    b[15] = static_cast<uint8_t>(1 + rng_.below(254));
    enc_.add_ipv6(b);
  } else if (rng_.below(2)) {
    enc_.add_ipv4(0xC0A80000u | (rng_.below(4) << 8) | (1 + rng_.below(254)));  // 192.168.x.y
  } else {
    enc_.add_ipv4(static_cast<uint32_t>(rng_.next()) | 0x01000000u);
  }
}

void ContentGenerator::hash(size_t bytes) {
  uint8_t b[32];
  for (size_t i = 0; i < bytes && i < sizeof b; ++i) b[i] = static_cast<uint8_t>(rng_.next());
  enc_.add_hex(std::span<const uint8_t>(b, bytes < sizeof b ? bytes : sizeof b));
}

void ContentGenerator::detection(uint64_t time) {
  const Severity sev = rng_.below(10) < 7 ? Severity::Warning : spread(rng_);
  enc_.begin_row(level_of(sev, rng_));
  enc_.add_msg(pick_msg(rng_, {kMsgScanRealTime, kMsgScanWeb, kMsgScanEmail, kMsgScanOnDemand, kMsgScanStartup}));
  enc_.add_msg(pick_msg(rng_, {kMsgObjFile, kMsgObjFile, kMsgObjMemory, kMsgObjEmail, kMsgObjWebPage}));
  enc_.add_text_utf8(std::string(rng_.pick(kFolders)) + std::string(rng_.pick(kFiles)));
  enc_.add_text_utf8(rng_.pick(kThreats));
  enc_.add_msg(pick_msg(rng_, {kMsgCleanedByDeleting, kMsgQuarantined, kMsgBlocked, kMsgRetained}));
  user();
  enc_.add_msg(pick_msg(rng_, {kMsgInfoNewFile, kMsgInfoAccess, kMsgInfoModified, kMsgInfoDownload}));
  hash(20);
  enc_.add_time(time - static_cast<uint64_t>(rng_.below(86400 * 30)) * 10000000ull);
}

void ContentGenerator::event() {
  struct Ev {
    std::string_view module;
    uint32_t msg;
    Severity sev;
  };
  static constexpr Ev kEvents[] = {
      {"Update", kMsgEvUpdated, Severity::Information},       {"Update", kMsgEvNoServer, Severity::Warning},
      {"Update", kMsgEvNoDiskSpace, Severity::Error},          {"Scheduler", kMsgEvTaskStarted, Severity::Information},
      {"Kernel", kMsgEvServiceStarted, Severity::Information}, {"Kernel", kMsgEvServiceStopped, Severity::Warning},
      {"Licensing", kMsgEvLicenceSoon, Severity::Warning},     {"Kernel", kMsgEvModuleFailed, Severity::Error},
      {"Kernel", kMsgEvKernelError, Severity::Critical},       {"Configuration", kMsgEvConfigReloaded, Severity::Diagnostic},
      {"Ochrana sítě", kMsgEvConfigReloaded, Severity::Diagnostic},
  };
  const Ev& e = rng_.pick(kEvents);
  enc_.begin_row(level_of(e.sev, rng_));
  enc_.add_text_utf8(e.module);
  enc_.add_msg(e.msg);
  user();
}

void ContentGenerator::scan_finding(uint64_t time) {
  enc_.begin_row(level_of(rng_.below(4) ? Severity::Warning : Severity::Error, rng_));
  enc_.add_text_utf8(std::string(rng_.pick(kFolders)) + std::string(rng_.pick(kFiles)));
  enc_.add_time(time);
  enc_.add_text(u"");  // the counts belong to the summary
  enc_.add_text(u"");
  enc_.add_msg(pick_msg(rng_, {kMsgCleanedByDeleting, kMsgQuarantined, kMsgRetained}));
  enc_.add_text_utf8(rng_.pick(kThreats));
}

std::span<const uint8_t> ContentGenerator::scan_summary(uint64_t start_time, uint32_t detections) {
  static constexpr std::string_view kTargets[] = {
      "Local drives", "C:\\", "C:\\Users\\Jiří\\", "Operating memory;Boot sectors", "D:\\Share\\Účetnictví\\",
  };
  enc_.clear();
  const uint32_t result = pick_msg(rng_, {kMsgScanCompleted, kMsgScanCompleted, kMsgScanInterrupted, kMsgScanFailed});
  const Severity sev = result == kMsgScanFailed ? Severity::Error
                       : detections           ? Severity::Warning
                                              : Severity::Information;
  enc_.begin_row(level_of(sev, rng_));
  enc_.add_text_utf8(rng_.pick(kTargets));
  enc_.add_time(start_time);
  enc_.add_uint32(1000 + rng_.below(500000));
  enc_.add_uint32(detections);
  enc_.add_msg(result);
  std::span<const uint8_t> out;
  enc_.finish(&out);
  return out;
}

void ContentGenerator::network() {
  static constexpr std::string_view kRules[] = {
      "Block incoming NetBIOS", "Allow DNS", "Default block", "Zablokovat vzdálenou plochu", "Allow web browsing",
  };
  const uint32_t ev = pick_msg(rng_, {kMsgNetRuleBlocked, kMsgNetRuleBlocked, kMsgNetPortScan, kMsgNetAllowed,
                                      kMsgNetBotnet, kMsgNetArpPoisoning});
  const Severity sev = ev == kMsgNetAllowed ? Severity::Diagnostic
                       : ev == kMsgNetBotnet ? Severity::Critical
                       : ev == kMsgNetRuleBlocked ? Severity::Information
                                                  : Severity::Warning;
  static constexpr uint32_t kPorts[] = {53, 80, 135, 139, 443, 445, 3389, 8080};
  static constexpr std::string_view kProtocols[] = {"TCP", "UDP", "ICMP"};
  enc_.begin_row(level_of(sev, rng_));
  enc_.add_msg(ev);
  address();
  enc_.add_uint32(1024 + rng_.below(64000));
  address();
  enc_.add_uint32(rng_.pick(kPorts));
  enc_.add_text_utf8(rng_.pick(kProtocols));
  enc_.add_text_utf8(rng_.pick(kRules));
  enc_.add_text_utf8(rng_.pick(kApps));
  user();
}

void ContentGenerator::antispam() {
  const uint32_t score = rng_.below(100);
  enc_.begin_row(level_of(score > 80 ? Severity::Warning : spread(rng_), rng_));
  enc_.add_text_utf8(rng_.pick(kMail));
  enc_.add_text_utf8(rng_.pick(kMail));
  enc_.add_text_utf8(rng_.pick(kSubjects));
  enc_.add_uint32(score);
  enc_.add_msg(score > 95 ? kMsgDeleted : score > 80 ? kMsgMarkedAsSpam : kMsgAllowed);
}

void ContentGenerator::greylist() {
  const uint32_t msg = pick_msg(rng_, {kMsgGreyRejected, kMsgGreyAccepted});
  enc_.begin_row(level_of(msg == kMsgGreyRejected ? Severity::Information : Severity::Diagnostic, rng_));
  enc_.add_msg(msg);
  address();
  enc_.add_text_utf8(rng_.pick(kMail));
  enc_.add_text_utf8(rng_.pick(kMail));
}

void ContentGenerator::hips() {
  static constexpr std::string_view kTargets[] = {
      "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "C:\\Windows\\System32\\drivers\\etc\\hosts",
      "C:\\Windows\\System32\\lsass.exe", "C:\\Users\\Jiří\\Documents\\smlouva.docx",
  };
  const uint32_t action = pick_msg(rng_, {kMsgBlocked, kMsgAllowed, kMsgUserWarned});
  enc_.begin_row(level_of(action == kMsgBlocked ? Severity::Warning : spread(rng_), rng_));
  enc_.add_text_utf8(rng_.pick(kApps));
  enc_.add_msg(pick_msg(rng_, {kMsgOpRegistry, kMsgOpStartApp, kMsgOpAccessApp, kMsgOpWriteFile}));
  enc_.add_text_utf8(rng_.pick(kTargets));
  enc_.add_msg(action);
  enc_.add_text_utf8(rng_.below(2) ? "Protect system files" : "Ask for unknown applications");
  enc_.add_text_utf8(rng_.below(2) ? "" : "Parent process: explorer.exe");
}

void ContentGenerator::parental() {
  enc_.begin_row(level_of(spread(rng_), rng_));
  enc_.add_text_utf8(rng_.pick(kUrls));
  enc_.add_msg(pick_msg(rng_, {kMsgCatGambling, kMsgCatSocial, kMsgCatAdult, kMsgCatGames, kMsgCatWeapons}));
  enc_.add_msg(pick_msg(rng_, {kMsgBlocked, kMsgAllowed}));
  user();
}

void ContentGenerator::device() {
  struct Dev {
    std::string_view name, vendor;
  };
  static constexpr Dev kDevices[] = {
      {"USB Mass Storage Device", "Kingston"}, {"SanDisk Ultra USB 3.0", "SanDisk"},
      {"iPhone", "Apple Inc."},                {"Bluetooth Headset", "Sony"},
      {"Čtečka karet", "Realtek"},
  };
  const Dev& d = rng_.pick(kDevices);
  const uint32_t action = pick_msg(rng_, {kMsgBlocked, kMsgAllowed, kMsgUserWarned});
  enc_.begin_row(level_of(action == kMsgBlocked ? Severity::Warning : Severity::Information, rng_));
  enc_.add_text_utf8(d.name);
  enc_.add_text_utf8(d.vendor);
  char serial[24];
  snprintf(serial, sizeof serial, "%08X%04X", static_cast<unsigned>(rng_.next()), rng_.below(0x10000));
  enc_.add_text_utf8(serial);
  enc_.add_msg(action);
  enc_.add_text_utf8(action == kMsgBlocked ? "Block removable storage" : "Allow known devices");
  user();
}

void ContentGenerator::web_control() {
  const uint32_t action = pick_msg(rng_, {kMsgBlocked, kMsgAllowed, kMsgUserWarned});
  enc_.begin_row(level_of(action == kMsgBlocked ? Severity::Warning : spread(rng_), rng_));
  enc_.add_text_utf8(rng_.pick(kUrls));
  enc_.add_msg(pick_msg(rng_, {kMsgCatGambling, kMsgCatSocial, kMsgCatAdult, kMsgCatGames, kMsgCatWeapons}));
  enc_.add_msg(action);
  enc_.add_text_utf8(rng_.below(2) ? "Company policy" : "Pracovní doba");
  user();
  address();
}

void ContentGenerator::filtered() {
  enc_.begin_row(level_of(spread(rng_), rng_));
  enc_.add_text_utf8(rng_.pick(kUrls));
  enc_.add_msg(pick_msg(rng_, {kMsgBlocked, kMsgAllowed}));
  enc_.add_text_utf8(rng_.pick(kApps));
  user();
  address();
}

void ContentGenerator::mailserver() {
  enc_.begin_row(level_of(rng_.below(3) ? Severity::Warning : spread(rng_), rng_));
  enc_.add_text_utf8(rng_.pick(kMail));
  enc_.add_text_utf8(rng_.pick(kMail));
  enc_.add_text_utf8(rng_.pick(kSubjects));
  enc_.add_text_utf8(rng_.pick(kThreats));
  enc_.add_msg(pick_msg(rng_, {kMsgDeleted, kMsgQuarantined, kMsgRejected}));
  address();
}

void ContentGenerator::webcam() {
  const uint32_t action = pick_msg(rng_, {kMsgBlocked, kMsgAllowed});
  enc_.begin_row(level_of(action == kMsgBlocked ? Severity::Warning : Severity::Information, rng_));
  enc_.add_text_utf8(rng_.pick(kApps));
  enc_.add_msg(action);
  user();
}

void ContentGenerator::blocked() {
  enc_.begin_row(level_of(rng_.below(2) ? Severity::Warning : spread(rng_), rng_));
  enc_.add_text_utf8(std::string(rng_.pick(kFolders)) + std::string(rng_.pick(kFiles)));
  hash(20);
  enc_.add_text_utf8(rng_.pick(kApps));
  enc_.add_msg(pick_msg(rng_, {kMsgReasonPolicy, kMsgReasonSuspicious}));
  user();
  enc_.add_uint64(1000 + (rng_.next() % 50'000'000'000ull));
}

void ContentGenerator::sent() {
  enc_.begin_row(level_of(rng_.below(4) ? Severity::Information : Severity::Diagnostic, rng_));
  enc_.add_text_utf8(std::string(rng_.pick(kFolders)) + std::string(rng_.pick(kFiles)));
  hash(20);
  enc_.add_uint32(1000 + rng_.below(20'000'000));
  enc_.add_msg(pick_msg(rng_, {kMsgReasonSuspicious, kMsgReasonAutomatic}));
  user();
  enc_.add_msg(pick_msg(rng_, {kMsgStateSent, kMsgStateSent, kMsgStatePending}));
}

void ContentGenerator::smtp() {
  enc_.begin_row(level_of(rng_.below(3) ? Severity::Warning : Severity::Error, rng_));
  enc_.add_text_utf8(rng_.pick(kMail));
  enc_.add_text_utf8(rng_.pick(kMail));
  enc_.add_text_utf8(rng_.pick(kThreats));
  enc_.add_msg(pick_msg(rng_, {kMsgRejected, kMsgDeleted, kMsgConnectionTerminated}));
  address();
}

// One audit record may stand for several changed settings: one row each.
void ContentGenerator::audit() {
  static constexpr std::string_view kSettings[] = {
      "Real-time protection > Enabled", "Update > Server", "Exclusions > Paths", "Firewall > Mode",
      "Ochrana > Citlivost",
  };
  const uint32_t rows = 1 + rng_.below(3);
  const uint32_t action = pick_msg(rng_, {kMsgAuditSettings, kMsgAuditPaused, kMsgAuditExclusion});
  for (uint32_t i = 0; i < rows; ++i) {
    enc_.begin_row(level_of(action == kMsgAuditPaused ? Severity::Warning : Severity::Information, rng_));
    enc_.add_msg(action);
    user();
    enc_.add_text_utf8(rng_.pick(kSettings));
    enc_.add_text_utf8(rng_.below(2) ? "true -> false" : "Value changed by the administrator");
  }
}

void ContentGenerator::bpp() {
  enc_.begin_row(level_of(spread(rng_), rng_));
  enc_.add_text_utf8(rng_.pick(kUrls));
  enc_.add_text_utf8(rng_.pick(kApps));
  enc_.add_msg(pick_msg(rng_, {kMsgBlocked, kMsgAllowed}));
  enc_.add_uint32(100 + rng_.below(30000));
  user();
}

std::span<const uint8_t> ContentGenerator::next(uint64_t time) {
  enc_.clear();
  switch (kind_.type_id) {
    case 1: detection(time); break;
    case 2: event(); break;
    case 3:
    case 12: scan_finding(time); break;
    case 4: network(); break;
    case 5: antispam(); break;
    case 6: greylist(); break;
    case 7: hips(); break;
    case 8: parental(); break;
    case 9: device(); break;
    case 10: web_control(); break;
    case 11: filtered(); break;
    case 15: mailserver(); break;
    case 17: webcam(); break;
    case 18: blocked(); break;
    case 19: sent(); break;
    case 21: smtp(); break;
    case 22: audit(); break;
    case 25: bpp(); break;
    default:  // a kind without its own content still gets a valid payload
      enc_.begin_row(level_of(spread(rng_), rng_));
      user();
      break;
  }
  std::span<const uint8_t> out;
  enc_.finish(&out);
  return out;
}

}  // namespace korv::standin
