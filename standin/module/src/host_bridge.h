// The stand-in module's use of the viewer's host services.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "product/module_abi.h"

namespace lvmod {

// The host function given at start; null before start and after stop.
void SetHost(HostFunction host);
HostFunction Host();

// The language the host's settings query answers, or 0 when it does not.
uint32_t HostLanguage();

// Appends the date and time text of a FILETIME (UTC) in the viewer's time
// zone, joined by one blank, as the viewer shows record times; nothing when
// the host fails.
void HostAppendTimeText(uint64_t filetime, std::u16string& out);

// Memory from the host's heap; null when it has none.
void* HostAlloc(size_t size);
void HostFree(void* pointer);

// Standard containers on the host's heap.
template <class T>
struct HostAllocator {
    using value_type = T;
    HostAllocator() = default;
    template <class U>
    HostAllocator(const HostAllocator<U>&) {}
    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        void* p = HostAlloc(n * sizeof(T));
        if (p == nullptr) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) { HostFree(p); }
    template <class U>
    bool operator==(const HostAllocator<U>&) const { return true; }
};

using Bytes = std::vector<uint8_t, HostAllocator<uint8_t>>;

// A slim lock of the host: exclusive (std::lock_guard) or shared (std::shared_lock).
class HostLock {
public:
    HostLock();
    ~HostLock();
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;
    void lock();
    void unlock();
    void lock_shared();
    void unlock_shared();

private:
    intptr_t m_handle = 0;  // 0 when the host could not make one
};

}  // namespace lvmod
