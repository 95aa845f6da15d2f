#include "log_kind_reply.h"

#include <cstring>
#include <string_view>

namespace korv::standin {
namespace {

struct KindName {
  std::int32_t type_id;
  std::string_view name;
  std::string_view display;
};

// Every log kind of the viewer's table except the MAC-only variants, which
// share their type ids with these.
constexpr KindName kKinds[] = {
    {12, "srvondemand", "Server scan"},     {3, "escan", "Computer scan"},
    {1, "virlog", "Detections"},            {2, "warnlog", "Events"},
    {5, "spamlog", "Antispam protection"},  {6, "greylistlog", "Grey list"},
    {7, "hipslog", "Hips"},                 {8, "parentallog", "Parental control"},
    {9, "devctrllog", "Device control"},    {10, "webctllog", "Web control"},
    {11, "urllog", "Filtered websites"},    {4, "epfwlog", "Network protection"},
    {15, "mailserver", "Mailserver protection"}, {18, "blocked", "Blocked files"},
    {17, "webcamlog", "Webcam protection"}, {21, "smtpprot", "SMTP protection"},
    {19, "sent", "Sent files"},             {22, "audit", "Audit"},
    {25, "bpplog", "BP protection"},
};

// The service value the stand-in reports: non-zero and distinct per kind.
constexpr std::int32_t kServiceValueBase = 0x1000;

void Put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// ASCII into UTF-16LE, NUL-terminated within units.
void PutText(std::uint8_t* p, std::string_view text, std::size_t units) {
  for (std::size_t i = 0; i < text.size() && i + 1 < units; ++i) {
    p[2 * i] = static_cast<std::uint8_t>(text[i]);
    p[2 * i + 1] = 0;
  }
}

}  // namespace

std::vector<std::pair<std::int32_t, std::int32_t>> DefaultLogKinds() {
  std::vector<std::pair<std::int32_t, std::int32_t>> kinds;
  for (const KindName& k : kKinds) kinds.emplace_back(k.type_id, kServiceValueBase + k.type_id);
  return kinds;
}

std::vector<std::uint8_t> BuildLogKindReply(
    const std::vector<std::pair<std::int32_t, std::int32_t>>& kinds, std::uint32_t count_override) {
  std::vector<std::uint8_t> reply(12 + kinds.size() * kLogKindEntrySize, 0);
  Put32(reply.data() + 8, count_override != 0 ? count_override
                                              : static_cast<std::uint32_t>(kinds.size()));
  std::uint8_t* entry = reply.data() + 12;
  for (const auto& [type_id, value] : kinds) {
    Put32(entry + 0, static_cast<std::uint32_t>(type_id));
    Put32(entry + 4, static_cast<std::uint32_t>(value));
    for (const KindName& k : kKinds) {
      if (k.type_id != type_id) continue;
      PutText(entry + 12, k.name, 16);
      PutText(entry + 44, k.display, 64);
      break;
    }
    entry += kLogKindEntrySize;
  }
  return reply;
}

}  // namespace korv::standin
