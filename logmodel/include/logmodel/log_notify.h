#pragma once
// How the background workers tell a window that they have something for it. The
// workers never touch a window: they post WM_LOG_NOTIFY with an lParam to a sink, which
// the window implements by queueing an event for its own thread (a test by a queue).

#include <cstdint>

// Private window message: WM_USER + 70, posted with wParam 0.
inline constexpr unsigned WM_LOG_NOTIFY = 0x0446;

// The lParam values of WM_LOG_NOTIFY.
inline constexpr std::intptr_t LOG_NOTIFY_RESULTS = 0;   // updater: new pending rows, call Apply
inline constexpr std::intptr_t LOG_NOTIFY_PASS_END = 1;  // updater: a pass ended without a pause
inline constexpr std::intptr_t LOG_NOTIFY_CACHED = 2;    // cache thread: a range is in the cache

// "The window" of a worker. PostLogNotify is called on a worker thread, possibly while
// the worker holds its own lock, so it must be thread-safe, must not block for long and
// must not call back into the worker. A sink must outlive every worker that may post to
// it: clear it from the updater (SetWindow(nullptr) or Stop) and cancel its cache jobs
// (CLogCacheThread::Cancel) before it goes.
class ILogNotifySink {
 public:
  virtual ~ILogNotifySink() = default;
  virtual void PostLogNotify(std::intptr_t lParam) = 0;
};
