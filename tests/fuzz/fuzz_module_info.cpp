// The module's information block, read from bytes the module exports: magic,
// data length at 0x10, entries (u32 key, u32 length, value) from 0x14. The
// version and the name come only from entries wholly inside the data.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "product/module_loader.h"

namespace {

std::uint32_t load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The version entry as a plain walk of the chain finds it, or 0.
std::uint32_t expected_version(const std::vector<std::uint8_t>& b) {
  if (b.size() < kModuleInfoDataOffset) return 0;
  for (std::size_t i = 0; i < sizeof kModuleInfoMagic; ++i)
    if (b[i] != static_cast<std::uint8_t>(kModuleInfoMagic[i])) return 0;
  const std::uint64_t length = load32(b.data() + 0x10);
  if (length > kModuleInfoMaxData || length > b.size() - kModuleInfoDataOffset) return 0;
  const std::uint8_t* data = b.data() + kModuleInfoDataOffset;
  for (std::uint64_t pos = 0; pos + 8 <= length;) {
    const std::uint32_t key = load32(data + pos);
    const std::uint64_t l = load32(data + pos + 4);
    if (pos + 8 + l > length) return 0;
    if (key == kModuleInfoKeyVersion) return l == 4 ? load32(data + pos + 8) : 0;
    pos += 8 + l;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> block(data, data + size);  // exact size: overreads are reported
  std::uint32_t version = 0xDEADBEEF;
  char16_t name[kModuleNameChars];
  for (char16_t& c : name) c = u'x';
  korv::ReadModuleInfo(block.data(), block.size(), version, name);

  KORV_FUZZ_CHECK(version == expected_version(block));
  // The name is always terminated inside its array.
  bool terminated = false;
  for (char16_t c : name) terminated = terminated || c == 0;
  KORV_FUZZ_CHECK(terminated);
  if (expected_version(block) == 0 && (size < kModuleInfoDataOffset || block[0] != 'K')) KORV_FUZZ_CHECK(name[0] == 0);
  return 0;
}
