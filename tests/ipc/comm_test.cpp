#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ipc_helpers.h"
#include "product/comm.h"
#include "service_process.h"

using namespace korv::testing;

namespace {

std::unique_ptr<CommImp> NewComm() {
  auto client = std::make_unique<CTavcommAlpcClient>();
  EXPECT_EQ(client->Initialize(kTavcommClientId, kTavcommServerId, 0), 0);
  return std::make_unique<CommImp>(std::move(client));
}

std::vector<std::uint8_t> WithCapacity(std::size_t capacity) {
  std::vector<std::uint8_t> v;
  v.reserve(capacity);
  return v;
}

TEST(CommCall, WithoutClientAnswers12) {
  CommImp empty;
  auto reply = WithCapacity(10);
  EXPECT_EQ(empty.Call(kCommandEcho, 0, 0, {}, reply), kCommCallFailed);
}

TEST(CommCall, WithoutServiceAnswers12) {
  ObjectRoot root;
  auto comm = NewComm();
  auto reply = WithCapacity(64);
  EXPECT_EQ(comm->Call(kCommandEcho, 0, 0, {1, 2}, reply), kCommCallFailed);
}

TEST(CommCall, DeliversTheReplyBody) {
  ObjectRoot root;
  ServiceProcess service;
  ASSERT_TRUE(service.running());
  auto comm = NewComm();
  auto body = Pattern(300, 4);
  auto reply = WithCapacity(300);
  reply.push_back(0xEE);  // replaced, not appended to
  EXPECT_EQ(comm->Call(kCommandEcho, 0, 0, body, reply), 0);
  EXPECT_EQ(reply, body);
  EXPECT_EQ(comm->Call(kCommandEcho, 0, 0, {}, reply), 0);
  EXPECT_TRUE(reply.empty()) << "an empty body leaves nothing of the last one";
}

TEST(CommCall, Status5StillDeliversTheBodyAndTheCallerGrows) {
  ObjectRoot root;
  ServiceProcess service;
  ASSERT_TRUE(service.running());
  auto comm = NewComm();
  auto reply = WithCapacity(100);
  ASSERT_EQ(comm->Call(kCommandFill, 1000, 0, {}, reply), 5);
  EXPECT_EQ(reply, FillBytes(100)) << "what fits comes with status 5";

  std::size_t capacity = 100;
  int calls = 0, result;
  do {
    reply = WithCapacity(capacity);
    result = comm->Call(kCommandFill, 1000, 0, {}, reply);
    capacity *= 2;
    ++calls;
  } while (result == 5 && calls < 20);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(calls, 5) << "100, 200, 400, 800, 1600";
  EXPECT_EQ(reply, FillBytes(1000));
}

TEST(CommCall, CommandStatusIsTheResult) {
  ObjectRoot root;
  ServiceProcess service({"--command-status", "42"});
  ASSERT_TRUE(service.running());
  auto comm = NewComm();
  auto reply = WithCapacity(64);
  EXPECT_EQ(comm->Call(kCommandEcho, 0, 0, {7, 8, 9}, reply), 42);
  EXPECT_EQ(reply, (std::vector<std::uint8_t>{7, 8, 9}));
}

TEST(CommCall, MisbehavingServiceAnswers12) {
  struct Case {
    std::vector<std::string> args;
  } cases[] = {
      {{"--status", "77"}},          {{"--fault", "short"}},
      {{"--fault", "bad-header"}},   {{"--fault", "long-body"}},
      {{"--fault", "transport-short"}}, {{"--fault", "small-view"}},
      {{"--fault", "view-flags"}},   {{"--refuse"}},
  };
  for (const Case& c : cases) {
    ObjectRoot root;
    ServiceProcess service(c.args);
    ASSERT_TRUE(service.running()) << c.args.back();
    auto comm = NewComm();
    auto reply = WithCapacity(64);
    reply.push_back(0x11);
    EXPECT_EQ(comm->Call(kCommandEcho, 0, 0, {1, 2, 3}, reply), kCommCallFailed) << c.args.back();
    EXPECT_EQ(reply, std::vector<std::uint8_t>{0x11}) << "a failed call leaves the buffer";
  }
}

TEST(CommCall, SlowServiceIsWaitedFor) {
  ObjectRoot root;
  ServiceProcess service({"--delay", "300"});
  ASSERT_TRUE(service.running());
  auto comm = NewComm();
  auto reply = WithCapacity(8);
  EXPECT_EQ(comm->Call(kCommandEcho, 0, 0, {5}, reply), 0);
  EXPECT_EQ(reply, std::vector<std::uint8_t>{5});
}

// A socket that takes connections into its backlog and never reads them: a service that
// hangs before it answers the connection request.
class SilentPort {
 public:
  SilentPort() {
    const std::string path = korv::platform::port_socket_path(kPortName);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
    fd_ = korv::platform::PortFd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    ok_ = ::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0 &&
          ::listen(fd_.get(), 8) == 0;
  }
  bool ok() const { return ok_; }

 private:
  korv::platform::PortFd fd_;
  bool ok_ = false;
};

// Every call ends within its time-out (3 s here, connecting and the retry included) however
// the service hangs; the bound asserted is generous so that a loaded machine does not fail it.
TEST(CommCall, HungServiceEndsTheCallWithinTheTimeOut) {
  using Clock = std::chrono::steady_clock;
  const auto bound = std::chrono::seconds(15);
  {
    ObjectRoot root;
    ServiceProcess service({"--delay", "600000"});  // accepts, never answers a request
    ASSERT_TRUE(service.running());
    auto comm = NewComm();
    auto reply = WithCapacity(8);
    const auto start = Clock::now();
    EXPECT_EQ(comm->Call(kCommandEcho, 0, 0, {5}, reply), kCommCallFailed);
    EXPECT_LT(Clock::now() - start, bound) << "a request without an answer";
  }
  {
    ObjectRoot root;
    SilentPort port;
    ASSERT_TRUE(port.ok());
    auto comm = NewComm();
    auto reply = WithCapacity(8);
    const auto start = Clock::now();
    EXPECT_EQ(comm->Call(kCommandEcho, 0, 0, {5}, reply), kCommCallFailed);
    EXPECT_LT(Clock::now() - start, bound) << "a connection request without an answer";
  }
}

TEST(TransportTimeOut, IsResult9AndCoversTheConnect) {
  ObjectRoot root;
  SilentPort port;
  ASSERT_TRUE(port.ok());
  CTavcommAlpcClient client;
  ASSERT_EQ(client.Initialize(kTavcommClientId, kTavcommServerId, 0), 0);
  std::uint8_t payload[4] = {1, 2, 3, 4}, reply[16];
  std::uint32_t got = 0;
  EXPECT_EQ(client.SendReceive(0, 3, payload, sizeof payload, reply, sizeof reply, &got, 500), 9);
  client.Disconnect();
}

TEST(CommCall, ConcurrentCallersShareOneChannel) {
  ObjectRoot root;
  ServiceProcess service;
  ASSERT_TRUE(service.running());
  auto comm = NewComm();
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 30; ++i) {
        auto body = Pattern(10 + i, static_cast<std::uint8_t>(t));
        auto reply = WithCapacity(64);
        if (comm->Call(kCommandEcho, 0, 0, body, reply) != 0 || reply != body) ++bad;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST(GetComm, IsOneChannelThatReachesTheService) {
  ObjectRoot root;
  IComm* comm = GetComm();
  ASSERT_NE(comm, nullptr);
  EXPECT_EQ(GetComm(), comm);
  auto reply = WithCapacity(16);
  EXPECT_EQ(comm->Call(kCommandEcho, 0, 0, {1}, reply), kCommCallFailed) << "no service yet";
  ServiceProcess service;
  ASSERT_TRUE(service.running());
  EXPECT_EQ(comm->Call(kCommandEcho, 0, 0, {1}, reply), 0);
  EXPECT_EQ(reply, std::vector<std::uint8_t>{1});
}

}  // namespace
