#pragma once
// English language and country names of Windows language identifiers (LANGIDs), for the
// Language menu: 1033 English / United States, 1031 German / Germany, 1029 Czech / Czech
// Republic, ...

#include <cstdint>
#include <string_view>

namespace korv::platform {

struct LanguageNames {
  std::string_view language;  // English name of the language, e.g. "German"
  std::string_view country;   // English name of the country or region, e.g. "Austria"
};

// Names of `lang_id`; false (and empty names) for an identifier the table does not know.
bool lookup_language(uint16_t lang_id, LanguageNames& out);

}  // namespace korv::platform
