// Event objects: single and array, set/clear/wait edge cases, the factory,
// and the host services that reach them.
#include "product/event_object.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "product/host_services.h"
#include "test_support.h"

namespace {

TEST(EventObject, FactoryMakesSingleArrayOrNothing) {
    auto single = CreateEventObject(1, true);
    ASSERT_NE(single, nullptr);
    EXPECT_NE(dynamic_cast<_tav_event_single*>(single.get()), nullptr);
    auto three = CreateEventObject(3, false);
    ASSERT_NE(dynamic_cast<_tav_event_array*>(three.get()), nullptr);
    EXPECT_EQ(dynamic_cast<_tav_event_array*>(three.get())->size(), 3u);
    auto none = CreateEventObject(0, false);
    ASSERT_NE(dynamic_cast<_tav_event_array*>(none.get()), nullptr);
    EXPECT_EQ(none->WaitOwn(false, 0), -1) << "nothing to wait for";
    EXPECT_EQ(CreateEventObject(0x40000000, false), nullptr) << "length error";
}

TEST(EventObject, SingleIgnoresOtherIndexes) {
    auto e = CreateEventObject(1, true);
    e->Set(1);
    const uint32_t one[] = {1};
    const uint32_t zero[] = {0};
    EXPECT_EQ(e->Wait(1, one, false, 0), -1);
    EXPECT_EQ(e->Wait(1, zero, false, 0), -1) << "Set(1) did nothing";
    e->Set(0);
    EXPECT_EQ(e->Wait(1, zero, false, 0), 0);
    EXPECT_EQ(e->WaitOwn(false, 0), 0) << "manual: stays set";
    EXPECT_EQ(e->Wait(2, zero, false, 0), -1) << "count must be 1";
    e->Clear(1);
    EXPECT_EQ(e->WaitOwn(false, 0), 0);
    e->Clear(0);
    EXPECT_EQ(e->WaitOwn(false, 0), -1);
}

TEST(EventObject, AutomaticEventsAreConsumedByAWait) {
    auto e = CreateEventObject(1, false);
    e->Set(0);
    EXPECT_EQ(e->WaitOwn(false, 0), 0);
    EXPECT_EQ(e->WaitOwn(false, 0), -1);
}

TEST(EventObject, ArrayWaitsAnyAllAndLists) {
    auto a = CreateEventObject(3, true);
    a->Set(2);
    EXPECT_EQ(a->WaitOwn(false, 0), 2);
    EXPECT_EQ(a->WaitOwn(true, 0), -1);
    const uint32_t outOfRange[] = {0, 5};
    EXPECT_EQ(a->Wait(2, outOfRange, false, kEventInfinite), -1) << "answers at once";
    const uint32_t twoOnly[] = {2};
    EXPECT_EQ(a->Wait(1, twoOnly, false, 0), 0) << "index in the list";
    a->Set(0);
    a->Set(1);
    EXPECT_EQ(a->WaitOwn(true, 0), 0);
    a->Set(7);  // ignored
    a->Clear(7);
    a->Clear(1);
    const uint32_t oneAndTwo[] = {1, 2};
    EXPECT_EQ(a->Wait(2, oneAndTwo, true, 0), -1);
    EXPECT_EQ(a->Wait(2, oneAndTwo, false, 0), 1) << "event 2 is second in the list";
}

TEST(EventObject, AWaitOnMoreThan64EventsFailsWithoutConsumingAny) {
    const struct {
        const char* name;
        uint32_t events;  // automatic events in the array
        uint32_t waitOn;  // how many of them the wait lists (0: WaitOwn over all)
        bool all;
        int expected;
    } cases[] = {
        {"64 of 64, any", 64, 0, false, 63},
        {"64 of 64, all", 64, 0, true, 0},
        {"65 of 65, any", 65, 0, false, -1},
        {"200 of 200, any", 200, 0, false, -1},
        {"200 of 200, all", 200, 0, true, -1},
        {"64 listed of 200, any", 200, 64, false, 63},
        {"65 listed of 200, any", 200, 65, false, -1},
        {"65 listed of 200, all", 200, 65, true, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto a = CreateEventObject(c.events, false);
        ASSERT_NE(a, nullptr);
        // The last event the wait covers is set (all of them for a wait on all).
        const uint32_t covered = c.waitOn == 0 ? c.events : c.waitOn;
        for (uint32_t i = c.all ? 0 : covered - 1; i < covered; ++i) a->Set(i);
        std::vector<uint32_t> listed(covered);
        for (uint32_t i = 0; i < covered; ++i) listed[i] = i;
        const int r = c.waitOn == 0 ? a->WaitOwn(c.all, 0) : a->Wait(covered, listed.data(), c.all, 0);
        EXPECT_EQ(r, c.expected);
        const uint32_t last[] = {covered - 1};
        if (c.expected < 0)
            EXPECT_EQ(a->Wait(1, last, false, 0), 0) << "the refused wait left the event set";
        else
            EXPECT_EQ(a->Wait(1, last, false, 0), -1) << "the wait consumed it";
    }
}

TEST(EventObject, AWaitReturnsWhenAnotherThreadSets) {
    auto a = CreateEventObject(2, false);
    std::thread setter([&] { a->Set(1); });
    EXPECT_EQ(a->WaitOwn(false, kEventInfinite), 1);
    setter.join();
}

TEST(EventObject, HostServicesCreateSetWaitAndDestroy) {
    _tav_event_base* object = nullptr;
    ASSERT_EQ(korv::test::CallHost(kHostEventCreateMode, 3, 1, reinterpret_cast<intptr_t>(&object)), kResultOk);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(korv::test::CallHost(kHostEventSet, reinterpret_cast<intptr_t>(object), 1), kResultOk);
    const uint32_t indexes[] = {0, 1};
    int32_t result = 99;
    // Argument-block form of the six-argument wait.
    const intptr_t block[] = {reinterpret_cast<intptr_t>(object), 2, reinterpret_cast<intptr_t>(indexes), 0, 0,
                              reinterpret_cast<intptr_t>(&result)};
    EXPECT_EQ(korv::test::CallHost(kHostEventWait | kCallArgBlock, reinterpret_cast<intptr_t>(block)), kResultOk);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(korv::test::CallHost(kHostEventClear, reinterpret_cast<intptr_t>(object), 1), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostEventWait | kCallArgBlock, reinterpret_cast<intptr_t>(block)), kResultOk);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(korv::test::CallHost(kHostEventDestroy, reinterpret_cast<intptr_t>(object)), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostEventDestroy, 0), kResultOk) << "nothing for null";

    _tav_event_base* failed = reinterpret_cast<_tav_event_base*>(1);
    EXPECT_EQ(korv::test::CallHost(kHostEventCreate, 0x40000000, reinterpret_cast<intptr_t>(&failed)), kResultOk);
    EXPECT_EQ(failed, nullptr) << "a failed creation stores null";
    EXPECT_EQ(korv::test::CallHost(kHostEventCreate, 1, 0), kResultOk) << "no out pointer: nothing stored, nothing kept";
    EXPECT_EQ(korv::test::CallHost(kHostEventSet, 0, 0), kResultNullPointer);
}

}  // namespace
