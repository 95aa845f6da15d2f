#include "product/rw_lock.h"

#include <stdexcept>

#include <sys/syscall.h>
#include <unistd.h>

namespace korv {

uint64_t CurrentThreadId() {
    // Kernel thread ids are never 0, so 0 can mean "no owner".
    thread_local const uint64_t id = static_cast<uint64_t>(::syscall(SYS_gettid));
    return id;
}

}  // namespace korv

namespace TavOsApi {

void RWLock::lock_shared() {
    std::unique_lock guard(m_cs);
    ++m_readersWaiting;
    m_cv.wait(guard, [this] { return m_owner == 0; });
    ++m_readersInside;
    --m_readersWaiting;
}

void RWLock::lock_shared_yielding() {
    std::unique_lock guard(m_cs);
    ++m_yieldingWaiting;
    m_cv.wait(guard, [this] { return m_owner == 0 && m_writersWaiting == 0; });
    ++m_readersInside;
    --m_yieldingWaiting;
}

void RWLock::unlock_shared() {
    std::lock_guard guard(m_cs);
    if (m_readersInside > 0) --m_readersInside;
    if (m_readersInside != 0 || m_readersWaiting != 0 || m_writersWaiting == 0) return;
    // A writer may go in. Yielding readers wait on the same condition: a single wake could
    // reach one of them instead of the writer.
    if (m_yieldingWaiting > 0) {
        m_cv.notify_all();
    } else {
        m_cv.notify_one();
    }
}

void RWLock::lock() {
    std::unique_lock guard(m_cs);
    ++m_writersWaiting;
    m_cv.wait(guard, [this] {
        return m_readersInside == 0 && m_owner == 0 && m_readersWaiting == 0;
    });
    --m_writersWaiting;
    m_owner = korv::CurrentThreadId();
}

void RWLock::unlock() {
    std::lock_guard guard(m_cs);
    if (m_owner != korv::CurrentThreadId()) throw std::runtime_error("");
    m_owner = 0;
    if (m_readersWaiting > 0 || m_yieldingWaiting > 0) {
        m_cv.notify_all();
    } else if (m_writersWaiting > 0) {
        m_cv.notify_one();
    }
}

}  // namespace TavOsApi
