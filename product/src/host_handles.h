// Handles the host gives the module for its files, searches, libraries,
// threads and locks. A handle is a number from one process-wide counter, so
// a handle of one kind is never taken for one of another kind, and an
// unknown or closed handle is refused instead of followed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace korv::host {

inline std::atomic<intptr_t> g_nextHandle{0x1000};

template <class T>
class HandleTable {
public:
    intptr_t Add(std::shared_ptr<T> object) {
        const intptr_t h = g_nextHandle.fetch_add(4);
        std::lock_guard guard(m_mutex);
        m_objects.emplace(h, std::move(object));
        return h;
    }
    // Users keep the object alive while they use it, even if another
    // thread removes the handle meanwhile.
    std::shared_ptr<T> Get(intptr_t h) {
        std::lock_guard guard(m_mutex);
        const auto it = m_objects.find(h);
        return it == m_objects.end() ? nullptr : it->second;
    }
    // The same for a use that ends before this thread's next lookup, without the table's
    // lock when this thread looked the same handle up last and no handle has gone since: a
    // module may take a lock of its own per record on every decoding lane.
    T* GetForUse(intptr_t h) {
        struct Last {
            const HandleTable* table = nullptr;
            intptr_t handle = 0;
            uint64_t removals = 0;
            std::shared_ptr<T> object;  // kept alive for this thread until its next lookup
        };
        thread_local Last last;
        const uint64_t removals = m_removals.load(std::memory_order_acquire);
        if (last.table == this && last.handle == h && last.removals == removals && last.object)
            return last.object.get();
        last = Last{this, h, removals, Get(h)};
        return last.object.get();
    }
    std::shared_ptr<T> Remove(intptr_t h) {
        std::lock_guard guard(m_mutex);
        const auto it = m_objects.find(h);
        if (it == m_objects.end()) return nullptr;
        auto object = std::move(it->second);
        m_objects.erase(it);
        m_removals.fetch_add(1, std::memory_order_release);
        return object;
    }

private:
    std::mutex m_mutex;                                        // guards m_objects
    std::atomic<uint64_t> m_removals{0};                       // handles removed so far
    std::unordered_map<intptr_t, std::shared_ptr<T>> m_objects; // live handles
};

}  // namespace korv::host
