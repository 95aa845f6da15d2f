#include "standin/log_kinds.h"

#include <algorithm>
#include <cctype>

namespace korv::standin {

namespace {

// Grey list records are never recognised by content, so they carry a type
// that no other kind uses.
constexpr StandinLogKind kKinds[] = {
    {"escan", 3, 0x00010001, "escan", true, false, true},
    {"serverondemand", 12, 0x0001000B, "serverondemand", true, false, true},
    {"srvondemand", 12, 0x0001000B, "srvondemand.dat", false, false, true},
    {"virlog", 1, 0x00010001, "virlog.dat", false, false, false},
    {"threatlog", 1, 0x00010001, "threatlog.dat", false, true, false},
    {"warnlog", 2, 0x00010002, "warnlog.dat", false, false, false},
    {"eventlog", 2, 0x00010002, "eventlog.dat", false, true, false},
    {"spamlog", 5, 0x00010005, "spamlog.dat", false, false, false},
    {"greylistlog", 6, 0x0001000C, "greylistlog.dat", false, false, false},
    {"hipslog", 7, 0x00010006, "hipslog.dat", false, false, false},
    {"parentallog", 8, 0x00010007, "parentallog.dat", false, false, false},
    {"parentlog", 8, 0x00010007, "parentlog.dat", false, true, false},
    {"devctrllog", 9, 0x00010008, "devctrllog.dat", false, false, false},
    {"devctllog", 9, 0x00010008, "devctllog.dat", false, true, false},
    {"webctllog", 10, 0x00010009, "webctllog.dat", false, false, false},
    {"urllog", 11, 0x0001000A, "urllog.dat", false, false, false},
    {"epfwlog", 4, 0x00010003, "epfwlog.dat", false, false, false},
    {"firewall", 4, 0x00010003, "firewall.dat", false, true, false},
    {"mailserver", 15, 0x0001000D, "mailserver.dat", false, false, false},
    {"blocked", 18, 0x0001000F, "blocked.dat", false, false, false},
    {"webcamlog", 17, 0x0001000E, "webcamlog.dat", false, false, false},
    {"smtpprot", 21, 0x00010011, "smtpprot.dat", false, false, false},
    {"sent", 19, 0x00010010, "sent.dat", false, false, false},
    {"audit", 22, 0x00010012, "audit.dat", false, false, false},
    {"bpplog", 25, 0x00010014, "bpplog.dat", false, false, false},
};

bool equal_nocase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::span<const StandinLogKind> standin_log_kinds() { return kKinds; }

const StandinLogKind* find_log_kind(std::string_view key) {
  for (std::string_view suffix : {"\\dir", "/dir"}) {
    if (key.size() > suffix.size() && equal_nocase(key.substr(key.size() - suffix.size()), suffix)) {
      key.remove_suffix(suffix.size());
      const StandinLogKind* k = find_log_kind(key);
      return k && k->directory ? k : nullptr;
    }
  }
  for (const StandinLogKind& k : kKinds) {
    if (equal_nocase(k.key, key)) return &k;
  }
  return nullptr;
}

const StandinLogKind* find_log_kind_by_type(int type_id) {
  for (const StandinLogKind& k : kKinds) {
    if (k.type_id == type_id && !k.mac) return &k;
  }
  return nullptr;
}

std::vector<int> default_type_ids() {
  std::vector<int> ids;
  for (const StandinLogKind& k : kKinds) {
    if (!k.mac && std::find(ids.begin(), ids.end(), k.type_id) == ids.end()) ids.push_back(k.type_id);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace korv::standin
