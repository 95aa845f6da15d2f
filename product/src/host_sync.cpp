// Threads, semaphores, critical sections, slim reader/writer locks and
// condition variables for the module.
#include <atomic>
#include <chrono>
#include <optional>
#include <system_error>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "host_groups.h"
#include "host_handles.h"
#include "product/module_abi.h"
#include "product/rw_lock.h"

namespace korv::host {
namespace {

using ThreadProc = uint32_t (*)(void*);

// Shared by the thread itself and its handle, so either may go first.
struct ThreadState {
    std::mutex mutex;              // guards exit_code and id
    uint32_t exit_code = 0;
    uint64_t id = 0;
};

struct HostThread {
    std::thread thread;            // joined by a wait, detached by a close
    std::shared_ptr<ThreadState> state;
    std::mutex join_mutex;         // serialises waits on the same handle
    ~HostThread() {
        if (thread.joinable()) thread.detach();
    }
};

struct Semaphore {
    std::mutex mutex;              // guards count
    std::condition_variable cv;
    int64_t count = 0;
    int64_t maximum = 0;
};

struct CriticalSection {
    std::recursive_mutex mutex;
};

struct SlimLock {
    std::shared_mutex lock;
    std::atomic<uint64_t> owner{0};  // thread holding it exclusively, 0 when none
};

struct Condition {
    std::condition_variable_any cv;
};

HandleTable<HostThread> g_threads;
HandleTable<Semaphore> g_semaphores;
HandleTable<CriticalSection> g_sections;
HandleTable<SlimLock> g_slimLocks;
HandleTable<Condition> g_conditions;

intptr_t StartThread(const intptr_t* a) {
    if (a[0] == 0 || a[2] == 0) return kResultNullPointer;
    auto host = std::make_shared<HostThread>();
    host->state = std::make_shared<ThreadState>();
    const auto proc = reinterpret_cast<ThreadProc>(a[0]);
    void* parameter = Ptr<void>(a[1]);
    try {
        host->thread = std::thread([proc, parameter, state = host->state] {
            {
                std::lock_guard guard(state->mutex);
                state->id = CurrentThreadId();
            }
            const uint32_t code = proc(parameter);
            std::lock_guard guard(state->mutex);
            state->exit_code = code;
        });
    } catch (const std::system_error&) {
        return kResultFailed;
    }
    *Ptr<intptr_t>(a[2]) = g_threads.Add(std::move(host));
    return kResultOk;
}

bool SemTake(Semaphore& s, std::optional<std::chrono::milliseconds> timeout) {
    std::unique_lock guard(s.mutex);
    const auto ready = [&s] { return s.count > 0; };
    if (!timeout) {
        s.cv.wait(guard, ready);
    } else if (!s.cv.wait_for(guard, *timeout, ready)) {
        return false;
    }
    --s.count;
    return true;
}

std::optional<std::chrono::milliseconds> Millis(intptr_t ms) {
    if (ms < 0 || static_cast<uint32_t>(ms) == 0xFFFFFFFFu) return std::nullopt;
    return std::chrono::milliseconds(ms);
}

}  // namespace

intptr_t Threads(intptr_t code, const intptr_t* a) {
    switch (code) {
    case kHostThreadStart:
        return StartThread(a);
    case kHostThreadId: {
        if (a[1] == 0) return kResultNullPointer;
        if (a[0] == 0) {
            *Ptr<uint64_t>(a[1]) = CurrentThreadId();
            return kResultOk;
        }
        const auto t = g_threads.Get(a[0]);
        if (!t) return kResultFailed;
        // The id is known once the thread runs; waiting briefly for it keeps the answer exact.
        for (;;) {
            {
                std::lock_guard guard(t->state->mutex);
                if (t->state->id != 0) {
                    *Ptr<uint64_t>(a[1]) = t->state->id;
                    return kResultOk;
                }
            }
            std::this_thread::yield();
        }
    }
    case kHostThreadWait: {
        const auto t = g_threads.Get(a[0]);
        if (!t) return kResultFailed;
        {
            std::lock_guard join(t->join_mutex);
            if (t->thread.joinable()) {
                if (t->thread.get_id() == std::this_thread::get_id()) return kResultFailed;
                t->thread.join();
            }
        }
        if (a[1] != 0) {
            std::lock_guard guard(t->state->mutex);
            *Ptr<uint32_t>(a[1]) = t->state->exit_code;
        }
        return kResultOk;
    }
    case kHostThreadClose:
        return g_threads.Remove(a[0]) ? kResultOk : kResultFailed;
    default:
        return kResultNotServed;
    }
}

intptr_t Sync(intptr_t code, const intptr_t* a) {
    switch (code) {
    case kHostSemCreate: {
        if (a[2] == 0) return kResultNullPointer;
        if (a[0] < 0 || a[1] <= 0 || a[0] > a[1]) return kResultFailed;
        auto s = std::make_shared<Semaphore>();
        s->count = a[0];
        s->maximum = a[1];
        *Ptr<intptr_t>(a[2]) = g_semaphores.Add(std::move(s));
        return kResultOk;
    }
    case kHostSemWait:
    case kHostSemWaitTimed:
    case kHostSemWaitResult: {
        const auto s = g_semaphores.Get(a[0]);
        if (!s) return kResultFailed;
        const bool taken = SemTake(*s, code == kHostSemWait ? std::nullopt : Millis(a[1]));
        if (code == kHostSemWaitResult) {
            if (a[2] != 0) *Ptr<int32_t>(a[2]) = taken ? 0 : -1;
            return kResultOk;
        }
        return taken ? kResultOk : kResultFailed;
    }
    case kHostSemRelease: {
        const auto s = g_semaphores.Get(a[0]);
        if (!s) return kResultFailed;
        std::lock_guard guard(s->mutex);
        if (a[1] <= 0 || a[1] > s->maximum - s->count) return kResultFailed;
        if (a[2] != 0) *Ptr<int32_t>(a[2]) = static_cast<int32_t>(s->count);
        s->count += a[1];
        s->cv.notify_all();
        return kResultOk;
    }
    case kHostSemDestroy:
        return g_semaphores.Remove(a[0]) ? kResultOk : kResultFailed;
    case kHostCsCreate:
        if (a[0] == 0) return kResultNullPointer;
        *Ptr<intptr_t>(a[0]) = g_sections.Add(std::make_shared<CriticalSection>());
        return kResultOk;
    case kHostCsEnter:
    case kHostCsLeave:
    case kHostCsTryEnter: {
        const auto cs = g_sections.Get(a[0]);
        if (!cs) return kResultFailed;
        if (code == kHostCsEnter) cs->mutex.lock();
        if (code == kHostCsLeave) cs->mutex.unlock();
        if (code == kHostCsTryEnter) {
            if (a[1] == 0) return kResultNullPointer;
            *Ptr<int32_t>(a[1]) = cs->mutex.try_lock() ? 1 : 0;
        }
        return kResultOk;
    }
    case kHostCsDestroy:
        return g_sections.Remove(a[0]) ? kResultOk : kResultFailed;
    case kHostSrwCreate:
        if (a[0] == 0) return kResultNullPointer;
        *Ptr<intptr_t>(a[0]) = g_slimLocks.Add(std::make_shared<SlimLock>());
        return kResultOk;
    case kHostSrwDestroy:
        return g_slimLocks.Remove(a[0]) ? kResultOk : kResultFailed;
    case kHostSrwShared:
    case kHostSrwExclusive:
    case kHostSrwRelease:
    case kHostSrwTryShared:
    case kHostSrwTryExclusive: {
        SlimLock* const l = g_slimLocks.GetForUse(a[0]);
        if (l == nullptr) return kResultFailed;
        const uint64_t self = CurrentThreadId();
        switch (code) {
        case kHostSrwShared:
            l->lock.lock_shared();
            return kResultOk;
        case kHostSrwExclusive:
            l->lock.lock();
            l->owner = self;
            return kResultOk;
        case kHostSrwRelease:
            if (l->owner == self) {
                l->owner = 0;
                l->lock.unlock();
            } else {
                l->lock.unlock_shared();
            }
            return kResultOk;
        case kHostSrwTryShared:
            if (a[1] == 0) return kResultNullPointer;
            *Ptr<int32_t>(a[1]) = l->lock.try_lock_shared() ? 1 : 0;
            return kResultOk;
        default: {
            if (a[1] == 0) return kResultNullPointer;
            const bool got = l->lock.try_lock();
            if (got) l->owner = self;
            *Ptr<int32_t>(a[1]) = got ? 1 : 0;
            return kResultOk;
        }
        }
    }
    case kHostCondCreate:
        if (a[0] == 0) return kResultNullPointer;
        *Ptr<intptr_t>(a[0]) = g_conditions.Add(std::make_shared<Condition>());
        return kResultOk;
    case kHostCondDestroy:
        return g_conditions.Remove(a[0]) ? kResultOk : kResultFailed;
    case kHostCondWake: {
        const auto c = g_conditions.Get(a[0]);
        if (!c) return kResultFailed;
        if (a[1] != 0) {
            c->cv.notify_all();
        } else {
            c->cv.notify_one();
        }
        return kResultOk;
    }
    case kHostCondSleep: {
        const auto c = g_conditions.Get(a[0]);
        const auto cs = g_sections.Get(a[1]);
        if (!c || !cs) return kResultFailed;
        // The caller holds the critical section; the wait gives it up and takes it back.
        std::unique_lock guard(cs->mutex, std::adopt_lock);
        const auto timeout = Millis(a[2]);
        bool woken = true;
        if (!timeout) {
            c->cv.wait(guard);
        } else {
            woken = c->cv.wait_for(guard, *timeout) == std::cv_status::no_timeout;
        }
        guard.release();
        return woken ? kResultOk : kResultFailed;
    }
    default:
        return kResultNotServed;
    }
}

}  // namespace korv::host
