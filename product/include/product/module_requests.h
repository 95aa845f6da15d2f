// The viewer's one call site for the component requests: column texts,
// record decoding and languages. Every function answers the module's result
// (0 success) or 7015 without a call when there is no instance or function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "product/module_abi.h"
#include "product/held_instance.h"
#include "product/module_manager.h"

namespace korv {

// Output buffers start here and grow only by doubling on the module's request.
inline constexpr size_t kHeaderTextInitialChars = 256;
inline constexpr size_t kDecodeInitialBytes = 1024;
// The largest buffer a request starts with when its caller's block is already that large.
inline constexpr size_t kDecodeReuseBytes = 64 * 1024;
// A module that keeps asking for more gets no more than this (then failure),
// so a faulty module cannot make the viewer allocate without end.
inline constexpr size_t kHeaderTextMaxChars = size_t{1} << 20;
inline constexpr size_t kDecodeMaxBytes = size_t{64} << 20;

ModuleParamRecord MakeParamRecord(bool server, bool macVariant);

// 18008: one call with 256 characters.
intptr_t RequestHeaderText2(const ModuleInstance* instance, int32_t typeId, int32_t viewMode,
                            const ModuleParamRecord& params, std::u16string& text);
// 4032: 256 characters, doubled while the module answers 7009.
intptr_t RequestHeaderText1(const ModuleInstance* instance, int32_t typeId, int32_t viewMode,
                            std::u16string& text);

// 18007: 1024 bytes, doubled while the module answers 18002. On 0 `block`
// holds the decoded record: its length is the block's first u32 (or, for
// 0xFFFFFFFF, the NUL-terminated byte string), never more than the buffer.
intptr_t RequestDecode2(const ModuleInstance* instance, int32_t typeId, std::span<const uint8_t> payload,
                        int32_t viewMode, const ModuleParamRecord& params, std::vector<uint8_t>& block);
// 4128: a growable buffer of 1024 bytes; on 0 `block` holds its used bytes.
// The same through an instance held for a run of records: no lock per record.
intptr_t RequestDecode2(const HeldInstance& held, int32_t typeId, std::span<const uint8_t> payload,
                        int32_t viewMode, const ModuleParamRecord& params, std::vector<uint8_t>& block);
intptr_t RequestDecode1(const HeldInstance& held, int32_t typeId, uint32_t recordType, int32_t viewMode,
                        std::span<const uint8_t> payload, std::vector<uint8_t>& block);
intptr_t RequestDecode1(const ModuleInstance* instance, int32_t typeId, uint32_t recordType, int32_t viewMode,
                        std::span<const uint8_t> payload, std::vector<uint8_t>& block);

// 18009: up to 128 identifiers.
intptr_t RequestListLanguages(const ModuleInstance* instance, std::vector<uint16_t>& languages);
// 18015: `language` is preset to 1033 and stays so when the module does not answer.
intptr_t RequestGetLanguage(const ModuleInstance* instance, uint32_t& language);
// 18000.
intptr_t RequestSetLanguage(const ModuleInstance* instance, uint32_t language);

// The allocator table handed over with request 4128.
const OutputAllocator& ViewerOutputAllocator();

}  // namespace korv
