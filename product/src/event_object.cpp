#include "product/event_object.h"

#include <new>
#include <stdexcept>

#include "host_groups.h"
#include "product/module_abi.h"

using korv::platform::Event;
using korv::platform::EventReset;
using korv::platform::WaitTimeout;

namespace {

constexpr int kWaitFailed = -1;
// Indexes at or above this answer of a wait-any count as failures.
constexpr size_t kWaitAnyLimit = 128;

WaitTimeout Timeout(uint32_t milliseconds) {
    if (milliseconds == kEventInfinite) return std::nullopt;
    return std::chrono::milliseconds(milliseconds);
}

EventReset Mode(bool manual) { return manual ? EventReset::manual : EventReset::automatic; }

}  // namespace

_tav_event_single::_tav_event_single(bool manual) : m_event(Mode(manual)) {}

void _tav_event_single::Set(uint32_t index) {
    if (index == 0) m_event.set();
}

void _tav_event_single::Clear(uint32_t index) {
    if (index == 0) m_event.reset();
}

int _tav_event_single::WaitOwn(bool, uint32_t milliseconds) {
    return m_event.wait(Timeout(milliseconds)) ? 0 : kWaitFailed;
}

int _tav_event_single::Wait(uint32_t count, const uint32_t* indexes, bool all, uint32_t milliseconds) {
    if (count != 1 || indexes == nullptr || indexes[0] != 0) return kWaitFailed;
    return WaitOwn(all, milliseconds);
}

_tav_event_array::_tav_event_array(uint32_t count, bool manual) {
    if (count > kEventArrayMaxLength) throw std::length_error("event array");
    if (count > kEventArrayMaxEvents) throw std::runtime_error("");
    m_events.reserve(count);
    for (uint32_t i = 0; i < count; ++i) m_events.push_back(std::make_unique<Event>(Mode(manual)));
}

void _tav_event_array::Set(uint32_t index) {
    if (index < m_events.size()) m_events[index]->set();
}

void _tav_event_array::Clear(uint32_t index) {
    if (index < m_events.size()) m_events[index]->reset();
}

int _tav_event_array::WaitOn(const std::vector<Event*>& events, bool all, uint32_t milliseconds) {
    // Refused before waiting: a wait that found its answer only to report failure
    // would already have consumed an automatic event.
    if (events.size() > kEventWaitMaxObjects) return kWaitFailed;
    if (all) {
        // Only a time-out is a failure of a wait on all events.
        return korv::platform::wait_all(events, Timeout(milliseconds)) ? 0 : kWaitFailed;
    }
    const size_t index = korv::platform::wait_any(events, Timeout(milliseconds));
    return index < kWaitAnyLimit ? static_cast<int>(index) : kWaitFailed;
}

int _tav_event_array::WaitOwn(bool all, uint32_t milliseconds) {
    std::vector<Event*> events;
    try {
        events.reserve(m_events.size());
    } catch (const std::bad_alloc&) {
        return kWaitFailed;
    }
    for (const auto& e : m_events) events.push_back(e.get());
    return WaitOn(events, all, milliseconds);
}

int _tav_event_array::Wait(uint32_t count, const uint32_t* indexes, bool all, uint32_t milliseconds) {
    if (count > 0 && indexes == nullptr) return kWaitFailed;
    for (uint32_t i = 0; i < count; ++i) {
        if (indexes[i] >= m_events.size()) return kWaitFailed;
    }
    std::vector<Event*> events;
    try {
        events.reserve(count);
    } catch (const std::bad_alloc&) {
        return kWaitFailed;
    }
    for (uint32_t i = 0; i < count; ++i) events.push_back(m_events[indexes[i]].get());
    return WaitOn(events, all, milliseconds);
}

std::unique_ptr<_tav_event_base> CreateEventObject(uint32_t count, bool manual) {
    try {
        if (count == 1) return std::make_unique<_tav_event_single>(manual);
        return std::make_unique<_tav_event_array>(count, manual);
    } catch (const std::exception&) {
        return nullptr;
    }
}

namespace korv::host {

intptr_t Events(intptr_t code, const intptr_t* a) {
    auto* object = Ptr<_tav_event_base>(a[0]);
    switch (code) {
    case kHostEventCreate:
    case kHostEventCreateMode: {
        const bool manual = code == kHostEventCreateMode && a[1] != 0;
        const intptr_t out = code == kHostEventCreate ? a[1] : a[2];
        auto created = CreateEventObject(static_cast<uint32_t>(a[0]), manual);
        if (out != 0) *Ptr<_tav_event_base*>(out) = created.release();
        return kResultOk;
    }
    case kHostEventSet:
    case kHostEventClear:
        if (object == nullptr) return kResultNullPointer;
        if (code == kHostEventSet) {
            object->Set(static_cast<uint32_t>(a[1]));
        } else {
            object->Clear(static_cast<uint32_t>(a[1]));
        }
        return kResultOk;
    case kHostEventWait: {
        if (object == nullptr) return kResultNullPointer;
        const int r = object->Wait(static_cast<uint32_t>(a[1]), Ptr<const uint32_t>(a[2]), a[3] != 0,
                                   static_cast<uint32_t>(a[4]));
        if (a[5] != 0) *Ptr<int32_t>(a[5]) = r;
        return kResultOk;
    }
    case kHostEventDestroy:
    {
        // Made by CreateEventObject and handed to the module as a bare pointer.
        std::unique_ptr<_tav_event_base> owned(object);
        return kResultOk;
    }
    default:
        return kResultNotServed;
    }
}

}  // namespace korv::host
