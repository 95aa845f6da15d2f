// Memory services: committed and page-granular mappings, heap blocks, and
// the blocks registered for error reporting.
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

#include <sys/mman.h>
#include <unistd.h>

#include "host_groups.h"
#include "product/module_abi.h"

namespace korv::host {
namespace {

// munmap needs the length that VirtualFree does not: the host remembers it.
class MappingTable {
public:
    intptr_t Map(size_t size, int prot, void** out) {
        if (size == 0) return kResultNoMemory;
        void* p = ::mmap(nullptr, size, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return kResultNoMemory;
        std::lock_guard guard(m_mutex);
        m_sizes[p] = size;
        *out = p;
        return kResultOk;
    }
    intptr_t Unmap(void* p) {
        std::lock_guard guard(m_mutex);
        const auto it = m_sizes.find(p);
        if (it == m_sizes.end()) return kResultFailed;
        ::munmap(p, it->second);
        m_sizes.erase(it);
        return kResultOk;
    }
    // Only whole ranges inside one mapping may change protection.
    intptr_t Protect(void* p, size_t size, int prot) {
        std::lock_guard guard(m_mutex);
        auto it = m_sizes.upper_bound(p);
        if (it == m_sizes.begin()) return kResultFailed;
        --it;
        const auto base = reinterpret_cast<uintptr_t>(it->first);
        const auto start = reinterpret_cast<uintptr_t>(p);
        if (start - base > it->second || size > it->second - (start - base)) return kResultFailed;
        return ::mprotect(p, size, prot) == 0 ? kResultOk : kResultFailed;
    }

private:
    std::mutex m_mutex;                  // guards m_sizes
    std::map<void*, size_t> m_sizes;     // live mappings and their lengths
};

MappingTable& Mappings() {
    static MappingTable table;
    return table;
}

int ProtFlags(intptr_t p) {
    int prot = PROT_NONE;
    if (p & kHostProtRead) prot |= PROT_READ;
    if (p & kHostProtWrite) prot |= PROT_WRITE;
    if (p & kHostProtExec) prot |= PROT_EXEC;
    return prot;
}

size_t PageSize() { return static_cast<size_t>(::sysconf(_SC_PAGESIZE)); }

// Blocks the module asks to be kept in crash reports. Linux has no such
// report; the registry keeps the pair's contract (no double registration,
// no unregistering of an unknown block).
std::mutex g_reportMutex;             // guards g_reportBlocks
std::set<void*> g_reportBlocks;

}  // namespace

intptr_t Memory(intptr_t code, const intptr_t* a) {
    switch (code) {
    case kHostCommit: {
        if (a[2] == 0) return kResultNullPointer;
        const int prot = PROT_READ | PROT_WRITE | ((a[1] & 1) ? PROT_EXEC : 0);
        return Mappings().Map(static_cast<size_t>(a[0]), prot, Ptr<void*>(a[2]));
    }
    case kHostDecommit:
    case kHostPageFree:
        if (a[0] == 0) return kResultNullPointer;
        return Mappings().Unmap(Ptr<void>(a[0]));
    case kHostPageSize:
        if (a[0] == 0) return kResultNullPointer;
        *Ptr<uint32_t>(a[0]) = static_cast<uint32_t>(PageSize());
        return kResultOk;
    case kHostPageAlloc: {
        if (a[2] == 0) return kResultNullPointer;
        const size_t page = PageSize();
        const auto size = static_cast<size_t>(a[0]);
        if (size == 0 || size > SIZE_MAX - page) return kResultNoMemory;
        return Mappings().Map((size + page - 1) / page * page, ProtFlags(a[1]), Ptr<void*>(a[2]));
    }
    case kHostPageProtect:
        if (a[0] == 0) return kResultNullPointer;
        return Mappings().Protect(Ptr<void>(a[0]), static_cast<size_t>(a[1]), ProtFlags(a[2]));
    case kHostHeapAlloc: {
        if (a[1] == 0) return kResultNullPointer;
        void* p = std::malloc(a[0] > 0 ? static_cast<size_t>(a[0]) : 1);
        if (p == nullptr) return kResultNoMemory;
        *Ptr<void*>(a[1]) = p;
        return kResultOk;
    }
    case kHostHeapFree:
        std::free(Ptr<void>(a[0]));
        return kResultOk;
    case kHostHeapRealloc: {
        if (a[2] == 0) return kResultNullPointer;
        void* p = std::realloc(Ptr<void>(a[0]), a[1] > 0 ? static_cast<size_t>(a[1]) : 1);
        if (p == nullptr) return kResultNoMemory;
        *Ptr<void*>(a[2]) = p;
        return kResultOk;
    }
    case kHostErrorRegister: {
        if (a[0] == 0 || a[1] <= 0) return kResultFailed;
        std::lock_guard guard(g_reportMutex);
        return g_reportBlocks.insert(Ptr<void>(a[0])).second ? kResultOk : kResultFailed;
    }
    case kHostErrorUnregister: {
        std::lock_guard guard(g_reportMutex);
        return g_reportBlocks.erase(Ptr<void>(a[0])) == 1 ? kResultOk : kResultFailed;
    }
    default:
        return kResultNotServed;
    }
}

}  // namespace korv::host
