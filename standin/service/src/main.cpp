// korv-productd: stands in for the product service on the viewer's IPC port.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <list>
#include <memory>
#include <string_view>
#include <thread>

#include "platform/alpc_server.h"
#include "service_options.h"
#include "session.h"

namespace pf = korv::platform;
using namespace korv::standin;

namespace {

int g_stop_pipe[2] = {-1, -1};  // written by the signal handler, read by the accept loop

void OnStopSignal(int) {
  const char byte = 1;
  ssize_t ignored = ::write(g_stop_pipe[1], &byte, 1);
  (void)ignored;
}

struct SessionThread {
  std::unique_ptr<pf::AlpcConnection> connection;
  std::thread thread;
  std::atomic<bool> done{false};
};

void Detach() {
  pid_t pid = ::fork();
  if (pid < 0) {
    std::perror("korv-productd: fork");
    std::exit(1);
  }
  if (pid > 0) std::exit(0);  // the port exists already, so the caller may connect at once
  ::setsid();
  int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (null > 2) ::close(null);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--help") {
      std::fputs(kServiceUsage, stdout);
      return 0;
    }
  }
  ServiceOptions options;
  std::string error;
  if (!ParseServiceOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "korv-productd: %s\n%s", error.c_str(), kServiceUsage);
    return 2;
  }
  if (options.port_name.empty()) {
    options.port_name = "\\BaseNamedObjects\\TAVCOMM4955474BTo3156534BCommPortAlpc";
  }
  if (::pipe2(g_stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  ::sigemptyset(&sa.sa_mask);
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<pf::AlpcServerPort> server;
  if (pf::PortStatus s = pf::AlpcServerPort::listen(options.port_name, server); s != 0) {
    std::fprintf(stderr, "korv-productd: cannot listen on %s (status 0x%08X)\n",
                 pf::port_socket_path(options.port_name).c_str(), static_cast<unsigned>(s));
    return 1;
  }
  if (!options.foreground) Detach();
  std::fprintf(stdout, "korv-productd: listening on %s\n",
               pf::port_socket_path(options.port_name).c_str());
  std::fflush(stdout);

  ServiceStatistics statistics;
  StopSignal stop;
  std::list<SessionThread> sessions;  // owned by this thread only
  for (;;) {
    pollfd fds[2] = {{server->fd(), POLLIN, 0}, {g_stop_pipe[0], POLLIN, 0}};
    int r = ::poll(fds, 2, 1000);
    if (r < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;
    // Finished sessions are joined here, so that threads do not pile up.
    for (auto it = sessions.begin(); it != sessions.end();) {
      if (it->done) {
        it->thread.join();
        it = sessions.erase(it);
      } else {
        ++it;
      }
    }
    if (r <= 0 || (fds[0].revents & POLLIN) == 0) continue;
    std::unique_ptr<pf::AlpcConnection> connection;
    if (server->accept(connection) != pf::kPortSuccess) continue;
    SessionThread& s = sessions.emplace_back();
    s.connection = std::move(connection);
    s.thread = std::thread([&s, &options, &statistics, &stop] {
      ServeConnection(*s.connection, options, statistics, stop);
      s.done = true;
    });
  }

  {
    std::lock_guard lock(stop.mutex);
    stop.stopped = true;
  }
  stop.cv.notify_all();
  for (SessionThread& s : sessions) s.connection->shutdown();
  for (SessionThread& s : sessions) s.thread.join();
  server.reset();  // removes the socket file
  return 0;
}
