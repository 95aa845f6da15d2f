#pragma once
// The machine-wide registry (HKEY_LOCAL_MACHINE) of the product, kept as an
// INI file: the path in KORV_HKLM, else /etc/opt/korv/hklm.ini. Sections are
// key paths with backslashes; values are name=value, a DWORD in decimal or
// 0x hexadecimal. Key and value names compare without regard to case, as
// registry names do.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace korv::platform {

// Access mask bits of a registry open.
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;

// Whether the machine is 64-bit, asked once: x86-64 and AArch64 are.
bool MachineIs64Bit();
// access plus the 64-bit view on a 64-bit machine, unless access names a view.
std::uint32_t ProductRegistryAccess(std::uint32_t access);

// A product's registry file holds a handful of lines; a larger one is not one.
inline constexpr std::size_t kMaxRegistryFileSize = 1024 * 1024;

class MachineRegistry {
 public:
  // An empty registry: every query answers nothing.
  MachineRegistry() = default;
  // Reads path; a missing or unreadable file gives an empty registry, and so
  // does anything but a regular file of at most kMaxRegistryFileSize bytes.
  static MachineRegistry FromFile(const std::string& path);
  static MachineRegistry FromText(const std::string& text);
  // The machine's registry, read once on first use.
  static const MachineRegistry& Machine();
  static std::string MachinePath();

  // The INI file has one view, so the view bits of access change nothing.
  std::optional<std::string> QueryString(const std::string& key, const std::string& value,
                                         std::uint32_t access = kKeyRead) const;
  // A value that is not a number in range is no DWORD: nothing.
  std::optional<std::uint32_t> QueryDword(const std::string& key, const std::string& value,
                                          std::uint32_t access = kKeyRead) const;

 private:
  // Lower-cased key path and value name.
  std::map<std::string, std::map<std::string, std::string>> keys_;
};

}  // namespace korv::platform
