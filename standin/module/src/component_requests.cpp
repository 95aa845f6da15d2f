// Column descriptions, record decoding and languages for components 18 and 2.
#include <atomic>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <span>
#include <string>
#include <vector>

#include "components.h"
#include "decoded_block.h"
#include "host_bridge.h"
#include "standin/cell_text.h"
#include "standin/columns.h"
#include "standin/languages.h"
#include "standin/payload.h"

namespace lvmod {
namespace {

std::atomic<uint16_t> g_language{korv::standin::kLangEnglishUs};

size_t ArgCount(intptr_t code) {
    switch (code) {
    case kComponentReqHandOver: return 1;
    case kComponentReqReuse: return 0;
    case kReqHeaderText1: return 4;
    case kReqHeaderText2: return 5;
    case kReqDecode1: return 6;
    case kReqDecode2: return 7;
    case MODULE_CMD_LIST_LANGUAGES: return 2;
    case MODULE_CMD_GET_LANGUAGE: return 1;
    case MODULE_CMD_SET_LANGUAGE: return 1;
    default: return 0;
    }
}

// The tables held shared for a lookup; nothing when the module is not started.
class TablesShared {
public:
    TablesShared() : m_lock(TableLock()) {
        if (m_lock != nullptr) m_lock->lock_shared();
    }
    ~TablesShared() {
        if (m_lock != nullptr) m_lock->unlock_shared();
    }
    TablesShared(const TablesShared&) = delete;
    TablesShared& operator=(const TablesShared&) = delete;

private:
    HostLock* m_lock;
};

// Copies a header text and its NUL when it fits `capacity` characters.
bool CopyText(const std::u16string& text, char16_t* buffer, size_t capacity) {
    if (text.size() + 1 > capacity) return false;
    std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
    buffer[text.size()] = u'\0';
    return true;
}

intptr_t HeaderText(const intptr_t* a, bool second) {
    const auto typeId = static_cast<int>(a[0]);
    const auto viewMode = static_cast<int>(a[1]);
    auto* buffer = reinterpret_cast<char16_t*>(a[2]);
    if (buffer == nullptr) return kResultNullPointer;
    std::u16string text;
    {
        const TablesShared tables;
        text = korv::standin::header_text(typeId, viewMode, CurrentLanguage());
    }
    if (text.empty()) return kResultFailed;
    if (second) {
        auto* capacity = reinterpret_cast<uint32_t*>(a[3]);
        if (capacity == nullptr) return kResultNullPointer;
        if (!CopyText(text, buffer, *capacity)) {
            *capacity = static_cast<uint32_t>(text.size() + 1);
            return kResultBufferTooSmall;
        }
        return kResultOk;
    }
    if (a[3] <= 0) return kResultBufferTooSmall;
    return CopyText(text, buffer, static_cast<size_t>(a[3])) ? kResultOk : kResultBufferTooSmall;
}

// The decoded block of a payload, or a failure code for a payload that
// breaks the format or a kind this module does not know.
intptr_t Decode(int typeId, int viewMode, const void* payload, intptr_t length, Bytes& block) {
    if (payload == nullptr && length != 0) return kResultNullPointer;
    if (length < 0) return kResultFailed;
    size_t columnCount;
    uint16_t language;
    {
        // The lookups only: formatting the cells below takes no lock.
        const TablesShared tables;
        columnCount = korv::standin::data_columns(typeId, viewMode).size();
        language = CurrentLanguage();
    }
    if (columnCount == 0) return kResultFailed;
    std::vector<korv::standin::RowView> rows;
    const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(payload), static_cast<size_t>(length));
    if (korv::standin::decode_payload(bytes, &rows) != korv::standin::PayloadResult::Ok) return kResultFailed;
    block = BuildDecodedBlock(rows, columnCount, language, &HostAppendTimeText);
    return kResultOk;
}

intptr_t Decode2(const intptr_t* a) {
    auto* buffer = reinterpret_cast<uint8_t*>(a[4]);
    if (buffer == nullptr) return kResultNullPointer;
    Bytes block;
    const intptr_t r = Decode(static_cast<int>(a[0]), static_cast<int>(a[3]), reinterpret_cast<const void*>(a[1]),
                              a[2], block);
    if (r != kResultOk) return r;
    if (a[5] < 0 || block.size() > static_cast<size_t>(a[5])) return kResultDecodeTooSmall;
    std::memcpy(buffer, block.data(), block.size());
    return kResultOk;
}

// The first interface grows the caller's buffer through its allocator table.
intptr_t Decode1(const intptr_t* a) {
    auto* out = reinterpret_cast<OutputBuffer*>(a[5]);
    if (out == nullptr || out->allocator == nullptr) return kResultNullPointer;
    Bytes block;
    const intptr_t r = Decode(static_cast<int>(a[0]), static_cast<int>(a[2]), reinterpret_cast<const void*>(a[3]),
                              a[4], block);
    if (r != kResultOk) return r;
    if (out->data == nullptr || block.size() > out->capacity) {
        size_t capacity = out->capacity > 0 ? out->capacity : 1024;
        while (capacity < block.size()) capacity *= 2;
        void* grown = out->allocator->allocate(capacity);
        if (grown == nullptr) return kResultNoMemory;
        if (out->data != nullptr) out->allocator->release(out->data);
        out->data = grown;
        out->capacity = static_cast<uint32_t>(capacity);
    }
    std::memcpy(out->data, block.data(), block.size());
    out->used = static_cast<uint32_t>(block.size());
    return kResultOk;
}

intptr_t ListLanguages(const intptr_t* a) {
    auto* buffer = reinterpret_cast<uint16_t*>(a[0]);
    auto* count = reinterpret_cast<uint32_t*>(a[1]);
    if (buffer == nullptr || count == nullptr) return kResultNullPointer;
    const size_t n = std::min<size_t>(*count, korv::standin::kLanguages.size());
    std::copy_n(korv::standin::kLanguages.begin(), n, buffer);
    *count = static_cast<uint32_t>(n);
    return kResultOk;
}

intptr_t Dispatch(intptr_t code, const intptr_t* a) {
    switch (code) {
    case kComponentReqHandOver:
    case kComponentReqReuse:
        return kResultOk;
    case kReqHeaderText1:
        return HeaderText(a, false);
    case kReqHeaderText2:
        return HeaderText(a, true);
    case kReqDecode1:
        return Decode1(a);
    case kReqDecode2:
        return Decode2(a);
    case MODULE_CMD_LIST_LANGUAGES:
        return ListLanguages(a);
    case MODULE_CMD_GET_LANGUAGE:
        if (a[0] == 0) return kResultNullPointer;
        *reinterpret_cast<uint32_t*>(a[0]) = CurrentLanguage();
        return kResultOk;
    case MODULE_CMD_SET_LANGUAGE: {
        if (korv::standin::language_index(static_cast<uint16_t>(a[0])) < 0 || a[0] > 0xFFFF) return kResultFailed;
        std::unique_lock<HostLock> tables;
        if (HostLock* lock = TableLock()) tables = std::unique_lock(*lock);
        SetCurrentLanguage(static_cast<uint16_t>(a[0]));
        return kResultOk;
    }
    default:
        return kResultNotServed;
    }
}

}  // namespace

uint16_t CurrentLanguage() { return g_language.load(); }
void SetCurrentLanguage(uint16_t language) { g_language.store(language); }

intptr_t ComponentRequest(intptr_t code, ...) {
    const intptr_t plain = korv::CallCode(code);
    intptr_t args[kMaxCallArgs] = {};
    va_list ap;
    va_start(ap, code);
    const bool ok = korv::ReadCallArgs(code, ap, ArgCount(plain), args);
    va_end(ap);
    if (!ok) return kResultNullPointer;
    try {
        return Dispatch(plain, args);
    } catch (...) {
        // Nothing may unwind into the viewer.
        return kResultFailed;
    }
}

}  // namespace lvmod
