#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ipc_helpers.h"
#include "product/tavcomm_client.h"
#include "service_process.h"

using namespace korv::testing;

namespace {

// Bounds every call of these tests, so that a fault shows as a failure.
constexpr std::int64_t kTimeoutMs = 10000;

class TransportTest : public ::testing::Test {
 protected:
  void StartService(std::vector<std::string> args = {}) {
    service_ = std::make_unique<ServiceProcess>(std::move(args));
    ASSERT_TRUE(service_->running()) << "korv-productd did not start";
  }
  void SetUp() override {
    ASSERT_EQ(client_.Initialize(kTavcommClientId, kTavcommServerId, 0), 0);
  }
  void TearDown() override { client_.Disconnect(); }

  // Sends a framed command; answers the transport result and the reply data.
  int Send(const std::vector<std::uint8_t>& payload, std::vector<std::uint8_t>& reply,
           std::int64_t timeout = kTimeoutMs) {
    return client_.SendReceive(0, 3, payload.data(), static_cast<std::uint32_t>(payload.size()),
                               &reply, timeout);
  }

  ObjectRoot root_;
  std::unique_ptr<ServiceProcess> service_;
  CTavcommAlpcClient client_;
};

TEST_F(TransportTest, InitializeRules) {
  CTavcommAlpcClient fresh;
  EXPECT_EQ(fresh.Initialize(1, 2, 0x2), 10);
  EXPECT_EQ(fresh.Initialize(1, 2, 0), 0);
  EXPECT_EQ(fresh.Initialize(3, 4, 0), 4);
  fresh.Disconnect();
  // After Disconnect the ids are forgotten and may be set again.
  EXPECT_EQ(fresh.Initialize(3, 4, 0), 0);
  fresh.Disconnect();

  // The second Initialize keeps the first ids: the client still reaches the service.
  StartService();
  EXPECT_EQ(client_.Initialize(0x11111111, 0x22222222, 0), 4);
  std::vector<std::uint8_t> reply;
  EXPECT_EQ(Send(Frame(kCommandEcho, 0, Pattern(10, 1)), reply), 0);
}

TEST_F(TransportTest, FailsWithoutServiceOrIds) {
  std::vector<std::uint8_t> reply;
  auto payload = Frame(kCommandEcho, 0, {});
  EXPECT_EQ(Send(payload, reply), 1) << "no service";
  StartService();
  CTavcommAlpcClient uninitialised;
  EXPECT_EQ(uninitialised.SendReceive(0, 3, payload.data(), 12, &reply, kTimeoutMs), 1);
  client_.Disconnect();
  EXPECT_EQ(Send(payload, reply), 1) << "after Disconnect";
}

TEST_F(TransportTest, PayloadGoesInlineUpTo65479Bytes) {
  StartService();
  struct Case {
    std::uint32_t payload_length;
    std::uint32_t in_view;
  } cases[] = {{12, 0}, {65479, 0}, {65480, 1}, {200000, 1}};
  for (const Case& c : cases) {
    auto body = Pattern(c.payload_length - 12, static_cast<std::uint8_t>(c.payload_length));
    std::vector<std::uint8_t> reply;
    ASSERT_EQ(Send(Frame(kCommandEcho, 0, body), reply), 0) << c.payload_length;
    EXPECT_EQ(Word(reply, 4), 0u);
    EXPECT_TRUE(reply.size() == 12 + body.size() &&
                std::equal(body.begin(), body.end(), reply.begin() + 12))
        << c.payload_length;
    Statistics s{};
    ASSERT_TRUE(QueryStatistics(client_, s));
    EXPECT_EQ(s.last_in_view, c.in_view) << c.payload_length;
    EXPECT_EQ(s.last_length, c.payload_length);
  }
}

TEST_F(TransportTest, OneWaySendsReachTheServiceUnanswered) {
  StartService();
  struct Case {
    std::uint32_t length;
    std::uint32_t in_view;
  } cases[] = {{65479, 0}, {65480, 1}};
  std::uint32_t sent = 0;
  for (const Case& c : cases) {
    auto payload = Frame(kCommandEcho, 0, Pattern(c.length - 12, 3));
    std::uint32_t got = 77;
    EXPECT_EQ(client_.SendReceive(kTavcommOneWay, 3, payload.data(), c.length, nullptr, 0, &got, 0),
              0);
    EXPECT_EQ(got, 0u);
    ++sent;
    // The service handles the messages of a connection in order, so the
    // one-way message has been seen when the statistics request is answered.
    Statistics s{};
    ASSERT_TRUE(QueryStatistics(client_, s));
    EXPECT_EQ(s.one_way, sent);
    EXPECT_EQ(s.last_in_view, c.in_view);
    EXPECT_EQ(s.last_length, c.length);
  }
}

TEST_F(TransportTest, ReplyInlineUpTo65487BytesThenInAView) {
  StartService();
  for (std::uint32_t n : {12u, 65486u, 65487u, 65488u, 300000u}) {
    auto payload = Frame(kCommandFill, n - 12, {});
    std::vector<std::uint8_t> growable;
    ASSERT_EQ(Send(payload, growable), 0) << n;
    ASSERT_EQ(growable.size(), n);
    auto expected = FillBytes(n - 12);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), growable.begin() + 12)) << n;

    std::vector<std::uint8_t> fixed(n);
    std::uint32_t got = 0;
    ASSERT_EQ(client_.SendReceive(0, 3, payload.data(), 12, fixed.data(), n, &got, kTimeoutMs), 0);
    EXPECT_EQ(got, n);
    EXPECT_EQ(fixed, growable);
  }
}

TEST_F(TransportTest, FixedBufferTooSmallAnswers6) {
  StartService();
  auto payload = Frame(kCommandFill, 100, {});
  // The service sees a capacity below its reply and answers status 5 with what fits;
  // a growable request has no limit.
  std::vector<std::uint8_t> fixed(50);
  std::uint32_t got = 0;
  ASSERT_EQ(client_.SendReceive(0, 3, payload.data(), 12, fixed.data(), 50, &got, kTimeoutMs), 0);
  EXPECT_EQ(got, 50u);
  EXPECT_EQ(Word(fixed, 4), 5u);
  // Capacity 0 with a fixed buffer: the 12-byte header alone does not fit.
  std::uint8_t none[1];
  EXPECT_EQ(client_.SendReceive(0, 3, payload.data(), 12, none, 0, &got, kTimeoutMs), 6);
}

TEST_F(TransportTest, GrowableBufferKeepsItsGrowthRule) {
  StartService();
  std::vector<std::uint8_t> reply;
  reply.reserve(100);
  ASSERT_EQ(Send(Frame(kCommandFill, 100 - 12 + 1, {}), reply), 0);
  EXPECT_EQ(reply.size(), 101u);
  EXPECT_EQ(reply.capacity(), 150u) << "max(length + 1, capacity * 1.5)";
  ASSERT_EQ(Send(Frame(kCommandFill, 10, {}), reply), 0);
  EXPECT_EQ(reply.size(), 22u);
}

TEST_F(TransportTest, ServiceStatusIsPassedThroughWithoutData) {
  StartService({"--status", "77"});
  std::vector<std::uint8_t> reply = {1, 2, 3};
  EXPECT_EQ(Send(Frame(kCommandEcho, 0, Pattern(5, 1)), reply), 77);
  EXPECT_EQ(reply.size(), 3u) << "no data copied";
}

TEST_F(TransportTest, AServiceStatusOfOneIsNotTakenForABrokenConnection) {
  // 1 is also this client's own "connection broken", after which it reconnects and sends the
  // request again; the service's 1 comes back as another code, once.
  StartService({"--status", "1"});
  std::vector<std::uint8_t> reply = {1, 2, 3};
  EXPECT_EQ(Send(Frame(kCommandEcho, 0, Pattern(5, 1)), reply), kTavcommServiceStatusOne);
  EXPECT_EQ(reply.size(), 3u) << "no data copied";
}

TEST_F(TransportTest, MalformedRequestsAreAnsweredAsErrors) {
  StartService();
  std::vector<std::uint8_t> reply;
  auto good = Frame(kCommandEcho, 0, {});
  std::vector<std::uint8_t> short_frame = {12, 0, 0, 0};
  auto bad_magic = good;
  bad_magic[0] = 13;
  EXPECT_EQ(Send(short_frame, reply), 87);
  EXPECT_EQ(Send(bad_magic, reply), 87);
  EXPECT_EQ(client_.SendReceive(0, 4, good.data(), 12, &reply, kTimeoutMs), 87) << "message type";
  EXPECT_EQ(Send(good, reply), 0) << "the service goes on serving";
}

TEST_F(TransportTest, ReplyFaultsFailTheCall) {
  struct Case {
    const char* fault;
    int result;
  } cases[] = {{"transport-short", 1}, {"small-view", 1}, {"view-flags", 1}};
  for (const Case& c : cases) {
    StartService({"--fault", c.fault});
    std::vector<std::uint8_t> reply;
    EXPECT_EQ(Send(Frame(kCommandEcho, 0, Pattern(20, 1)), reply), c.result) << c.fault;
    service_.reset();
  }
}

TEST_F(TransportTest, RefusedConnectionFails) {
  StartService({"--refuse"});
  std::vector<std::uint8_t> reply;
  EXPECT_EQ(Send(Frame(kCommandEcho, 0, {}), reply), 1);
}

TEST_F(TransportTest, ReleaseRequestedRepliesAreReleased) {
  StartService({"--release"});
  std::vector<std::uint8_t> reply;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Send(Frame(kCommandEcho, 0, Pattern(8, 2)), reply), 0);
  Statistics s{};
  ASSERT_TRUE(QueryStatistics(client_, s));
  EXPECT_EQ(s.releases, 3u);
  EXPECT_EQ(s.requests, 4u) << "releases are not requests";
}

TEST_F(TransportTest, AttributesFollowTheLocalSystemTest) {
  StartService();
  Statistics s{};
  ASSERT_TRUE(QueryStatistics(client_, s));
  const bool local_system = ::geteuid() == 0;
  EXPECT_EQ(s.attribute_flags, local_system ? 0u : 0x10000u);
  EXPECT_EQ(s.impersonation_level, local_system ? 1u : 2u);
}

TEST_F(TransportTest, ReconnectsInsideTheCallAfterARestart) {
  StartService();
  std::vector<std::uint8_t> reply;
  ASSERT_EQ(Send(Frame(kCommandEcho, 0, Pattern(4, 1)), reply), 0);
  ASSERT_EQ(service_->stop(), 0) << "SIGTERM ends the service cleanly";
  ASSERT_TRUE(service_->start());
  auto body = Pattern(40, 2);
  ASSERT_EQ(Send(Frame(kCommandEcho, 0, body), reply), 0);
  EXPECT_TRUE(std::equal(body.begin(), body.end(), reply.begin() + 12));
  Statistics s{};
  ASSERT_TRUE(QueryStatistics(client_, s));
  EXPECT_EQ(s.connections, 1u) << "one connection to the new service";
}

TEST_F(TransportTest, TimeOutAnswers9AndTheLateReplyIsNotTakenForTheNext) {
  StartService({"--delay", "400"});
  std::vector<std::uint8_t> reply;
  EXPECT_EQ(Send(Frame(kCommandEcho, 0, Pattern(16, 1)), reply, 50), 9);
  auto body = Pattern(16, 99);
  ASSERT_EQ(Send(Frame(kCommandEcho, 0, body), reply), 0);
  ASSERT_EQ(reply.size(), 28u);
  EXPECT_TRUE(std::equal(body.begin(), body.end(), reply.begin() + 12));
}

TEST_F(TransportTest, ConcurrentCallsEachGetTheirOwnReply) {
  StartService();
  constexpr int kThreads = 6, kCalls = 40;
  std::atomic<int> wrong{0}, failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        // Every fourth call is large enough for a section view.
        std::size_t size = (i % 4 == 3) ? 70000 : 16 + t * 10 + i;
        auto body = Pattern(size, static_cast<std::uint8_t>(t * 50 + i));
        std::vector<std::uint8_t> reply;
        if (Send(Frame(kCommandEcho, 0, body), reply) != 0) {
          ++failed;
        } else if (reply.size() != 12 + size ||
                   !std::equal(body.begin(), body.end(), reply.begin() + 12)) {
          ++wrong;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(TransportTest, CallsWithoutTimeOutReturnWhenTheServiceGoesAway) {
  StartService({"--delay", "30000"});
  std::atomic<int> result{-1};
  std::thread caller([&] {
    std::vector<std::uint8_t> reply;
    result = Send(Frame(kCommandEcho, 0, {}), reply, 0);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  service_->stop(SIGKILL);
  caller.join();  // hangs here if the wait did not end with the service
  EXPECT_EQ(result.load(), 1);
}

TEST_F(TransportTest, DisconnectMakesCallsInFlightReturn) {
  StartService({"--delay", "30000"});
  std::atomic<int> result{-1};
  std::thread caller([&] {
    std::vector<std::uint8_t> reply;
    result = Send(Frame(kCommandEcho, 0, {}), reply, 0);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  client_.Disconnect();
  caller.join();  // hangs here if Disconnect did not end the wait
  EXPECT_EQ(result.load(), 1) << "the retry finds the ids forgotten";
}

}  // namespace
