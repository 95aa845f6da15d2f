#include "platform/event.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

namespace korv::platform {
namespace {

using namespace std::chrono_literals;
constexpr WaitTimeout kPoll = 0ms;

TEST(Event, ResetKinds) {
  const struct {
    EventReset kind;
    bool second_wait;  // does a second wait after one set succeed?
  } cases[] = {{EventReset::manual, true}, {EventReset::automatic, false}};
  for (const auto& c : cases) {
    Event e(c.kind);
    EXPECT_FALSE(e.wait(kPoll));
    e.set();
    EXPECT_TRUE(e.wait(kPoll));
    EXPECT_EQ(e.wait(kPoll), c.second_wait);
    EXPECT_EQ(e.is_set(), c.second_wait);
    e.set();
    e.reset();
    EXPECT_FALSE(e.wait(kPoll));
  }
  Event initially(EventReset::automatic, true);
  EXPECT_TRUE(initially.is_set());  // looking does not consume
  EXPECT_TRUE(initially.wait(kPoll));
  EXPECT_FALSE(initially.is_set());
}

TEST(Event, TimeoutElapses) {
  Event e(EventReset::manual);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(e.wait(30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
}

TEST(Event, WaitAnyPicksFirstSetAndConsumesOnlyIt) {
  Event a(EventReset::automatic), b(EventReset::automatic), c(EventReset::manual);
  std::array<Event*, 3> set{&a, &b, &c};
  EXPECT_EQ(wait_any(set, kPoll), kWaitTimedOut);
  b.set();
  c.set();
  EXPECT_EQ(wait_any(set, kPoll), 1u);
  EXPECT_FALSE(b.is_set());
  EXPECT_TRUE(c.is_set());
  EXPECT_EQ(wait_any(set, kPoll), 2u);
  EXPECT_EQ(wait_any(set, kPoll), 2u);  // manual stays set
  EXPECT_EQ(wait_any(std::span<Event* const>{}, kPoll), kWaitTimedOut);
}

TEST(Event, WaitAllConsumesNothingUnlessAllAreSet) {
  Event a(EventReset::automatic), b(EventReset::automatic), m(EventReset::manual);
  std::array<Event*, 3> set{&a, &b, &m};
  a.set();
  m.set();
  EXPECT_FALSE(wait_all(set, 10ms));
  EXPECT_TRUE(a.is_set());
  b.set();
  EXPECT_TRUE(wait_all(set, kPoll));
  EXPECT_FALSE(a.is_set());
  EXPECT_FALSE(b.is_set());
  EXPECT_TRUE(m.is_set());
}

TEST(Event, SetFromAnotherThreadWakesWaiter) {
  Event e(EventReset::automatic);
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    e.set();
  });
  EXPECT_TRUE(e.wait());  // no timeout
  setter.join();
  EXPECT_FALSE(e.is_set());
}

TEST(Event, OneSetOfAnAutoEventReleasesExactlyOneWaiter) {
  Event e(EventReset::automatic);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      if (e.wait(300ms)) ++woken;
    });
  std::this_thread::sleep_for(50ms);
  e.set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 1);
}

TEST(Event, ManualSetReleasesAllWaiters) {
  Event e(EventReset::manual);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      if (e.wait(5s)) ++woken;
    });
  e.set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 4);
}

// wait_all must never take a from the set while a competing waiter takes b.
TEST(Event, WaitAllIsAtomicAgainstCompetingWaiter) {
  for (int round = 0; round < 20; ++round) {
    Event a(EventReset::automatic), b(EventReset::automatic);
    std::array<Event*, 2> both{&a, &b};
    bool all_won = false, single_won = false;
    std::thread all([&] { all_won = wait_all(both, 100ms); });
    std::thread single([&] { single_won = b.wait(100ms); });
    a.set();
    b.set();
    all.join();
    single.join();
    ASSERT_NE(all_won, single_won) << "round " << round;
    EXPECT_EQ(a.is_set(), single_won) << "round " << round;
    EXPECT_FALSE(b.is_set());
  }
}

}  // namespace
}  // namespace korv::platform
