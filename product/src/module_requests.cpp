#include "product/module_requests.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace korv {
namespace {

void* Allocate(size_t size) { return std::malloc(size > 0 ? size : 1); }
void Release(void* pointer) { std::free(pointer); }

constexpr OutputAllocator kAllocator{nullptr, &Allocate, &Release};

bool Usable(const ModuleInstance* instance) { return instance != nullptr && instance->function() != nullptr; }

std::u16string TextUpToNul(const std::vector<char16_t>& buffer) {
    size_t n = 0;
    while (n < buffer.size() && buffer[n] != u'\0') ++n;
    return std::u16string(buffer.data(), n);
}

// Frees the module's output buffer whatever happens to the request.
struct OutputBufferOwner {
    OutputBuffer buffer{nullptr, 0, 0, &kAllocator};
    ~OutputBufferOwner() {
        if (buffer.data != nullptr) kAllocator.release(buffer.data);
    }
};

}  // namespace

const OutputAllocator& ViewerOutputAllocator() { return kAllocator; }

ModuleParamRecord MakeParamRecord(bool server, bool macVariant) {
    return ModuleParamRecord{2, server ? 1u : 0u, macVariant ? 3u : 0u, macVariant ? 1u : 0u, {0, 0}};
}

intptr_t RequestHeaderText2(const ModuleInstance* instance, int32_t typeId, int32_t viewMode,
                            const ModuleParamRecord& params, std::u16string& text) {
    text.clear();
    if (!Usable(instance)) return kResultNoModule;
    std::vector<char16_t> buffer(kHeaderTextInitialChars, u'\0');
    uint32_t capacity = static_cast<uint32_t>(buffer.size());
    const intptr_t r = instance->Call(kReqHeaderText2, typeId, viewMode, buffer.data(), &capacity, &params);
    if (r == kResultOk) text = TextUpToNul(buffer);
    return r;
}

intptr_t RequestHeaderText1(const ModuleInstance* instance, int32_t typeId, int32_t viewMode,
                            std::u16string& text) {
    text.clear();
    if (!Usable(instance)) return kResultNoModule;
    std::vector<char16_t> buffer(kHeaderTextInitialChars, u'\0');
    for (;;) {
        const intptr_t r = instance->Call(kReqHeaderText1, typeId, viewMode, buffer.data(),
                                          static_cast<intptr_t>(buffer.size()));
        if (r == kResultOk) {
            text = TextUpToNul(buffer);
            return r;
        }
        if (r != kResultBufferTooSmall) return r;
        if (buffer.size() * 2 > kHeaderTextMaxChars) return kResultFailed;
        buffer.assign(buffer.size() * 2, u'\0');
    }
}

intptr_t RequestDecode2(const HeldInstance& held, int32_t typeId, std::span<const uint8_t> payload,
                        int32_t viewMode, const ModuleParamRecord& params, std::vector<uint8_t>& block) {
    block.clear();
    if (!held) return kResultNoModule;
    // The caller's block is the buffer: a lane decoding record after record allocates nothing
    // once its block has grown to the records' size. (One huge record does not make every
    // later request clear a huge buffer.)
    std::vector<uint8_t>& buffer = block;
    buffer.resize(std::clamp(buffer.capacity(), kDecodeInitialBytes, kDecodeReuseBytes));
    for (;;) {
        std::memset(buffer.data(), 0, kDecodedHeaderSize);
        const intptr_t r = held.Call(kReqDecode2, typeId, payload.data(), static_cast<intptr_t>(payload.size()),
                                     viewMode, buffer.data(), static_cast<intptr_t>(buffer.size()), &params);
        if (r == kResultDecodeTooSmall) {
            if (buffer.size() * 2 > kDecodeMaxBytes) break;
            buffer.assign(buffer.size() * 2, 0);
            continue;
        }
        if (r != kResultOk) {
            block.clear();
            return r;
        }
        uint32_t length;
        std::memcpy(&length, buffer.data(), sizeof length);
        size_t size = length;
        if (length == kDecodedLengthIsText) {
            size = ::strnlen(reinterpret_cast<const char*>(buffer.data()), buffer.size());
        } else if (size > buffer.size()) {
            break;  // claims more than it was given room for
        }
        buffer.resize(size);
        return kResultOk;
    }
    block.clear();
    return kResultFailed;
}

intptr_t RequestDecode1(const HeldInstance& held, int32_t typeId, uint32_t recordType, int32_t viewMode,
                        std::span<const uint8_t> payload, std::vector<uint8_t>& block) {
    block.clear();
    if (!held) return kResultNoModule;
    OutputBufferOwner out;
    out.buffer.data = kAllocator.allocate(kDecodeInitialBytes);
    if (out.buffer.data == nullptr) return kResultNoMemory;
    out.buffer.capacity = static_cast<uint32_t>(kDecodeInitialBytes);
    const intptr_t r = held.Call(kReqDecode1, typeId, recordType, viewMode, payload.data(),
                                 static_cast<intptr_t>(payload.size()), &out.buffer);
    if (r != kResultOk) return r;
    if (out.buffer.data == nullptr || out.buffer.used > out.buffer.capacity) return kResultFailed;
    const auto* data = static_cast<const uint8_t*>(out.buffer.data);
    block.assign(data, data + out.buffer.used);
    return kResultOk;
}

intptr_t RequestDecode2(const ModuleInstance* instance, int32_t typeId, std::span<const uint8_t> payload,
                        int32_t viewMode, const ModuleParamRecord& params, std::vector<uint8_t>& block) {
    block.clear();
    if (!Usable(instance)) return kResultNoModule;
    return RequestDecode2(HeldInstance(instance), typeId, payload, viewMode, params, block);
}

intptr_t RequestDecode1(const ModuleInstance* instance, int32_t typeId, uint32_t recordType, int32_t viewMode,
                        std::span<const uint8_t> payload, std::vector<uint8_t>& block) {
    block.clear();
    if (!Usable(instance)) return kResultNoModule;
    return RequestDecode1(HeldInstance(instance), typeId, recordType, viewMode, payload, block);
}

intptr_t RequestListLanguages(const ModuleInstance* instance, std::vector<uint16_t>& languages) {
    languages.clear();
    if (!Usable(instance)) return kResultNoModule;
    uint16_t buffer[LANG_LIST_MAX] = {};
    uint32_t count = LANG_LIST_MAX;
    const intptr_t r = instance->Call(MODULE_CMD_LIST_LANGUAGES, buffer, &count);
    if (r == kResultOk) languages.assign(buffer, buffer + std::min<size_t>(count, LANG_LIST_MAX));
    return r;
}

intptr_t RequestGetLanguage(const ModuleInstance* instance, uint32_t& language) {
    language = 1033;
    if (!Usable(instance)) return kResultNoModule;
    uint32_t answer = 1033;
    const intptr_t r = instance->Call(MODULE_CMD_GET_LANGUAGE, &answer);
    if (r == kResultOk) language = answer;
    return r;
}

intptr_t RequestSetLanguage(const ModuleInstance* instance, uint32_t language) {
    if (!Usable(instance)) return kResultNoModule;
    return instance->Call(MODULE_CMD_SET_LANGUAGE, static_cast<intptr_t>(language));
}

}  // namespace korv
