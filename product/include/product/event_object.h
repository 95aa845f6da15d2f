// The event objects the host creates for the module: one event or a fixed
// array of events behind one interface. The objects carry no lock: any
// thread may set, clear and wait; only destruction must not overlap use.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/event.h"

// The slot order of the virtual operations is part of what the module sees.
struct _tav_event_base {
    virtual ~_tav_event_base() = default;
    virtual void Set(uint32_t index) = 0;
    virtual void Clear(uint32_t index) = 0;
    // 0 (or the index of the signalled event) on success, -1 otherwise.
    virtual int WaitOwn(bool all, uint32_t milliseconds) = 0;
    virtual int Wait(uint32_t count, const uint32_t* indexes, bool all, uint32_t milliseconds) = 0;
};

struct _tav_event_single final : _tav_event_base {
    explicit _tav_event_single(bool manual);
    void Set(uint32_t index) override;
    void Clear(uint32_t index) override;
    int WaitOwn(bool all, uint32_t milliseconds) override;
    int Wait(uint32_t count, const uint32_t* indexes, bool all, uint32_t milliseconds) override;

private:
    korv::platform::Event m_event;
};

struct _tav_event_array final : _tav_event_base {
    _tav_event_array(uint32_t count, bool manual);
    void Set(uint32_t index) override;
    void Clear(uint32_t index) override;
    int WaitOwn(bool all, uint32_t milliseconds) override;
    int Wait(uint32_t count, const uint32_t* indexes, bool all, uint32_t milliseconds) override;

    uint32_t size() const { return static_cast<uint32_t>(m_events.size()); }

private:
    int WaitOn(const std::vector<korv::platform::Event*>& events, bool all, uint32_t milliseconds);

    std::vector<std::unique_ptr<korv::platform::Event>> m_events;  // fixed after construction
};

// Milliseconds value that waits without a time-out.
inline constexpr uint32_t kEventInfinite = 0xFFFFFFFF;
// Above this count the factory fails as the array's length error does.
inline constexpr uint32_t kEventArrayMaxLength = 0x3FFFFFFF;
// Above this count the events cannot all be created (the host's handle quota).
inline constexpr uint32_t kEventArrayMaxEvents = 0x10000;

// The most events one wait takes, as the host's wait primitive allows; a wait on
// more fails at once, without consuming any of them.
inline constexpr uint32_t kEventWaitMaxObjects = 64;

// One event for count 1, else an array of `count` events; null on any failure.
std::unique_ptr<_tav_event_base> CreateEventObject(uint32_t count, bool manual);
