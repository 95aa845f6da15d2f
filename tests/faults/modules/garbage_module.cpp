// A module that answers with damaged blocks, for the fault tests. Built as lvmod_32.so in a
// directory of its own, so the ordinary module search finds it.
//
// The first payload byte of a record picks the damage of its decoded block (GarbageKind in
// garbage_kinds.h); type id 90 gets a header text without a terminating NUL.
#include <cstring>
#include <vector>

#include "../garbage_kinds.h"
#include "product/module_abi.h"

#define GARBAGE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kVersion = 7;
ModuleInterface g_interface{nullptr, nullptr, nullptr};
intptr_t g_nextHandle = 1;

// Writes `words` at the start of the viewer's buffer, or asks for more room.
intptr_t Answer(intptr_t buffer, intptr_t capacity, const std::vector<uint32_t>& words,
                size_t bytes) {
    if (static_cast<size_t>(capacity) < bytes) return kResultDecodeTooSmall;
    std::memcpy(reinterpret_cast<void*>(buffer), words.data(), bytes);
    return kResultOk;
}

// 16 header bytes, one row offset (20), then the row: level, two cell offsets, "A\0B\0".
std::vector<uint32_t> GoodBlock() { return {40, 0, 2, 1, 20, 0x40000000u, 12, 16, 0x41, 0x42}; }

intptr_t Decode(const uint8_t* payload, size_t length, intptr_t buffer, intptr_t capacity) {
    using namespace korv::test;
    const auto kind = static_cast<GarbageKind>(length > 0 ? payload[0] : 0);
    std::vector<uint32_t> b = GoodBlock();
    size_t bytes = 40;
    switch (kind) {
    case GarbageKind::good:
        break;
    case GarbageKind::row_offset_outside:
        b[4] = 0x7FFFFFF0u;
        break;
    case GarbageKind::cell_offsets_huge:
        b[2] = 0xFFFFFFFFu;
        b[6] = 0xFFFFFFFFu;
        b[7] = 0x80000000u;
        break;
    case GarbageKind::row_count_huge:
        b[3] = 0xFFFFFFFFu;
        break;
    case GarbageKind::length_beyond_buffer:
        b[0] = 0xFFFFFFF0u;
        break;
    case GarbageKind::text_without_nul:
        // The second cell's text runs to the block's end with no NUL.
        b[9] = 0x00430043;
        b[0] = 40;
        break;
    case GarbageKind::always_too_small:
        return kResultDecodeTooSmall;
    case GarbageKind::shorter_than_header:
        b[0] = 6;
        break;
    case GarbageKind::level_half_outside:
        b[4] = 38;  // a row whose level word would end 2 bytes past the block
        break;
    case GarbageKind::failure:
        return kResultFailed;
    }
    return Answer(buffer, capacity, b, bytes);
}

intptr_t Component(intptr_t code, ...) {
    intptr_t a[kMaxCallArgs] = {};
    va_list ap;
    va_start(ap, code);
    const intptr_t plain = korv::CallCode(code);
    const size_t n = plain == kReqHeaderText2 ? 5 : plain == kReqDecode2 ? 7 : plain == kComponentReqHandOver ? 1 : 0;
    korv::ReadCallArgs(code, ap, n, a);
    va_end(ap);
    switch (plain) {
    case kComponentReqHandOver:
    case kComponentReqReuse:
        return kResultOk;
    case kReqHeaderText2: {
        auto* out = reinterpret_cast<char16_t*>(a[2]);
        const uint32_t capacity = *reinterpret_cast<uint32_t*>(a[3]);
        if (a[0] == korv::test::kGarbageHeaderType) {
            for (uint32_t i = 0; i < capacity; ++i) out[i] = u'X';  // no NUL anywhere
            return kResultOk;
        }
        // View mode 1 has the viewer's time column first; view mode 3 only the data columns.
        const char16_t list[] = u"Time=100,First=100,Second=100";
        const char16_t record[] = u"First=100,Second=100";
        const char16_t* text = a[1] == 1 ? list : record;
        const size_t units = a[1] == 1 ? sizeof list / 2 : sizeof record / 2;
        if (capacity < units) return kResultBufferTooSmall;
        std::memcpy(out, text, units * 2);
        return kResultOk;
    }
    case kReqDecode2:
        return Decode(reinterpret_cast<const uint8_t*>(a[1]), static_cast<size_t>(a[2]), a[4], a[5]);
    default:
        return kResultNotServed;
    }
}

intptr_t Module(intptr_t code, ...) {
    intptr_t a[kMaxCallArgs] = {};
    va_list ap;
    va_start(ap, code);
    const intptr_t plain = korv::CallCode(code);
    const size_t n = plain == kModuleReqOpenComponent ? 6 : plain == kModuleReqGetVersion ? 7
                     : plain == kModuleReqGetFunction ? 2 : 1;
    korv::ReadCallArgs(code, ap, n, a);
    va_end(ap);
    switch (plain) {
    case kModuleReqReplace:
    case kModuleReqSetDirectory:
    case kModuleReqCloseComponent:
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
    default:
        return kResultNotServed;
    }
}

constexpr ModuleInfoBlock MakeBlock() {
    ModuleInfoBlock b{};
    for (size_t i = 0; i < sizeof kModuleInfoMagic; ++i) b.magic[i] = kModuleInfoMagic[i];
    const unsigned char data[] = {1, 0, 0, 0, 4, 0, 0, 0, kVersion, 0, 0, 0,
                                  2, 0, 0, 0, 8, 0, 0, 0, 'G', 'a', 'r', 'b', 'a', 'g', 'e', 0};
    for (size_t i = 0; i < sizeof data; ++i) b.data[i] = data[i];
    b.data_length = sizeof data;
    return b;
}

}  // namespace

GARBAGE_EXPORT const ModuleInfoBlock module_info_block;
const ModuleInfoBlock module_info_block = MakeBlock();

GARBAGE_EXPORT intptr_t module_init_entry(intptr_t op, intptr_t interfaceOut, intptr_t, intptr_t, intptr_t,
                                          intptr_t, intptr_t) {
    if (op == kModuleEntryStart) {
        g_interface.request = &Module;
        *reinterpret_cast<ModuleInterface**>(interfaceOut) = &g_interface;
    }
    return kResultOk;
}
