// The components the stand-in module serves and their request function.
#pragma once

#include <cstdint>

#include "product/module_abi.h"

namespace lvmod {

// The module and its components share one version, which the viewer compares
// with the information block when it probes a loaded module.
inline constexpr uint32_t kModuleVersion = 0x01050008;  // 1.5.0.8
inline constexpr uint32_t kComponentVersion = kModuleVersion;

// The language of headers and cells (one per module, as the product has).
uint16_t CurrentLanguage();
void SetCurrentLanguage(uint16_t language);

class HostLock;
// The lock over the module's tables (components, columns, texts, the language): shared to look
// them up, exclusive only to open or close a component or to switch the language. Null
// before start and after stop.
HostLock* TableLock();

// The request function every component hands out (3021).
intptr_t ComponentRequest(intptr_t code, ...);

}  // namespace lvmod
