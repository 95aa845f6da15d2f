// A component instance held for a run of calls.
#pragma once

#include <cstdint>
#include <memory>

#include "product/module_manager.h"

namespace korv {

// The module held and a component's instance kept for a run of calls (a decoding lane's block
// of records, the retries of one request): the calls in between take no lock and touch no
// count that other threads write. A module exchange waits for the run to end; a run that
// starts while an exchange waits lets the exchange go first.
class HeldInstance {
public:
    HeldInstance() = default;
    // The holder's current instance for a run (nothing held when there is none).
    explicit HeldInstance(ComponentHolder* holder);
    // `instance` for one request; the caller keeps it alive meanwhile.
    explicit HeldInstance(const ModuleInstance* instance);
    HeldInstance(const HeldInstance&) = delete;
    HeldInstance& operator=(const HeldInstance&) = delete;
    HeldInstance(HeldInstance&& other) noexcept { *this = std::move(other); }
    HeldInstance& operator=(HeldInstance&& other) noexcept;
    ~HeldInstance() { Release(); }

    // Lets the module go; calls answer 7015 afterwards.
    void Release();

    // True when calls reach the instance: the module that opened it is the one held.
    explicit operator bool() const { return m_instance != nullptr; }

    template <class... Args>
    intptr_t Call(intptr_t code, Args... args) const {
        if (m_instance == nullptr) return kResultNoModule;
        return m_instance->function()(code, detail::ToArg(args)...);
    }

private:
    void Take(const ModuleInstance* instance, bool run);

    ModuleLoader* m_loader = nullptr;             // the loader held shared, null when none
    std::shared_ptr<ModuleInstance> m_keep;       // keeps a holder's instance open for the run
    const ModuleInstance* m_instance = nullptr;   // the instance to call, null when unusable
};

}  // namespace korv
