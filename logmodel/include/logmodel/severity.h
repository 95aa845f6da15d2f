#pragma once
// Severity classes of a row's level. The class bits are also the record-type bits of the
// filter and of the Filter menu.

#include <bit>
#include <cstdint>
#include <string_view>

inline constexpr std::uint32_t FILTER_TYPE_DIAGNOSTIC = 0x01;
inline constexpr std::uint32_t FILTER_TYPE_INFORMATION = 0x02;
inline constexpr std::uint32_t FILTER_TYPE_WARNING = 0x04;
inline constexpr std::uint32_t FILTER_TYPE_ERROR = 0x08;
inline constexpr std::uint32_t FILTER_TYPE_CRITICAL = 0x10;

// Class bit of a level, read as unsigned: below 0x10000000 Diagnostic, below 0x40000000
// Information, below 0x80000000 Warning, below 0xA0000000 Error, else Critical.
constexpr std::uint32_t LevelClass(std::uint32_t level) {
  if (level >= 0xA0000000u) return FILTER_TYPE_CRITICAL;
  if (level >= 0x80000000u) return FILTER_TYPE_ERROR;
  if (level >= 0x40000000u) return FILTER_TYPE_WARNING;
  if (level >= 0x10000000u) return FILTER_TYPE_INFORMATION;
  return FILTER_TYPE_DIAGNOSTIC;
}

// The Type column's text of a row: "Corrupted" for a row of a corrupted record, else the
// name of its level's class. The line exports write it, so it must read as the list does.
constexpr std::u16string_view SeverityName(bool corrupted, std::uint32_t levelClass) {
  constexpr std::u16string_view kNames[] = {u"None", u"Diagnostic", u"Information", u"Warning", u"Error",
                                            u"Critical"};
  if (corrupted) return u"Corrupted";
  const int k = std::bit_width(levelClass);
  return k < 6 ? kNames[k] : std::u16string_view(u"None");
}
