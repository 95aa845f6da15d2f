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
    std::shared_ptr<T> Remove(intptr_t h) {
        std::lock_guard guard(m_mutex);
        const auto it = m_objects.find(h);
        if (it == m_objects.end()) return nullptr;
        auto object = std::move(it->second);
        m_objects.erase(it);
        return object;
    }

private:
    std::mutex m_mutex;                                        // guards m_objects
    std::unordered_map<intptr_t, std::shared_ptr<T>> m_objects; // live handles
};

}  // namespace korv::host
