#include "product/host_services.h"

#include <atomic>
#include <cstring>

#include "host_groups.h"
#include "platform/codepage.h"
#include "product/module_loader.h"

namespace korv {
namespace {

std::atomic<uint32_t> g_language{0x0409};

struct ArgCount {
    intptr_t code;
    uint8_t count;
};

constexpr ArgCount kArgCounts[] = {
    {kHostCommit, 3}, {kHostDecommit, 1}, {kHostPageSize, 1}, {kHostPageAlloc, 3},
    {kHostPageProtect, 3}, {kHostPageFree, 1}, {kHostHeapAlloc, 2}, {kHostHeapFree, 1},
    {kHostHeapRealloc, 3}, {kHostFileOpen, 4}, {kHostFileRead, 5}, {kHostFileWrite, 5},
    {kHostFileSeek, 4}, {kHostFileClose, 1}, {kHostFileSize, 2}, {kHostFileDelete, 1},
    {kHostFindFirst, 3}, {kHostFindNext, 2}, {kHostFindClose, 1}, {kHostFileMove, 2},
    {kHostFileInfo, 2}, {kHostFileFlush, 1}, {kHostFileTruncate, 2}, {kHostTempFile, 3},
    {kHostThreadStart, 3}, {kHostThreadId, 2}, {kHostThreadWait, 2}, {kHostThreadClose, 1},
    {kHostAnsiToWide, 5}, {kHostWideToAnsi, 5}, {kHostAnsiUpper, 1}, {kHostAnsiLower, 1},
    {kHostWideUpper, 1}, {kHostWideLower, 1}, {kHostAnsiCompareI, 3}, {kHostWideCompareI, 3},
    {kHostAnsiCompareNI, 4}, {kHostWideCompareNI, 4}, {kHostAnsiToWideAlloc, 2},
    {kHostWideToAnsiAlloc, 2}, {kHostLibraryLoad, 2}, {kHostLibraryFree, 1},
    {kHostLibrarySymbol, 3}, {kHostNotServed1, 0}, {kHostNotServed2, 0}, {kHostTimeNow, 1},
    {kHostTimeToSystem, 2}, {kHostTimeToLocal, 2}, {kHostDateText, 3}, {kHostTimeText, 3},
    {kHostSettings, 3}, {kHostCapability, 1}, {kHostSemCreate, 3}, {kHostSemWait, 1},
    {kHostSemWaitTimed, 2}, {kHostSemRelease, 3}, {kHostSemDestroy, 1}, {kHostSemWaitResult, 3},
    {kHostCsCreate, 1}, {kHostCsEnter, 1}, {kHostCsLeave, 1}, {kHostCsDestroy, 1},
    {kHostCsTryEnter, 2}, {kHostSrwCreate, 1}, {kHostSrwDestroy, 1}, {kHostSrwShared, 1},
    {kHostSrwExclusive, 1}, {kHostSrwRelease, 1}, {kHostSrwTryShared, 2},
    {kHostSrwTryExclusive, 2}, {kHostEventCreate, 2}, {kHostEventCreateMode, 3},
    {kHostEventSet, 2}, {kHostEventClear, 2}, {kHostEventWait, 6}, {kHostEventDestroy, 1},
    {kHostCondCreate, 1}, {kHostCondDestroy, 1}, {kHostCondWake, 2}, {kHostCondSleep, 3},
    {kHostErrorRegister, 2}, {kHostErrorUnregister, 1},
};

bool IsForwarded(intptr_t code) { return code >= kHostForwardFirst && code <= kHostForwardLast; }

// The table by code, made once: the module calls a service several times per record.
constexpr intptr_t kCountedCodes = kHostForwardFirst;
struct ArgCountIndex {
    uint8_t count[kCountedCodes] = {};  // arguments + 1; 0 for an unknown code
    constexpr ArgCountIndex() {
        for (const ArgCount& e : kArgCounts) {
            if (e.code >= 0 && e.code < kCountedCodes) count[e.code] = static_cast<uint8_t>(e.count + 1);
        }
    }
};
constexpr ArgCountIndex kArgCountIndex;

intptr_t Settings(const intptr_t* a) {
    if (static_cast<uint32_t>(a[0]) != kSettingsKeyLanguage) return kResultNotServed;
    if (a[1] == 0) return kResultNullPointer;
    if (a[2] < 4) return kResultFailed;
    const uint32_t language = g_language.load();
    std::memcpy(host::Ptr<void>(a[1]), &language, sizeof language);
    return kResultOk;
}

// 3000..3999 reach the module in the argument-block form.
intptr_t Forward(intptr_t code, const intptr_t* block) {
    ModuleHold hold(ModuleLoader::Global());
    if (!hold) return kResultNotServed;
    return hold->Request()(code | kCallArgBlock, reinterpret_cast<intptr_t>(block));
}

}  // namespace

namespace host {
std::string PathArg(intptr_t v) {
    const auto* text = Ptr<const char16_t>(v);
    return platform::utf16_to_utf8(std::u16string_view(text));
}
}  // namespace host

std::optional<size_t> HostServiceArgCount(intptr_t code) {
    if (IsForwarded(code)) return kHostForwardArgs;
    if (code >= 0 && code < kCountedCodes && kArgCountIndex.count[code] != 0) return kArgCountIndex.count[code] - 1;
    for (const ArgCount& e : kArgCounts) {
        if (e.code == code) return e.count;  // a code past the index's range
    }
    return std::nullopt;
}

void SetHostLanguage(uint32_t language) { g_language.store(language); }
uint32_t HostLanguage() { return g_language.load(); }

intptr_t HostDispatch(intptr_t code, const intptr_t* a) {
    switch (code) {
    case kHostNotServed1:
    case kHostNotServed2:
        return kResultNotServed;
    case kHostSettings:
        return Settings(a);
    case kHostCapability:
        return a[0] == 256 || a[0] == 257 ? kResultOk : kResultNotServed;
    default:
        break;
    }
    if (IsForwarded(code)) return Forward(code, a);
    for (auto group : {host::Memory, host::Files, host::Threads, host::Text, host::Time, host::Sync,
                       host::Events}) {
        const intptr_t r = group(code, a);
        if (r != kResultNotServed) return r;
    }
    return kResultNotServed;
}

}  // namespace korv

extern "C" intptr_t HostServices(intptr_t code, ...) {
    const intptr_t plain = korv::CallCode(code);
    const auto count = korv::HostServiceArgCount(plain);
    if (!count) return kResultNotServed;
    intptr_t args[kMaxCallArgs] = {};
    va_list ap;
    va_start(ap, code);
    if ((code & kCallArgBlock) && plain >= kHostForwardFirst && plain <= kHostForwardLast) {
        // The module's own block goes on as it is, whatever its length.
        const intptr_t block = va_arg(ap, intptr_t);
        va_end(ap);
        if (block == 0) return kResultNullPointer;
        korv::ModuleHold hold(korv::ModuleLoader::Global());
        if (!hold) return kResultNotServed;
        return hold->Request()(code, block);
    }
    const bool ok = korv::ReadCallArgs(code, ap, *count, args);
    va_end(ap);
    if (!ok) return kResultNullPointer;
    return korv::HostDispatch(plain, args);
}
