// The host function the viewer hands to the module: the operating system
// through the viewer. Codes and argument lists are those of module_abi.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "product/module_abi.h"

// Serves one host service; callable from any thread the module uses.
extern "C" intptr_t HostServices(intptr_t code, ...);

namespace korv {

// Serves `code` (without bit 31) with its arguments already read.
intptr_t HostDispatch(intptr_t code, const intptr_t* args);

// Number of arguments the service takes; nullopt for an unknown code.
std::optional<size_t> HostServiceArgCount(intptr_t code);

// The user-interface language answered to the settings query (initially 0x0409).
void SetHostLanguage(uint32_t language);
uint32_t HostLanguage();

}  // namespace korv
