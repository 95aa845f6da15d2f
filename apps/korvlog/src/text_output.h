#pragma once
// Text lines in the locale's character set, as the text export writes them. A character the
// set cannot hold becomes '?' there; under LC_ALL=C every non-ASCII letter would vanish that
// way without a word, so the first such loss is said once on standard error.

#include <string>
#include <string_view>

namespace korv::cli {

class TextOutput {
 public:
  TextOutput();  // reads the locale's character set: call after setlocale
  // The line converted and appended to bytes.
  void Append(std::u16string_view line, std::string& bytes);
  // Only the check of Append, for output that another writer converts.
  void Check(std::u16string_view line);
  // UTF-8 output, which holds every character: Check has nothing to do.
  bool Utf8() const { return m_bUtf8; }

 private:
  // Warns once when `converted` holds more '?' than `line` did.
  void Compare(std::u16string_view line, std::string_view converted);

  bool m_bUtf8;
  bool m_bWarned = false;
  std::string m_scratch;
};

}  // namespace korv::cli
