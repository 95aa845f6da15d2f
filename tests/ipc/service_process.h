#pragma once
// Starts korv-productd in the foreground on a private object root and always
// stops it again. Every wait is bounded, so that a broken service fails the
// test instead of hanging it.

#include <fcntl.h>
#include <sys/prctl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/alpc_message.h"

namespace korv::testing {

inline constexpr char kPortName[] = "\\BaseNamedObjects\\TAVCOMM4955474BTo3156534BCommPortAlpc";

// A fresh KORV_OBJECT_ROOT for one test; removed with the object.
class ObjectRoot {
 public:
  ObjectRoot() {
    char pattern[] = "/tmp/korv-ipc-XXXXXX";
    path_ = ::mkdtemp(pattern);
    ::setenv("KORV_OBJECT_ROOT", path_.c_str(), 1);
  }
  ~ObjectRoot() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class ServiceProcess {
 public:
  explicit ServiceProcess(std::vector<std::string> args = {}) : args_(std::move(args)) { start(); }
  ~ServiceProcess() { stop(); }
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // True once the port answers; false when the service did not come up in 5 s.
  bool start() {
    stop();
    std::vector<std::string> argv = {std::string(KORV_BIN_DIR) + "/korv-productd", "--foreground"};
    argv.insert(argv.end(), args_.begin(), args_.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      // A test process that dies (a crash, a sanitizer abort) takes its service with it.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      std::vector<char*> cargv;
      for (auto& a : argv) cargv.push_back(a.data());
      cargv.push_back(nullptr);
      int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) ::dup2(null, 1);
      ::execv(cargv[0], cargv.data());
      ::_exit(127);
    }
    return wait_ready();
  }

  // SIGTERM, then SIGKILL after 5 s; answers the exit status (-1 when killed).
  int stop(int signal_number = SIGTERM) {
    if (pid_ <= 0) return exit_status_;
    ::kill(pid_, signal_number);
    int status = 0;
    for (int i = 0; i < 500; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exit_status_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    exit_status_ = -1;
    return exit_status_;
  }

  bool running() const { return pid_ > 0; }

 private:
  bool wait_ready() {
    std::string path = korv::platform::port_socket_path(kPortName);
    for (int i = 0; i < 500; ++i) {
      if (listening(path)) return true;
      int status;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  static bool listening(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
    korv::platform::PortFd probe(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    return ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
  }

  std::vector<std::string> args_;
  pid_t pid_ = -1;
  int exit_status_ = -1;
};

}  // namespace korv::testing
