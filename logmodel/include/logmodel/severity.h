#pragma once
// Severity classes of a row's level. The class bits are also the record-type bits of the
// filter and of the Filter menu.

#include <cstdint>

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
