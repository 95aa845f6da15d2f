#include "platform/langid.h"

#include <algorithm>
#include <array>

namespace korv::platform {
namespace {

struct Entry {
  uint16_t id;
  std::string_view language;
  std::string_view country;
};

// Sorted by identifier for the binary search below.
constexpr std::array kTable = std::to_array<Entry>({
    {1025, "Arabic", "Saudi Arabia"},
    {1026, "Bulgarian", "Bulgaria"},
    {1027, "Catalan", "Spain"},
    {1028, "Chinese (Traditional)", "Taiwan"},
    {1029, "Czech", "Czech Republic"},
    {1030, "Danish", "Denmark"},
    {1031, "German", "Germany"},
    {1032, "Greek", "Greece"},
    {1033, "English", "United States"},
    {1034, "Spanish", "Spain"},
    {1035, "Finnish", "Finland"},
    {1036, "French", "France"},
    {1037, "Hebrew", "Israel"},
    {1038, "Hungarian", "Hungary"},
    {1039, "Icelandic", "Iceland"},
    {1040, "Italian", "Italy"},
    {1041, "Japanese", "Japan"},
    {1042, "Korean", "Korea"},
    {1043, "Dutch", "Netherlands"},
    {1044, "Norwegian (Bokmal)", "Norway"},
    {1045, "Polish", "Poland"},
    {1046, "Portuguese", "Brazil"},
    {1048, "Romanian", "Romania"},
    {1049, "Russian", "Russia"},
    {1050, "Croatian", "Croatia"},
    {1051, "Slovak", "Slovakia"},
    {1053, "Swedish", "Sweden"},
    {1054, "Thai", "Thailand"},
    {1055, "Turkish", "Turkey"},
    {1057, "Indonesian", "Indonesia"},
    {1058, "Ukrainian", "Ukraine"},
    {1059, "Belarusian", "Belarus"},
    {1060, "Slovenian", "Slovenia"},
    {1061, "Estonian", "Estonia"},
    {1062, "Latvian", "Latvia"},
    {1063, "Lithuanian", "Lithuania"},
    {1065, "Persian", "Iran"},
    {1066, "Vietnamese", "Vietnam"},
    {1068, "Azerbaijani", "Azerbaijan"},
    {1071, "Macedonian", "North Macedonia"},
    {1079, "Georgian", "Georgia"},
    {1081, "Hindi", "India"},
    {1086, "Malay", "Malaysia"},
    {1087, "Kazakh", "Kazakhstan"},
    {1091, "Uzbek (Latin)", "Uzbekistan"},
    {2052, "Chinese (Simplified)", "China"},
    {2055, "German", "Switzerland"},
    {2057, "English", "United Kingdom"},
    {2058, "Spanish", "Mexico"},
    {2060, "French", "Belgium"},
    {2064, "Italian", "Switzerland"},
    {2067, "Dutch", "Belgium"},
    {2070, "Portuguese", "Portugal"},
    {2074, "Serbian (Latin)", "Serbia"},
    {3076, "Chinese (Traditional)", "Hong Kong SAR"},
    {3079, "German", "Austria"},
    {3081, "English", "Australia"},
    {3082, "Spanish", "Spain"},
    {3084, "French", "Canada"},
    {3098, "Serbian (Cyrillic)", "Serbia"},
    {4105, "English", "Canada"},
    {4108, "French", "Switzerland"},
    {5129, "English", "New Zealand"},
    {11274, "Spanish", "Argentina"},
});

static_assert(std::is_sorted(kTable.begin(), kTable.end(),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

}  // namespace

bool lookup_language(uint16_t lang_id, LanguageNames& out) {
  const auto it = std::lower_bound(kTable.begin(), kTable.end(), lang_id,
                                   [](const Entry& e, uint16_t id) { return e.id < id; });
  if (it == kTable.end() || it->id != lang_id) {
    out = {};
    return false;
  }
  out = {it->language, it->country};
  return true;
}

}  // namespace korv::platform
