#include "standin/languages.h"

namespace korv::standin {

int language_index(uint16_t langid) {
  for (size_t i = 0; i < kLanguages.size(); ++i) {
    if (kLanguages[i] == langid) return static_cast<int>(i);
  }
  return -1;
}

int language_index_or_default(uint16_t langid) {
  const int i = language_index(langid);
  return i < 0 ? 0 : i;
}

}  // namespace korv::standin
