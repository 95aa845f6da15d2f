// The machine registry's INI text in any form. Whatever comes before, a
// well-formed section appended at the end must still be read exactly, and
// names must match without regard to case.
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "platform/machine_registry.h"

namespace pf = korv::platform;

namespace {

constexpr const char kInfoKey[] = "Software\\KORV\\KORV Security\\CurrentVersion\\Info";

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const pf::MachineRegistry registry = pf::MachineRegistry::FromText(text);

  for (const char* name : {"AppDataDir", "ProductServer"}) {
    const std::optional<std::string> value = registry.QueryString(kInfoKey, name);
    KORV_FUZZ_CHECK(value == registry.QueryString(upper(kInfoKey), upper(name)));
    if (value && !value->empty()) {
      KORV_FUZZ_CHECK(!is_blank(value->front()) && !is_blank(value->back()));
      KORV_FUZZ_CHECK(value->find('\n') == std::string::npos);
    }
    const std::optional<std::uint32_t> dword = registry.QueryDword(kInfoKey, name);
    if (dword) KORV_FUZZ_CHECK(value && !value->empty() && (*value)[0] != '-');
  }

  const pf::MachineRegistry probed =
      pf::MachineRegistry::FromText(text + "\n[Fuzz\\Probe]\n Name = 0x10 \nText=a=b\nBig=4294967296\n");
  KORV_FUZZ_CHECK(probed.QueryDword("fuzz\\probe", "NAME") == std::optional<std::uint32_t>(16));
  KORV_FUZZ_CHECK(probed.QueryString("FUZZ\\PROBE", "text") == std::optional<std::string>("a=b"));
  KORV_FUZZ_CHECK(!probed.QueryDword("Fuzz\\Probe", "Big").has_value());
  return 0;
}
