// The locks of the module layer: the reader-preferring lock over the current
// module and the plain mutex of the component holders.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace TavOsApi {

// Reader-preferring reader/writer lock. Any number of readers share it; a
// writer gets it only when no reader is inside and none is waiting, so calls
// into the module never wait behind an exchange that has not started yet.
// Shared acquires may nest on one thread while no writer owns the lock.
class RWLock {
public:
    RWLock() = default;
    RWLock(const RWLock&) = delete;
    RWLock& operator=(const RWLock&) = delete;
    virtual ~RWLock() = default;

    void lock_shared();
    // A shared acquire for a long run of calls: it waits while a writer waits, so that runs
    // following one another on several threads cannot keep a writer out for good. Only for
    // a thread that holds the lock in no other way (it would wait on itself).
    void lock_shared_yielding();
    void unlock_shared();
    void lock();
    // Throws std::runtime_error (empty message) when the caller is not the owner.
    void unlock();

private:
    std::mutex m_cs;               // guards every field below
    std::condition_variable m_cv;  // readers and writers wait here
    uint32_t m_readersInside = 0;
    uint32_t m_readersWaiting = 0;
    uint32_t m_writersWaiting = 0;
    uint32_t m_yieldingWaiting = 0;  // yielding readers waiting; writers do not wait for them
    uint64_t m_owner = 0;          // thread id of the writer, 0 when none
};

// The holders' critical section; BasicLockable so std::lock_guard works.
class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    virtual ~Mutex() = default;

    void lock() { m_cs.lock(); }
    void unlock() { m_cs.unlock(); }
    bool try_lock() { return m_cs.try_lock(); }

private:
    std::mutex m_cs;
};

}  // namespace TavOsApi

namespace korv {
// A process-unique id of the calling thread, never 0.
uint64_t CurrentThreadId();
}
