#include "product/held_instance.h"

#include <utility>

namespace korv {

HeldInstance::HeldInstance(ComponentHolder* holder) {
    if (holder == nullptr) return;
    m_keep = holder->CurrentInstance();
    Take(m_keep.get(), true);
}

HeldInstance::HeldInstance(const ModuleInstance* instance) { Take(instance, false); }

void HeldInstance::Take(const ModuleInstance* instance, bool run) {
    if (instance == nullptr || instance->function() == nullptr) return;
    ModuleLoader& loader = instance->loader();
    const ModuleRecord* module = run ? loader.AcquireModuleForRun() : loader.AcquireModule();
    if (module == nullptr) return;
    m_loader = &loader;
    // A handle of an earlier module load is not this module's to serve.
    if (module->generation == instance->generation()) m_instance = instance;
}

HeldInstance& HeldInstance::operator=(HeldInstance&& other) noexcept {
    if (this != &other) {
        Release();
        m_loader = std::exchange(other.m_loader, nullptr);
        m_keep = std::move(other.m_keep);
        m_instance = std::exchange(other.m_instance, nullptr);
    }
    return *this;
}

void HeldInstance::Release() {
    m_instance = nullptr;
    if (m_loader != nullptr) std::exchange(m_loader, nullptr)->ReleaseModule();
    // The instance may close here (its last user), with the module no longer held by this run.
    m_keep.reset();
}

}  // namespace korv
