// The binary contract between the viewer and the product module lvmod_32.so.
//
// Both sides include this header: the viewer's module layer (product/) and
// any module built for it (the stand-in module in standin/module). Nothing
// here may depend on either side's internals; it is layouts, codes and the
// argument lists of every call that crosses the boundary.
//
// Calling convention. The module's request functions and the viewer's host
// function have the type `intptr_t (*)(intptr_t code, ...)`. Every argument
// is passed as an intptr_t (pointers and integers cast to it; a 64-bit file
// position is one argument). When bit 31 of the code is set, the code is the
// lower 31 bits and the only further argument is a pointer to an array of
// intptr_t holding the arguments in order ("argument-block form"). A callee
// reads exactly the number of arguments the lists below give for the code.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

extern "C" {

using ModuleCallFn = intptr_t (*)(intptr_t code, ...);
// The host function the viewer gives the module (start and every component open).
using HostFunction = ModuleCallFn;
// The request function of the module library or of one of its components.
using ModuleRequestFn = ModuleCallFn;
// The exported "module_init_entry": seven integer-sized arguments.
using ModuleInitEntryFn = intptr_t (*)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                                       intptr_t, intptr_t);

// What the entry function stores at start: the module's request function is
// the third pointer-sized field; the first two are the module's own.
struct ModuleInterface {
    void* reserved0;
    void* reserved1;
    ModuleRequestFn request;
};

// The exported data symbol "module_info_block". Byte offsets are part of the
// contract: magic at 0, data length at 0x10, entries from 0x14. Entries are
// back to back: u32 key, u32 value length L, L bytes of value.
struct ModuleInfoBlock {
    char magic[12];            // "KORV module" and a NUL
    uint32_t reserved;         // not read
    uint32_t data_length;      // used only when <= kModuleInfoMaxData
    unsigned char data[3996];  // entries
};

// A component while it is being opened. The module stores the handle in the
// first field (3018), the request function (3021) and the version (3022)
// through pointers to the fields.
struct ComponentRecord {
    intptr_t handle;
    ModuleRequestFn function;
    uint32_t component_id;
    HostFunction host;
    uint32_t version;
    intptr_t result;
};

// Parameter record of the second interface (18008, 18007): six u32.
struct ModuleParamRecord {
    uint32_t kind;          // always 2
    uint32_t server;        // 1 for a server edition of the product
    uint32_t mac_variant;   // 3 for a MAC-variant log, else 0
    uint32_t mac_flag;      // 1 for a MAC-variant log, else 0
    uint32_t reserved[2];   // 0
};

// Allocator table of the growable output buffer (4128).
struct OutputAllocator {
    void* reserved;                    // null
    void* (*allocate)(size_t size);    // null when out of memory
    void (*release)(void* pointer);
};

// Growable output buffer of request 4128. The module grows it only through
// the allocator table (allocate new, copy, release old) and sets `used`; the
// viewer reads data[0, used) and releases data through the same table.
struct OutputBuffer {
    void* data;
    uint32_t used;      // bytes
    uint32_t capacity;  // bytes
    const OutputAllocator* allocator;
};

// SYSTEMTIME layout for the time services.
struct HostSystemTime {
    uint16_t year;
    uint16_t month;        // 1..12
    uint16_t day_of_week;  // 0 = Sunday
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

// File information (host service 18).
struct HostFileInfo {
    uint64_t size;
    uint64_t write_time;  // FILETIME, UTC
    uint64_t file_id;     // inode
    uint32_t link_count;
    uint32_t attributes;  // kHostAttrDirectory or 0
};

// One directory entry (host services 10 and 11).
struct HostFindData {
    uint32_t attributes;  // kHostAttrDirectory or 0
    uint32_t reserved;
    uint64_t size;
    uint64_t write_time;  // FILETIME, UTC
    char16_t name[260];   // NUL-terminated; longer names are cut
};

}  // extern "C"

// The module's exported symbols.
inline constexpr const char kModuleEntryName[] = "module_init_entry";
inline constexpr const char kModuleInfoBlockName[] = "module_info_block";
inline constexpr char kModuleInfoMagic[12] = "KORV module";
inline constexpr uint32_t kModuleInfoMaxData = 0xF9C;
inline constexpr size_t kModuleInfoDataOffset = 0x14;
inline constexpr uint32_t kModuleInfoKeyVersion = 1;  // L = 4, u32
inline constexpr uint32_t kModuleInfoKeyName = 2;     // ANSI text with its NUL
inline constexpr size_t kModuleNameChars = 96;

// Entry point: first argument.
inline constexpr intptr_t kModuleEntryStart = 0;  // 0, &interface, 0, 0, host, 512, 0
inline constexpr intptr_t kModuleEntryStop = 1;   // 1, 0, 0, 0, 0, 0, 0
inline constexpr intptr_t kModuleEntryStartValue = 512;

// Bit 31 of a code: the argument-block form.
inline constexpr intptr_t kCallArgBlock = 0x80000000;
inline constexpr size_t kMaxCallArgs = 8;

// ---- Result codes ----------------------------------------------------------
inline constexpr intptr_t kResultOk = 0;
inline constexpr intptr_t kResultFailed = 5000;          // the operation failed
inline constexpr intptr_t kResultException = 5001;       // an exception inside an open
inline constexpr intptr_t kResultNotServed = 7000;       // unknown code, nothing to serve it
inline constexpr intptr_t kResultNoMemory = 7002;
inline constexpr intptr_t kResultSeekFailed = 7008;
inline constexpr intptr_t kResultBufferTooSmall = 7009;  // 4032
inline constexpr intptr_t kResultNullPointer = 7010;
inline constexpr intptr_t kResultNoModule = 7015;        // taken by the viewer without a call
inline constexpr intptr_t kResultSameVersion = 3104;     // component already open at that version
inline constexpr intptr_t kResultDecodeTooSmall = 18002; // 18007

// ---- Requests of the module library (its request function) -----------------
inline constexpr intptr_t kModuleReqOpenComponent = 3018;   // id, 0, open flags, 0, host, ComponentRecord*
inline constexpr intptr_t kModuleReqCloseComponent = 3020;  // handle
inline constexpr intptr_t kModuleReqGetFunction = 3021;     // handle, ModuleRequestFn*
inline constexpr intptr_t kModuleReqGetVersion = 3022;      // handle, 0, 0, uint32_t*, 0, 0, 0
inline constexpr intptr_t kModuleReqSetDirectory = 3023;    // const char16_t* directory
inline constexpr intptr_t kModuleReqReplace = 3039;         // ModuleRequestFn of the old module or 0
inline constexpr uint32_t kOpenFlagProbe = 0x2800;          // open for the version only

inline constexpr uint32_t kComponentSecond = 18;  // second interface and languages
inline constexpr uint32_t kComponentFirst = 2;    // first interface
inline constexpr uint32_t kComponentProbe = 1;    // probed at start-up for the version

// ---- Requests of a component (its request function) -------------------------
inline constexpr intptr_t kComponentReqHandOver = 60001;  // handle of the instance replaced, or 0
inline constexpr intptr_t kComponentReqReuse = 60006;     // no argument
// type id, view mode, char16_t* buffer, buffer length in characters
inline constexpr intptr_t kReqHeaderText1 = 4032;
// type id, view mode, char16_t* buffer, uint32_t* capacity in characters, ModuleParamRecord*
inline constexpr intptr_t kReqHeaderText2 = 18008;
// type id, record type, view mode, payload, payload length, OutputBuffer*
inline constexpr intptr_t kReqDecode1 = 4128;
// type id, payload, payload length, view mode, buffer, capacity in bytes, ModuleParamRecord*
inline constexpr intptr_t kReqDecode2 = 18007;
inline constexpr intptr_t MODULE_CMD_SET_LANGUAGE = 18000;    // language id
inline constexpr intptr_t MODULE_CMD_LIST_LANGUAGES = 18009;  // uint16_t[128], uint32_t* in/out count
inline constexpr intptr_t MODULE_CMD_GET_LANGUAGE = 18015;    // uint32_t* in/out language id
inline constexpr size_t LANG_LIST_MAX = 128;

// Decoded record block (answer of 4128 and 18007): u32 length (0xFFFFFFFF:
// NUL-terminated), u32 row flags, u32 cell count, u32 row count, then u32
// row offsets; a row is u32 level then u32 cell-text offsets from the row's
// start; cell texts are NUL-terminated UTF-16.
inline constexpr uint32_t kDecodedLengthIsText = 0xFFFFFFFF;
inline constexpr size_t kDecodedHeaderSize = 16;

// ---- Host services ----------------------------------------------------------
// Argument lists, in order. "out T*" arguments may not be null unless said
// (else 7010). Handles are opaque intptr_t values made by the host; 0 is
// never a valid handle.
enum HostService : intptr_t {
    kHostCommit = 1,          // size, flags (bit 0 executable), out void**      -> 0 / 7002
    kHostDecommit = 2,        // pointer of kHostCommit                           -> 0 / 5000
    kHostPageSize = 13,       // out uint32_t*
    kHostPageAlloc = 14,      // size (rounded up to pages), protection, out void**
    kHostPageProtect = 15,    // pointer, size, protection
    kHostPageFree = 16,       // pointer of kHostPageAlloc
    kHostHeapAlloc = 100,     // size, out void**                                 -> 0 / 7002
    kHostHeapFree = 101,      // pointer (null: nothing)
    kHostHeapRealloc = 102,   // pointer, size, out void** (the old block stays on failure)
    kHostFileOpen = 3,        // const char16_t* path, access, disposition, out handle
    kHostFileRead = 4,        // handle, buffer, size, position (-1 current), out uint32_t* count (may be null)
    kHostFileWrite = 5,       // as kHostFileRead
    kHostFileSeek = 6,        // handle, distance, origin (0 begin, 1 current, 2 end), out int64_t* (may be null)
    kHostFileClose = 7,       // handle of a file
    kHostFileSize = 8,        // handle, out uint64_t*
    kHostFileDelete = 9,      // const char16_t* path
    kHostFindFirst = 10,      // const char16_t* pattern (wildcards in the last part), out handle, out HostFindData*
    kHostFindNext = 11,       // handle, out HostFindData*                     -> 0 / 5000 at the end
    kHostFindClose = 12,      // handle
    kHostFileMove = 17,       // const char16_t* from, const char16_t* to (replaced)
    kHostFileInfo = 18,       // handle, out HostFileInfo*
    kHostFileFlush = 19,      // handle
    kHostFileTruncate = 22,   // handle, position
    kHostTempFile = 23,       // out handle, char16_t* path buffer (may be null), capacity in characters
    kHostThreadStart = 350,   // uint32_t (*proc)(void*), parameter, out handle
    kHostThreadId = 351,      // handle (0: the caller), out uint64_t*
    kHostThreadWait = 352,    // handle, out uint32_t* exit code (may be null)
    kHostThreadClose = 353,   // handle (a running thread goes on, detached)
    kHostAnsiToWide = 600,    // const char*, length (-1: to the NUL), char16_t* buffer, capacity, out uint32_t* count
    kHostWideToAnsi = 601,    // const char16_t*, length (-1), char* buffer, capacity, out uint32_t* count
    kHostAnsiUpper = 602,     // char* (NUL-terminated, in place)
    kHostAnsiLower = 603,     // char*
    kHostWideUpper = 604,     // char16_t*
    kHostWideLower = 605,     // char16_t*
    kHostAnsiCompareI = 606,  // const char*, const char*, out int32_t* (<0, 0, >0)
    kHostWideCompareI = 607,  // const char16_t*, const char16_t*, out int32_t*
    kHostAnsiCompareNI = 608, // const char*, const char*, count, out int32_t*
    kHostWideCompareNI = 609, // const char16_t*, const char16_t*, count, out int32_t*
    kHostAnsiToWideAlloc = 610,  // const char*, out char16_t** (release with kHostHeapFree)
    kHostWideToAnsiAlloc = 611,  // const char16_t*, out char** (release with kHostHeapFree)
    kHostLibraryLoad = 700,   // const char16_t* path, out handle
    kHostLibraryFree = 701,   // handle
    kHostLibrarySymbol = 702, // handle, const char* name, out void**
    kHostNotServed1 = 2000,
    kHostTimeNow = 2002,      // out uint64_t* FILETIME (UTC)
    kHostTimeToSystem = 2003, // FILETIME, out HostSystemTime* (UTC)
    kHostTimeToLocal = 2010,  // const HostSystemTime* UTC, out HostSystemTime* in the viewer's time zone
    kHostDateText = 2013,     // const HostSystemTime*, char16_t* buffer, capacity in characters
    kHostTimeText = 2014,     // const HostSystemTime*, char16_t* buffer, capacity in characters
    kHostSettings = 2006,     // key, void* buffer, buffer size in bytes      -> 0 / 7000 / 5000 (too small)
    kHostNotServed2 = 2017,
    kHostCapability = 2062,   // value                                          -> 0 for 256 and 257
    kHostSemCreate = 2100,    // initial count, maximum count, out handle
    kHostSemWait = 2101,      // handle
    kHostSemWaitTimed = 2102, // handle, milliseconds                          -> 0 / 5000 (time-out)
    kHostSemRelease = 2103,   // handle, count, out int32_t* previous (may be null) -> 5000 above the maximum
    kHostSemDestroy = 2104,   // handle
    kHostSemWaitResult = 2105,// handle, milliseconds, out int32_t* (0 taken, -1 time-out)
    kHostCsCreate = 2110,     // out handle (recursive)
    kHostCsEnter = 2111,      // handle
    kHostCsLeave = 2112,      // handle
    kHostCsDestroy = 2113,    // handle
    kHostCsTryEnter = 2114,   // handle, out int32_t* (1 entered)
    kHostSrwCreate = 2115,    // out handle
    kHostSrwDestroy = 2116,   // handle
    kHostSrwShared = 2117,    // handle
    kHostSrwExclusive = 2118, // handle (records the owner)
    kHostSrwRelease = 2119,   // handle (exclusive when the caller owns it, else shared)
    kHostSrwTryShared = 2085, // handle, out int32_t* (1 acquired)
    kHostSrwTryExclusive = 2086, // handle, out int32_t* (1 acquired, owner recorded)
    kHostEventCreate = 2120,  // count, out event object* (null on failure)
    kHostEventCreateMode = 2124, // count, manual, out event object*
    kHostEventSet = 2121,     // object, index
    kHostEventClear = 2067,   // object, index
    kHostEventWait = 2122,    // object, count, const uint32_t* indexes, all, milliseconds, out int32_t*
    kHostEventDestroy = 2123, // object
    kHostCondCreate = 2125,   // out handle
    kHostCondDestroy = 2126,  // handle
    kHostCondWake = 2127,     // handle, all
    kHostCondSleep = 2128,    // handle, critical section handle, milliseconds (-1: none) -> 0 / 5000 (time-out)
    kHostErrorRegister = 2500,   // pointer, size                              -> 5000 on failure
    kHostErrorUnregister = 2501, // pointer                                    -> 5000 when not registered
    // 3000..3999: forwarded to the module's request function in the
    // argument-block form; a plain call passes exactly seven arguments.
    kHostForwardFirst = 3000,
    kHostForwardLast = 3999,
};
inline constexpr size_t kHostForwardArgs = 7;
inline constexpr uint32_t kSettingsKeyLanguage = 0x52EE0;
inline constexpr uint32_t kHostAttrDirectory = 0x10;
inline constexpr intptr_t kHostInfinite = -1;
// kHostFileOpen access and disposition
inline constexpr intptr_t kHostAccessRead = 0;
inline constexpr intptr_t kHostAccessReadWrite = 1;
inline constexpr intptr_t kHostOpenExisting = 0;
inline constexpr intptr_t kHostCreateAlways = 1;
inline constexpr intptr_t kHostOpenAlways = 2;
// kHostPageAlloc / kHostPageProtect protection bits
inline constexpr intptr_t kHostProtRead = 1;
inline constexpr intptr_t kHostProtWrite = 2;
inline constexpr intptr_t kHostProtExec = 4;

namespace korv {

// Reads the arguments of a call made in either form into `out` (count
// entries). `ap` has been started after the code. A null argument block
// answers false.
inline bool ReadCallArgs(intptr_t code, va_list ap, size_t count, intptr_t* out) {
    if (count == 0) return true;
    if (code & kCallArgBlock) {
        const intptr_t* block = va_arg(ap, const intptr_t*);
        if (block == nullptr) return false;
        for (size_t i = 0; i < count; ++i) out[i] = block[i];
    } else {
        for (size_t i = 0; i < count; ++i) out[i] = va_arg(ap, intptr_t);
    }
    return true;
}

// The code without its argument-block bit.
inline intptr_t CallCode(intptr_t code) { return code & ~kCallArgBlock; }

}  // namespace korv
