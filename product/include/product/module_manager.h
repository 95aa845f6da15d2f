// The module's components: the instances the viewer talks to and the two
// process-wide holders (component 18 for the second interface and the
// languages, component 2 for the first interface).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <utility>

#include "product/module_abi.h"
#include "product/module_loader.h"
#include "product/rw_lock.h"

namespace korv {

namespace detail {
template <class T>
intptr_t ToArg(T v) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<intptr_t>(v);
    } else {
        return static_cast<intptr_t>(v);
    }
}
}  // namespace detail

// One opened component, shared by everyone who calls it. The last reference
// closes the handle (3020), provided the module that opened it is still the
// loaded one.
class ModuleInstance {
public:
    // Takes the record's handle and function (they become 0 in the record).
    ModuleInstance(ModuleLoader& loader, ComponentRecord&& record, uint64_t generation);
    ModuleInstance(const ModuleInstance&) = delete;
    ModuleInstance& operator=(const ModuleInstance&) = delete;
    ~ModuleInstance();

    intptr_t handle() const { return m_handle; }
    ModuleRequestFn function() const { return m_function; }
    uint32_t component_id() const { return m_componentId; }
    uint32_t version() const { return m_version; }
    intptr_t result() const { return m_result; }
    uint64_t generation() const { return m_generation; }
    ModuleLoader& loader() const { return m_loader; }

    // Sends a request to the component while the module is held; 7015 when
    // there is no module, no function, or the module has been exchanged.
    template <class... Args>
    intptr_t Call(intptr_t code, Args... args) const {
        ModuleHold hold(m_loader);
        if (!hold || m_function == nullptr || hold->generation != m_generation) return kResultNoModule;
        return m_function(code, detail::ToArg(args)...);
    }

private:
    ModuleLoader& m_loader;
    intptr_t m_handle;
    ModuleRequestFn m_function;
    uint32_t m_componentId;
    HostFunction m_host;
    uint32_t m_version;
    intptr_t m_result;
    uint64_t m_generation;  // the module load the handle belongs to
};

// Holder of one component's current instance.
template <class MutexT, class RWLockT>
class ModuleManager {
public:
    ModuleManager(ModuleLoader& loader, uint32_t componentId, uint32_t openFlags = 0);
    ModuleManager(const ModuleManager&) = delete;
    ModuleManager& operator=(const ModuleManager&) = delete;
    virtual ~ModuleManager() = default;

    // 0, 3104 when the open instance has the probed version, or the failing result.
    intptr_t OpenComponent();
    void CloseComponent();
    std::shared_ptr<ModuleInstance> CurrentInstance();

    uint32_t component_id() const { return m_componentId; }

protected:
    // Makes an instance of the opened record current unless the new instance
    // refuses the hand-over (60001). `generation` is the module load that
    // opened the record.
    virtual bool Install(ComponentRecord& record, uint64_t generation);

private:
    // Opens `record` with `flags`: closes a handle it still has, then 3018,
    // 3021 and 3022. Answers the module load used (0 when none).
    uint64_t OpenRecord(ComponentRecord& record, uint32_t flags);
    void CloseRecord(ComponentRecord& record, uint64_t generation);

    ModuleLoader& m_loader;
    uint32_t m_componentId;
    HostFunction m_host;
    uint32_t m_openFlags;
    MutexT m_mutex;                               // guards m_current
    RWLockT m_exchange;                           // serialises installs and closes
    std::shared_ptr<ModuleInstance> m_current;    // the open instance, null when none
};

using ComponentHolder = ModuleManager<TavOsApi::Mutex, TavOsApi::RWLock>;
extern template class ModuleManager<TavOsApi::Mutex, TavOsApi::RWLock>;

// The process-wide holders over ModuleLoader::Global().
ComponentHolder& SecondInterfaceHolder();  // component 18
ComponentHolder& FirstInterfaceHolder();   // component 2

// Start-up: the module (StartModule), then both holders, component 18 first.
bool StartProductModule();
// Exit: both holders closed, then the module unloaded.
void StopProductModule();

}  // namespace korv
