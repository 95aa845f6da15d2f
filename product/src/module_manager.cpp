#include "product/module_manager.h"

#include <exception>

#include "product/host_services.h"

namespace korv {

ModuleInstance::ModuleInstance(ModuleLoader& loader, ComponentRecord&& record, uint64_t generation)
    : m_loader(loader),
      m_handle(std::exchange(record.handle, 0)),
      m_function(std::exchange(record.function, nullptr)),
      m_componentId(record.component_id),
      m_host(record.host),
      m_version(record.version),
      m_result(record.result),
      m_generation(generation) {}

ModuleInstance::~ModuleInstance() {
    if (m_handle == 0) return;
    ModuleHold hold(m_loader);
    // A handle of a module that has been unloaded is gone with it.
    if (hold && hold->generation == m_generation) hold->Request()(kModuleReqCloseComponent, m_handle);
}

template <class MutexT, class RWLockT>
ModuleManager<MutexT, RWLockT>::ModuleManager(ModuleLoader& loader, uint32_t componentId, uint32_t openFlags)
    : m_loader(loader), m_componentId(componentId), m_host(loader.Host()), m_openFlags(openFlags) {}

template <class MutexT, class RWLockT>
uint64_t ModuleManager<MutexT, RWLockT>::OpenRecord(ComponentRecord& record, uint32_t flags) {
    ModuleHold hold(m_loader);
    if (!hold) {
        record.result = kResultNoModule;
        return 0;
    }
    ModuleRequestFn request = hold->Request();
    if (record.handle != 0) {
        request(kModuleReqCloseComponent, record.handle);
        record.handle = 0;
    }
    record.function = nullptr;
    record.version = 0;
    record.result = request(kModuleReqOpenComponent, static_cast<intptr_t>(record.component_id), 0,
                            static_cast<intptr_t>(flags), 0, reinterpret_cast<intptr_t>(record.host),
                            reinterpret_cast<intptr_t>(&record));
    if (record.result == kResultOk) {
        request(kModuleReqGetFunction, record.handle, reinterpret_cast<intptr_t>(&record.function));
        request(kModuleReqGetVersion, record.handle, 0, 0, reinterpret_cast<intptr_t>(&record.version), 0, 0, 0);
    }
    return hold->generation;
}

template <class MutexT, class RWLockT>
void ModuleManager<MutexT, RWLockT>::CloseRecord(ComponentRecord& record, uint64_t generation) {
    if (record.handle == 0) return;
    ModuleHold hold(m_loader);
    if (hold && hold->generation == generation) hold->Request()(kModuleReqCloseComponent, record.handle);
    record.handle = 0;
}

template <class MutexT, class RWLockT>
intptr_t ModuleManager<MutexT, RWLockT>::OpenComponent() {
    ComponentRecord record{0, nullptr, m_componentId, m_host, 0, 0};
    uint64_t generation = 0;
    try {
        generation = OpenRecord(record, m_openFlags | kOpenFlagProbe);
        if (record.result != kResultOk) {
            CloseRecord(record, generation);
            return record.result;
        }
        if (const auto current = CurrentInstance(); current && current->version() == record.version) {
            const intptr_t r = current->Call(kComponentReqReuse);
            if (r == kResultOk || r == kResultNotServed) {
                CloseRecord(record, generation);
                return kResultSameVersion;
            }
        }
        generation = OpenRecord(record, m_openFlags);
        if (record.result != kResultOk) {
            CloseRecord(record, generation);
            return record.result;
        }
        const bool installed = Install(record, generation);
        CloseRecord(record, generation);
        return installed ? kResultOk : kResultFailed;
    } catch (...) {
        try {
            CloseRecord(record, generation);
        } catch (...) {
        }
        return kResultException;
    }
}

template <class MutexT, class RWLockT>
bool ModuleManager<MutexT, RWLockT>::Install(ComponentRecord& record, uint64_t generation) {
    auto fresh = std::make_shared<ModuleInstance>(m_loader, std::move(record), generation);
    std::shared_ptr<ModuleInstance> previous;
    {
        std::unique_lock exchange(m_exchange);
        const auto current = CurrentInstance();
        const intptr_t r = fresh->Call(kComponentReqHandOver, current ? current->handle() : 0);
        if (r != kResultOk && r != kResultNotServed) return false;  // `fresh` closes its handle
        std::lock_guard guard(m_mutex);
        previous = std::exchange(m_current, std::move(fresh));
    }
    // The old instance closes once its last user lets go, outside the locks.
    previous.reset();
    return true;
}

template <class MutexT, class RWLockT>
void ModuleManager<MutexT, RWLockT>::CloseComponent() {
    std::shared_ptr<ModuleInstance> previous;
    {
        std::unique_lock exchange(m_exchange);
        std::lock_guard guard(m_mutex);
        previous = std::move(m_current);
    }
    previous.reset();
}

template <class MutexT, class RWLockT>
std::shared_ptr<ModuleInstance> ModuleManager<MutexT, RWLockT>::CurrentInstance() {
    std::lock_guard guard(m_mutex);
    return m_current;
}

template class ModuleManager<TavOsApi::Mutex, TavOsApi::RWLock>;

ComponentHolder& SecondInterfaceHolder() {
    static ComponentHolder holder(ModuleLoader::Global(), kComponentSecond);
    return holder;
}

ComponentHolder& FirstInterfaceHolder() {
    static ComponentHolder holder(ModuleLoader::Global(), kComponentFirst);
    return holder;
}

bool StartProductModule() {
    const bool loaded = ModuleLoader::Global().StartModule();
    SecondInterfaceHolder().OpenComponent();
    FirstInterfaceHolder().OpenComponent();
    return loaded;
}

void StopProductModule() {
    SecondInterfaceHolder().CloseComponent();
    FirstInterfaceHolder().CloseComponent();
    std::unique_ptr<ModuleRecord> none;
    ModuleLoader::Global().SetModule(none);
}

}  // namespace korv
