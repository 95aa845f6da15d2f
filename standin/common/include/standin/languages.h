// The languages the stand-in module serves. Identifiers are Windows LANGIDs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korv::standin {

inline constexpr uint16_t kLangEnglishUs = 1033;  // the default
inline constexpr uint16_t kLangGerman = 1031;
inline constexpr uint16_t kLangCzech = 1029;

inline constexpr std::array<uint16_t, 3> kLanguages = {kLangEnglishUs, kLangGerman, kLangCzech};

// 0 English, 1 German, 2 Czech; -1 for a language that is not served.
int language_index(uint16_t langid);

// Index of a served language, English for any other.
int language_index_or_default(uint16_t langid);

}  // namespace korv::standin
