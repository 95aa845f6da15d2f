// The product service killed in the middle of a call and started again, and a service that
// answers garbage to the log-kind query. Every wait is bounded: a hang fails the test.

#include <gtest/gtest.h>
#include <signal.h>

#include <future>

#include "ipc_helpers.h"
#include "logmodel/log_type.h"
#include "product/comm.h"
#include "service_process.h"

namespace korv::test {
namespace {

using korv::testing::kCommandEcho;
using korv::testing::ObjectRoot;
using korv::testing::Pattern;
using korv::testing::ServiceProcess;
using namespace std::chrono_literals;

// Far longer than any sound call takes; a call still running then is hung.
constexpr auto kHang = 20s;

std::unique_ptr<CommImp> NewComm() {
  auto client = std::make_unique<CTavcommAlpcClient>();
  EXPECT_EQ(client->Initialize(kTavcommClientId, kTavcommServerId, 0), 0);
  return std::make_unique<CommImp>(std::move(client));
}

int Echo(IComm& comm, const std::vector<std::uint8_t>& body, std::vector<std::uint8_t>& reply) {
  reply.clear();
  reply.reserve(body.size() + 16);
  return comm.Call(kCommandEcho, 0, 0, body, reply);
}

TEST(ServiceFaults, KilledInTheMiddleOfACallThenRestarted) {
  ObjectRoot root;
  auto comm = NewComm();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    {
      ServiceProcess slow({"--delay", "5000"});
      ASSERT_TRUE(slow.running());
      auto call = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> reply;
        return Echo(*comm, Pattern(32, 1), reply);
      });
      std::this_thread::sleep_for(200ms);  // the request is out, the reply is 5 s away
      slow.stop(SIGKILL);
      ASSERT_EQ(call.wait_for(kHang), std::future_status::ready) << "the call hangs on a dead service";
      EXPECT_EQ(call.get(), kCommCallFailed);
    }
    // Nobody listens now: the call fails at once instead of waiting.
    std::vector<std::uint8_t> reply;
    EXPECT_EQ(Echo(*comm, Pattern(8, 2), reply), kCommCallFailed);

    ServiceProcess again;
    ASSERT_TRUE(again.running());
    const std::vector<std::uint8_t> body = Pattern(100, std::uint8_t(round));
    ASSERT_EQ(Echo(*comm, body, reply), 0) << "the client connects to the new service";
    EXPECT_EQ(reply, body);
    EXPECT_FALSE(QueryServiceLogKinds(*comm).empty()) << "the log-kind query works again";
  }
}

TEST(ServiceFaults, KilledServiceDuringConcurrentCallsReleasesEveryCaller) {
  ObjectRoot root;
  auto comm = NewComm();
  ServiceProcess slow({"--delay", "5000"});
  ASSERT_TRUE(slow.running());
  std::vector<std::future<int>> calls;
  for (int i = 0; i < 4; ++i)
    calls.push_back(std::async(std::launch::async, [&, i] {
      std::vector<std::uint8_t> reply;
      return Echo(*comm, Pattern(16, std::uint8_t(i)), reply);
    }));
  std::this_thread::sleep_for(200ms);
  slow.stop(SIGKILL);
  for (auto& call : calls) {
    ASSERT_EQ(call.wait_for(kHang), std::future_status::ready);
    EXPECT_EQ(call.get(), kCommCallFailed);
  }
}

TEST(ServiceFaults, GarbageAnswersToTheLogKindQueryGiveNoKindsOrOnlyThoseInTheMessage) {
  std::map<std::int32_t, std::int32_t> sound;
  {
    ObjectRoot root;
    ServiceProcess service;
    ASSERT_TRUE(service.running());
    sound = QueryServiceLogKinds(*NewComm());
    ASSERT_FALSE(sound.empty());
  }
  struct Case {
    std::vector<std::string> args;
    bool kinds;  // the answer still carries the sound entries
  };
  const Case cases[] = {
      {{"--fault", "short"}, false},
      {{"--fault", "bad-header"}, false},
      {{"--fault", "long-body"}, false},
      {{"--fault", "huge-count"}, true},  // a count of 2^28: only the entries that arrived count
      {{"--fault", "transport-short"}, false},
      {{"--fault", "small-view"}, false},
      {{"--fault", "view-flags"}, false},
      {{"--status", "77"}, false},
      {{"--command-status", "5"}, false},  // "too small" for ever: the growth stops
      {{"--command-status", "1"}, false},
      {{"--refuse"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    ObjectRoot root;
    ServiceProcess service(c.args);
    ASSERT_TRUE(service.running());
    auto comm = NewComm();
    auto query = std::async(std::launch::async, [&] { return QueryServiceLogKinds(*comm); });
    ASSERT_EQ(query.wait_for(kHang), std::future_status::ready);
    const auto kinds = query.get();
    if (c.kinds)
      EXPECT_EQ(kinds, sound);
    else
      EXPECT_TRUE(kinds.empty()) << kinds.size() << " kinds";
    // The table built from that answer offers only kinds the service reported.
    for (const LOG_INFO& entry : MakeLogTable(kinds))
      if (entry.m_nServiceValue != -1) {
        EXPECT_TRUE(kinds.count(entry.m_nTypeId)) << entry.m_nTypeId;
      }
  }
}

}  // namespace
}  // namespace korv::test
