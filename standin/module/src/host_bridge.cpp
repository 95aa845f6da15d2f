#include "host_bridge.h"

#include <atomic>

namespace lvmod {
namespace {
std::atomic<HostFunction> g_host{nullptr};
}

void SetHost(HostFunction host) { g_host.store(host); }
HostFunction Host() { return g_host.load(); }

uint32_t HostLanguage() {
    HostFunction host = Host();
    if (host == nullptr) return 0;
    uint32_t language = 0;
    if (host(kHostSettings, static_cast<intptr_t>(kSettingsKeyLanguage), reinterpret_cast<intptr_t>(&language),
             static_cast<intptr_t>(sizeof language)) != kResultOk) {
        return 0;
    }
    return language;
}

void HostAppendTimeText(uint64_t filetime, std::u16string& out) {
    HostFunction host = Host();
    if (host == nullptr) return;
    HostSystemTime utc{}, local{};
    // Argument-block form, as a module with many arguments would call.
    const intptr_t toSystem[] = {static_cast<intptr_t>(filetime), reinterpret_cast<intptr_t>(&utc)};
    if (host(kHostTimeToSystem | kCallArgBlock, reinterpret_cast<intptr_t>(toSystem)) != kResultOk) return;
    if (host(kHostTimeToLocal, reinterpret_cast<intptr_t>(&utc), reinterpret_cast<intptr_t>(&local)) != kResultOk) {
        return;
    }
    char16_t date[128] = {};
    char16_t time[128] = {};
    if (host(kHostDateText, reinterpret_cast<intptr_t>(&local), reinterpret_cast<intptr_t>(date),
             static_cast<intptr_t>(std::size(date))) != kResultOk ||
        host(kHostTimeText, reinterpret_cast<intptr_t>(&local), reinterpret_cast<intptr_t>(time),
             static_cast<intptr_t>(std::size(time))) != kResultOk) {
        return;
    }
    // The host NUL-terminates within the capacity; the last unit stays 0 regardless.
    date[std::size(date) - 1] = 0;
    time[std::size(time) - 1] = 0;
    out.append(date);
    out.push_back(u' ');
    out.append(time);
}

void* HostAlloc(size_t size) {
    HostFunction host = Host();
    void* p = nullptr;
    if (host == nullptr ||
        host(kHostHeapAlloc, static_cast<intptr_t>(size), reinterpret_cast<intptr_t>(&p)) != kResultOk) {
        return nullptr;
    }
    return p;
}

void HostFree(void* pointer) {
    if (HostFunction host = Host(); host != nullptr && pointer != nullptr) {
        host(kHostHeapFree, reinterpret_cast<intptr_t>(pointer));
    }
}

HostLock::HostLock() {
    if (HostFunction host = Host(); host != nullptr) {
        if (host(kHostSrwCreate, reinterpret_cast<intptr_t>(&m_handle)) != kResultOk) m_handle = 0;
    }
}

HostLock::~HostLock() {
    if (HostFunction host = Host(); host != nullptr && m_handle != 0) host(kHostSrwDestroy, m_handle);
}

void HostLock::lock() {
    if (HostFunction host = Host(); host != nullptr && m_handle != 0) host(kHostSrwExclusive, m_handle);
}

void HostLock::unlock() {
    if (HostFunction host = Host(); host != nullptr && m_handle != 0) host(kHostSrwRelease, m_handle);
}

void HostLock::lock_shared() {
    if (HostFunction host = Host(); host != nullptr && m_handle != 0) host(kHostSrwShared, m_handle);
}

// The host releases a shared hold or the exclusive one, whichever the caller has.
void HostLock::unlock_shared() { unlock(); }

}  // namespace lvmod
