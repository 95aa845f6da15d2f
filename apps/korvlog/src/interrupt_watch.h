#pragma once
// SIGINT and SIGTERM during a command's long pass (export, timeline, info). The first asks
// the logs being read to stop, through their abort flag, so that the pass ends within a
// block of records and the command can say its output is incomplete; with no log being
// read, or at a second signal, the process ends at once. Either way the process then ends
// by the signal itself, so that a shell sees 130 for Ctrl+C (143 for SIGTERM) and a script
// stops as it does for any command the user interrupts. A signal the process was started
// with ignored (a script's background job) stays ignored.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>

class CLog;

namespace korv::cli {

class InterruptWatch {
 public:
  // Blocks the signals in this thread and so in every thread started later: build it
  // before the module or any pass starts a thread.
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // While one lives, a signal asks its log to stop; a log watched after a signal came is
  // stopped at once. Declared right after the log, so that it ends first.
  class Watching {
   public:
    Watching(InterruptWatch& watch, CLog& log);
    ~Watching();
    Watching(const Watching&) = delete;
    Watching& operator=(const Watching&) = delete;

   private:
    InterruptWatch& m_watch;
    CLog& m_log;
  };

  // The signal that came, 0 while none did.
  int Signal() const { return m_signal.load(); }

  // After a signal: says on standard error that the command was interrupted (and that
  // `output`, when named, may be incomplete) and ends the process by that signal. Answers
  // `status` when no signal came.
  int Status(int status, const std::string& output = {}) const;

 private:
  sigset_t m_signals;            // the signals watched: those not ignored at the start
  std::atomic<int> m_signal{0};
  std::mutex m_lock;             // guards m_logs and m_leaving
  std::vector<CLog*> m_logs;     // the logs whose passes a signal stops
  bool m_leaving = false;        // the destructor's wake-up, not a user's signal
  std::thread m_thread;          // waits for the signals; none when no signal is watched
};

}  // namespace korv::cli
