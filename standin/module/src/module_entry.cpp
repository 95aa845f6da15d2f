// The module's exports: the information block and the entry point, and the
// module-level requests (components, directory, hand-over).
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>

#include "components.h"
#include "host_bridge.h"
#include "standin/languages.h"

namespace lvmod {
namespace {

constexpr char kModuleName[] = "KORV log viewer module";

constexpr ModuleInfoBlock MakeInfoBlock() {
    ModuleInfoBlock b{};
    for (size_t i = 0; i < sizeof kModuleInfoMagic; ++i) b.magic[i] = kModuleInfoMagic[i];
    size_t at = 0;
    auto put32 = [&b, &at](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.data[at++] = static_cast<unsigned char>(v >> (8 * i));
    };
    put32(kModuleInfoKeyVersion);
    put32(4);
    put32(kModuleVersion);
    put32(kModuleInfoKeyName);
    put32(sizeof kModuleName);
    for (char c : kModuleName) b.data[at++] = static_cast<unsigned char>(c);
    b.data_length = static_cast<uint32_t>(at);
    return b;
}

struct Component {
    uint32_t id;
    bool probe;
};

// Module state between start and stop.
struct ModuleState {
    ModuleInterface interface{nullptr, nullptr, nullptr};
    std::u16string directory;                // from 3023
    std::optional<HostLock> lock;            // the tables' lock: guards components and next_handle
    std::map<intptr_t, Component> components;
    intptr_t next_handle = 1;
};

ModuleState g_state;

size_t ArgCount(intptr_t code) {
    switch (code) {
    case kModuleReqOpenComponent: return 6;
    case kModuleReqCloseComponent: return 1;
    case kModuleReqGetFunction: return 2;
    case kModuleReqGetVersion: return 7;
    case kModuleReqSetDirectory: return 1;
    case kModuleReqReplace: return 1;
    default: return 0;
    }
}

bool IsServed(uint32_t id) { return id == kComponentSecond || id == kComponentFirst || id == kComponentProbe; }

intptr_t OpenComponent(const intptr_t* a) {
    const auto id = static_cast<uint32_t>(a[0]);
    auto* record = reinterpret_cast<ComponentRecord*>(a[5]);
    if (record == nullptr) return kResultNullPointer;
    if (!IsServed(id)) return kResultNotServed;
    const bool probe = (static_cast<uint32_t>(a[2]) & kOpenFlagProbe) != 0;
    const uint32_t language = probe ? 0 : HostLanguage();
    std::lock_guard guard(*g_state.lock);
    if (!probe) {
        // The product takes the language from the viewer's settings on every open.
        if (language != 0 && korv::standin::language_index(static_cast<uint16_t>(language)) >= 0) {
            SetCurrentLanguage(static_cast<uint16_t>(language));
        }
    }
    const intptr_t handle = g_state.next_handle++;
    g_state.components.emplace(handle, Component{id, probe});
    record->handle = handle;
    return kResultOk;
}

bool Known(intptr_t handle) {
    std::shared_lock guard(*g_state.lock);
    return g_state.components.count(handle) == 1;
}

intptr_t Dispatch(intptr_t code, const intptr_t* a) {
    switch (code) {
    case kModuleReqSetDirectory:
        if (a[0] == 0) return kResultNullPointer;
        g_state.directory = reinterpret_cast<const char16_t*>(a[0]);
        return kResultOk;
    case kModuleReqReplace:
        return kResultOk;
    case kModuleReqOpenComponent:
        return OpenComponent(a);
    case kModuleReqGetFunction:
        if (!Known(a[0])) return kResultFailed;
        if (a[1] == 0) return kResultNullPointer;
        *reinterpret_cast<ModuleRequestFn*>(a[1]) = &ComponentRequest;
        return kResultOk;
    case kModuleReqGetVersion:
        if (!Known(a[0])) return kResultFailed;
        if (a[3] == 0) return kResultNullPointer;
        *reinterpret_cast<uint32_t*>(a[3]) = kComponentVersion;
        return kResultOk;
    case kModuleReqCloseComponent: {
        std::lock_guard guard(*g_state.lock);
        return g_state.components.erase(a[0]) == 1 ? kResultOk : kResultFailed;
    }
    default:
        return kResultNotServed;
    }
}

intptr_t ModuleRequest(intptr_t code, ...) {
    const intptr_t plain = korv::CallCode(code);
    intptr_t args[kMaxCallArgs] = {};
    va_list ap;
    va_start(ap, code);
    const bool ok = korv::ReadCallArgs(code, ap, ArgCount(plain), args);
    va_end(ap);
    if (!ok) return kResultNullPointer;
    if (!g_state.lock) return kResultNotServed;  // not started
    try {
        return Dispatch(plain, args);
    } catch (...) {
        return kResultFailed;
    }
}

}  // namespace

HostLock* TableLock() { return g_state.lock ? &*g_state.lock : nullptr; }

}  // namespace lvmod

extern "C" {

__attribute__((visibility("default"))) extern const ModuleInfoBlock module_info_block;
const ModuleInfoBlock module_info_block = lvmod::MakeInfoBlock();

__attribute__((visibility("default"))) intptr_t module_init_entry(intptr_t op, intptr_t interfaceOut, intptr_t,
                                                                  intptr_t, intptr_t host, intptr_t, intptr_t) {
    using namespace lvmod;
    if (op == kModuleEntryStart) {
        if (interfaceOut == 0 || host == 0) return kResultNullPointer;
        SetHost(reinterpret_cast<HostFunction>(host));
        g_state.lock.emplace();
        g_state.interface.request = &ModuleRequest;
        *reinterpret_cast<ModuleInterface**>(interfaceOut) = &g_state.interface;
        return kResultOk;
    }
    if (op == kModuleEntryStop) {
        g_state.components.clear();
        g_state.lock.reset();
        g_state.interface.request = nullptr;
        SetHost(nullptr);
        return kResultOk;
    }
    return kResultNotServed;
}

}  // extern "C"
