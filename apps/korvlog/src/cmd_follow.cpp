// korvlog follow [filter options] PATH: the rows of a log file as text lines, oldest first,
// then the rows of every record appended later, as the viewer's window follows a log: its
// updater thread loads, a one-second poll of the file header asks for passes.

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

#include "cmd_export_open.h"
#include "cmd_follow_options.h"
#include "command.h"
#include "logmodel/log.h"
#include "logmodel/log_updater_thread.h"
#include "platform/codepage.h"
#include "product/module_manager.h"

namespace korv::cli {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(1000);  // the window's change timer

void help(std::ostream& out) {
  out << "Usage: korvlog follow [options] PATH\n\n"
         "Prints the rows of the log file PATH that pass the filter as text lines (the\n"
         "text export's format, oldest first), then polls the log once a second and\n"
         "prints the rows of records appended to it. When existing records are\n"
         "rewritten, it says so on standard error and goes on without printing rows\n"
         "twice. Ends on SIGINT or SIGTERM.\n\n"
      << kFilterOptionsHelp
      << "\n"
         "Exit status: 0 ended by a signal, 2 usage error or not a log file, 3 no such\n"
         "path, 4 unknown log type, 5 the log does not open, 6 standard output failed.\n";
}

// The window of the updater: queues the notifications for the main thread, which also
// wakes here when a signal asks it to end.
class FollowWindow : public ILogNotifySink {
 public:
  void PostLogNotify(std::intptr_t lParam) override {
    std::lock_guard<std::mutex> guard(m_lock);
    m_posted.push_back(lParam);
    m_wake.notify_one();
  }
  void RequestEnd() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bEnd = true;
    m_wake.notify_one();
  }
  // Waits until `until` or something to do; false once the end was asked for.
  bool Wait(std::chrono::steady_clock::time_point until, std::deque<std::intptr_t>& posted) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_wake.wait_until(guard, until, [&] { return m_bEnd || !m_posted.empty(); });
    posted.swap(m_posted);
    return !m_bEnd;
  }

 private:
  std::mutex m_lock;               // guards m_posted and m_bEnd
  std::condition_variable m_wake;  // a post arrived or the end was asked for
  std::deque<std::intptr_t> m_posted;
  bool m_bEnd = false;
};

// Prints the visible rows of records not printed yet, oldest first.
class RowPrinter {
 public:
  explicit RowPrinter(CLog& log) : m_log(log) {}

  // After an Apply; `replaced` when the rows were reloaded. False when output failed.
  bool PrintNew(bool replaced) {
    const std::vector<REC_INFO_BASE>& rows = m_log.Rows();
    if (replaced && m_bStarted) {
      const std::int32_t records = rows.empty() ? 0 : rows.back().record + 1;
      if (records < m_nNextRecord) {
        // Fewer records than were printed: the log was replaced, its rows are all new.
        std::cerr << "korvlog: the log was rewritten with fewer records; printing it again\n";
        m_nNextRecord = 0;
      } else {
        std::cerr << "korvlog: records were rewritten; reloaded " << rows.size() << " rows\n";
      }
    }
    m_bStarted = true;
    const std::vector<std::int32_t>& visible = m_log.Visible();
    const int count = int(visible.size());
    const bool newestFirst = m_log.GetViewMode() == LOG_VIEW_LIST;
    // Rows are in record order, so the new ones are a tail of the visible list.
    int entry = count;
    while (entry > 0 && rows[std::size_t(visible[std::size_t(entry - 1)])].record >= m_nNextRecord) --entry;
    std::u16string line;
    std::string bytes;
    for (; entry < count; ++entry) {
      const int position = newestFirst ? count - 1 - entry : entry;
      line.clear();
      if (!m_log.GetRowText(position, line)) line.clear();  // an undecodable row stays a line
      bytes.clear();
      platform::append_utf16_as_ansi(line, bytes);
      bytes += "\r\n";
      if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) return false;
    }
    if (!rows.empty()) m_nNextRecord = std::max(m_nNextRecord, rows.back().record + 1);
    return std::fflush(stdout) == 0;
  }

 private:
  CLog& m_log;
  bool m_bStarted = false;        // the first load printed
  std::int32_t m_nNextRecord = 0;  // records below this were printed (or hidden)
};

// Follows until a signal; the exit status.
int Follow(CLog& log, FollowWindow& window) {
  RowPrinter printer(log);
  CLogUpdaterThread updater;
  updater.SetWindow(&window);
  updater.SetLog(&log);
  if (!updater.Start()) return fail(kExitNotALog, "the loader thread could not be started");
  updater.RequestUpdate();

  int status = kExitOk;
  auto tick = std::chrono::steady_clock::now() + kPollInterval;
  std::deque<std::intptr_t> posted;
  while (window.Wait(tick, posted)) {
    for (const std::intptr_t lParam : posted) {
      bool replaced = false;
      if (lParam == LOG_NOTIFY_RESULTS && updater.Apply(&replaced) && !printer.PrintNew(replaced)) {
        status = kExitWriteFailed;
        break;
      }
    }
    posted.clear();
    if (status != kExitOk) break;
    const auto now = std::chrono::steady_clock::now();
    if (now >= tick) {
      if (log.HasChanged()) updater.RequestUpdate();
      tick += kPollInterval;
      if (tick < now) tick = now + kPollInterval;  // the process was stopped for a while
    }
  }
  updater.Stop();
  return status;
}

int run(std::span<const std::string_view> args) {
  FollowOptions o;
  if (int status = ParseFollowOptions(args, o); status != kExitOk) return status;
  std::setlocale(LC_ALL, "");  // the text's character set and the date and time texts

  // Signals are taken by one thread of their own; every other thread blocks them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);  // a closed pipe shows as a failed write

  StartModuleInLanguage(o.options);
  int status;
  {
    CLog log;
    OpenedLog opened;
    status = OpenWithoutRows(o.path, o.filter, log, opened);
    if (status == kExitOk && (log.IsDirectory() || opened.record >= 0)) {
      status = fail(kExitUsage, o.path + ": follow takes a log file, not a directory or a record");
    } else if (status == kExitOk) {
      FollowWindow window;
      std::thread waiter([&] {
        int signal = 0;
        sigwait(&signals, &signal);
        window.RequestEnd();
      });
      status = Follow(log, window);
      if (status != kExitOk) pthread_kill(waiter.native_handle(), SIGTERM);
      waiter.join();
    }
  }
  StopProductModule();
  return status;
}

const CommandRegistration registration({"follow", "print a log's rows and then those appended to it", run, help});

}  // namespace
}  // namespace korv::cli
