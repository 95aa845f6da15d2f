#pragma once
// The process-wide worker that decodes the rows a list control is about to show into the
// log's record cache, then tells the list window (WM_LOG_NOTIFY lParam 2) to redraw.
//
// One per process: list controls hold a CLogCacheThread::User, and the first user
// starts the worker, the last one stops it. Tests may also own a CLogCacheThread of
// their own and call Start/Stop.
//
// Threads: Queue, Cancel, Start and Stop are for the user-interface thread. The worker
// never reads a log's rows: Queue turns the positions into record keys on the queueing
// thread, so Apply may replace the rows while a job runs. The worker reads and decodes
// each record with its own buffer and takes the cache's lock only to look up and to
// store a decoded record.

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logmodel/log_notify.h"
#include "platform/event.h"

class CLog;

class CLogCacheThread {
 public:
  struct CACHE_JOB {
    CLog* log = nullptr;               // not owned; at most one job per log
    ILogNotifySink* window = nullptr;  // notified when the range is done
    int first = 0;                     // first visible position
    int last = -1;                     // last visible position, inclusive
  };

  // A list control's share of the process-wide worker.
  class User {
   public:
    User();
    ~User();
    User(const User&) = delete;
    User& operator=(const User&) = delete;
    CLogCacheThread& Thread() const { return *m_pThread; }

   private:
    CLogCacheThread* m_pThread;  // the process-wide instance, alive while any User is
  };
  // The process-wide instance; null while no User exists.
  static CLogCacheThread* Instance();

  CLogCacheThread();
  virtual ~CLogCacheThread();  // Stop()
  CLogCacheThread(const CLogCacheThread&) = delete;
  CLogCacheThread& operator=(const CLogCacheThread&) = delete;

  // Starts the worker unless one runs; true when one runs afterwards.
  bool Start();
  // Ends a running job, makes the worker leave and waits for it; pending jobs are
  // dropped. Nothing when no worker runs.
  void Stop();

  // Asks for the visible positions first..last of log to be decoded. Nothing when the
  // log's job asks for the same range of the same records already; else that job is
  // changed (restarting it when it is the one running) or a new one is appended. Grows
  // the log's cache to the range's size.
  void Queue(CLog* log, ILogNotifySink* window, int first, int last);
  // Drops the log's job and returns once the worker no longer works on it and will not
  // post for it. Call before the log is closed or destroyed, or its window goes.
  void Cancel(const CLog* log);

  bool IsRunning() const { return m_worker.joinable(); }
  bool IsBusy() const;
  // The job list, head first.
  std::vector<CACHE_JOB> Jobs() const;

 private:
  struct Job {
    CACHE_JOB job;
    std::vector<std::int32_t> keys;    // record key per position; -1 where no row
    std::vector<std::u16string> files;  // directory log: the row's file per position
  };

  void WorkerLoop();
  void ProcessJobs();
  // Decodes the records of job into its log's cache; false when aborted.
  bool ProcessJob(const Job& job);

  std::thread m_worker;  // owned; not joinable while no worker runs

  // Manual-reset events, reset by Start.
  korv::platform::Event m_evWork{korv::platform::EventReset::manual};  // jobs wait or the head changed
  korv::platform::Event m_evQuit{korv::platform::EventReset::manual};  // worker must leave

  // The job lock: guards the job list, busy, abort and the log being worked on.
  mutable std::mutex m_lock;
  std::condition_variable m_idleLog;   // signalled when m_pWorking changes
  bool m_bBusy = false;                // the worker is processing jobs
  bool m_bAbort = false;               // abandon the running range
  const CLog* m_pWorking = nullptr;    // log of the job being processed and posted for
  std::list<Job> m_jobs;               // head first
};
