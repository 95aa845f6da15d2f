// A purpose-built module for the loader tests. FAKE_VARIANT picks one way to
// misbehave; the good variant also has a few kinds that test the viewer's
// buffer rules and block checks.
#include <cstring>
#include <string>
#include <vector>

#include "product/module_abi.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

#define FAKE_GOOD 0
#define FAKE_REFUSE_START 1
#define FAKE_NO_ENTRY 2
#define FAKE_NO_INFO 3
#define FAKE_LEN4000 4
#define FAKE_REFUSE_INSTALL 5
#define FAKE_REFUSE_REPLACE 6

namespace {

constexpr uint32_t kVersion = 7;
// The test host's code that the module calls while it answers 3039.
constexpr intptr_t kTestHostSignal = 9000;

HostFunction g_host = nullptr;
[[maybe_unused]] ModuleInterface g_interface{nullptr, nullptr, nullptr};
std::vector<size_t> g_seen;  // header capacities asked with, one component user at a time
intptr_t g_nextHandle = 1;

intptr_t Arg(intptr_t code, va_list ap, size_t count, intptr_t* out) {
    return korv::ReadCallArgs(code, ap, count, out) ? 1 : 0;
}

// Header: type 1 grows until 2048 characters and lists the capacities seen;
// type 99 always asks for more. Decode: type 98 gives a block whose second
// row lies outside it; type 99 always asks for more.
intptr_t Component(intptr_t code, ...) {
    intptr_t a[kMaxCallArgs] = {};
    va_list ap;
    va_start(ap, code);
    const intptr_t plain = korv::CallCode(code);
    const size_t n = plain == kReqHeaderText1 ? 4 : plain == kReqDecode2 ? 7 : plain == kComponentReqHandOver ? 1 : 0;
    Arg(code, ap, n, a);
    va_end(ap);
    switch (plain) {
    case kComponentReqHandOver:
        return FAKE_VARIANT == FAKE_REFUSE_INSTALL ? 5 : kResultOk;
    case kComponentReqReuse:
        return kResultOk;
    case kReqHeaderText1: {
        if (a[0] == 1 && a[3] == 256) g_seen.clear();
        g_seen.push_back(static_cast<size_t>(a[3]));
        if (a[0] == 99 || a[3] < 2048) return kResultBufferTooSmall;
        std::u16string text;
        for (size_t s : g_seen) {
            if (!text.empty()) text += u',';
            for (char c : "C=" + std::to_string(s)) text += static_cast<char16_t>(c);
        }
        auto* out = reinterpret_cast<char16_t*>(a[2]);
        std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(char16_t));
        return kResultOk;
    }
    case kReqDecode2: {
        if (a[0] == 99) return kResultDecodeTooSmall;
        // 16 header + 2 row offsets + row {level, cell offset} + "A\0".
        const uint32_t block[] = {40, 0, 1, 2, 24, 0x7FFFFFF0u, 0x40000000u, 8, 0x41, 0};
        if (static_cast<size_t>(a[5]) < 40) return kResultDecodeTooSmall;
        std::memcpy(reinterpret_cast<void*>(a[4]), block, 40);
        return kResultOk;
    }
    default:
        return kResultNotServed;
    }
}

[[maybe_unused]] intptr_t Module(intptr_t code, ...) {
    intptr_t a[kMaxCallArgs] = {};
    va_list ap;
    va_start(ap, code);
    const intptr_t plain = korv::CallCode(code);
    const size_t n = plain == kModuleReqOpenComponent ? 6 : plain == kModuleReqGetVersion ? 7
                     : plain == kModuleReqGetFunction ? 2 : 1;
    Arg(code, ap, n, a);
    va_end(ap);
    switch (plain) {
    case kModuleReqReplace:
        if (g_host != nullptr) g_host(kTestHostSignal);
        return FAKE_VARIANT == FAKE_REFUSE_REPLACE ? 9 : kResultOk;
    case kModuleReqSetDirectory:
        return kResultOk;
    case kModuleReqOpenComponent:
        reinterpret_cast<ComponentRecord*>(a[5])->handle = g_nextHandle++;
        return kResultOk;
    case kModuleReqGetFunction:
        *reinterpret_cast<ModuleRequestFn*>(a[1]) = &Component;
        return kResultOk;
    case kModuleReqGetVersion:
        *reinterpret_cast<uint32_t*>(a[3]) = kVersion;
        return kResultOk;
    case kModuleReqCloseComponent:
        return kResultOk;
    default:
        return kResultNotServed;
    }
}

constexpr ModuleInfoBlock MakeBlock() {
    ModuleInfoBlock b{};
    for (size_t i = 0; i < sizeof kModuleInfoMagic; ++i) b.magic[i] = kModuleInfoMagic[i];
    const unsigned char data[] = {1, 0, 0, 0, 4, 0, 0, 0, kVersion, 0, 0, 0,
                                  2, 0, 0, 0, 5, 0, 0, 0, 'F', 'a', 'k', 'e', 0};
    for (size_t i = 0; i < sizeof data; ++i) b.data[i] = data[i];
    b.data_length = FAKE_VARIANT == FAKE_LEN4000 ? 4000 : sizeof data;
    return b;
}

}  // namespace

#if FAKE_VARIANT != FAKE_NO_INFO
FAKE_EXPORT const ModuleInfoBlock module_info_block;
const ModuleInfoBlock module_info_block = MakeBlock();
#endif

#if FAKE_VARIANT != FAKE_NO_ENTRY
FAKE_EXPORT intptr_t module_init_entry(intptr_t op, intptr_t interfaceOut, intptr_t, intptr_t, intptr_t host,
                                       intptr_t, intptr_t) {
    if (op == kModuleEntryStart) {
        if (FAKE_VARIANT == FAKE_REFUSE_START) return 1;
        g_host = reinterpret_cast<HostFunction>(host);
        g_interface.request = &Module;
        *reinterpret_cast<ModuleInterface**>(interfaceOut) = &g_interface;
        return kResultOk;
    }
    g_host = nullptr;
    return kResultOk;
}
#endif
