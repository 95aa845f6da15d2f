#pragma once
// Word characters of the whole-word search: letters and decimal digits by Unicode general
// category. The underscore and all punctuation are not word characters. A character outside
// the Basic Multilingual Plane arrives as two surrogate units, neither of them a word
// character.

namespace korv {

bool IsWordChar(char16_t c);

}  // namespace korv
