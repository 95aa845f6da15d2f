#include "interrupt_watch.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "logmodel/log.h"

namespace korv::cli {
namespace {

// Written with write(2): the process ends right after it.
void Say(const std::string& text) {
  const std::string line = "korvlog: " + text + "\n";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
}

// Ends the process by `signal` with its default action, from the calling thread.
[[noreturn]] void EndBy(int signal) {
  ::signal(signal, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  ::raise(signal);
  std::_Exit(128 + signal);  // not reached: the default action of both ends the process
}

constexpr int kGraceSeconds = 3;  // from the first signal to the end of the process

bool Ignored(int signal) {
  struct sigaction current {};
  return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

InterruptWatch::InterruptWatch() {
  sigemptyset(&m_signals);
  for (const int signal : {SIGINT, SIGTERM})
    if (!Ignored(signal)) sigaddset(&m_signals, signal);
  if (sigisemptyset(&m_signals)) return;
  pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
  m_thread = std::thread([this] {
    int signal = 0;
    while (sigwait(&m_signals, &signal) != 0) {
    }
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (m_leaving) return;
      if (m_logs.empty()) {  // no pass to stop: end now
        Say("interrupted");
        EndBy(signal);
      }
      m_signal.store(signal);
      for (CLog* log : m_logs) log->SetAbort(true);
    }
    // The pass ends within a block of records and the command ends the process. One held
    // up elsewhere (writing to a pipe nobody reads) is ended after a moment, as is one the
    // user interrupts again.
    const timespec grace{kGraceSeconds, 0};
    int again = -1;
    do {
      again = sigtimedwait(&m_signals, nullptr, &grace);
    } while (again < 0 && errno == EINTR);
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_leaving) return;
    Say("interrupted");
    EndBy(again > 0 ? again : signal);
  });
}

InterruptWatch::~InterruptWatch() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_leaving = true;
  }
  // Wakes sigwait, which then sees m_leaving; a watched signal, as sigwait takes only those.
  int wake = SIGINT;
  if (!sigismember(&m_signals, wake)) wake = SIGTERM;
  pthread_kill(m_thread.native_handle(), wake);
  m_thread.join();
}

InterruptWatch::Watching::Watching(InterruptWatch& watch, CLog& log) : m_watch(watch), m_log(log) {
  std::lock_guard<std::mutex> guard(m_watch.m_lock);
  m_watch.m_logs.push_back(&log);
  if (m_watch.m_signal.load() != 0) log.SetAbort(true);
}

InterruptWatch::Watching::~Watching() {
  std::lock_guard<std::mutex> guard(m_watch.m_lock);
  auto& logs = m_watch.m_logs;
  logs.erase(std::remove(logs.begin(), logs.end(), &m_log), logs.end());
}

int InterruptWatch::Status(int status, const std::string& output) const {
  const int signal = m_signal.load();
  if (signal == 0) return status;
  std::cout.flush();
  Say(output.empty() ? std::string("interrupted") : "interrupted; " + output + " may be incomplete");
  EndBy(signal);
}

}  // namespace korv::cli
