// korvlog follow [filter options] PATH: the rows of a log file as text lines, oldest first,
// then the rows of every record appended later, as the viewer's window follows a log: its
// updater thread loads, a one-second poll of the file header asks for passes.

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "cmd_export_open.h"
#include "cmd_follow_options.h"
#include "command.h"
#include "file_identity.h"
#include "load_losses.h"
#include "logmodel/log.h"
#include "logmodel/export_writer.h"
#include "logmodel/log_updater_thread.h"
#include "logstore/disklog.h"
#include "printed_rows.h"
#include "text_output.h"
#include "product/module_manager.h"

namespace korv::cli {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(1000);  // the window's change timer

void help(std::ostream& out) {
  out << "Usage: korvlog follow [options] PATH\n\n"
         "Prints the rows of the log file PATH that pass the filter as text lines (the\n"
         "text export's format and escaping, oldest first), then polls the log once a\n"
         "second and prints the rows of records added to it. It remembers which records\n"
         "(by record number) it printed: when existing records are rewritten it says so\n"
         "on standard error and prints only the rows it has not printed yet. When PATH\n"
         "is replaced by another file (moved away or deleted, and created again) or made\n"
         "anew in place, it says so and follows the new log from its first record. An\n"
         "empty log whose name tells no kind is followed once its first record tells it.\n"
         "Records that cannot be read or decoded are counted on standard error.\n"
         "Ends on SIGINT or SIGTERM, at any time.\n\n"
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
  bool EndRequested() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bEnd;
  }
  // Waits until `until` or something to do; false once the end was asked for.
  bool Wait(std::chrono::steady_clock::time_point until, std::deque<std::intptr_t>& posted) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_wake.wait_until(guard, until, [&] { return m_bEnd || !m_posted.empty(); });
    posted.swap(m_posted);
    return !m_bEnd;
  }
  // Notifications of a log that is gone must not reach the next one.
  void Discard() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_posted.clear();
  }

 private:
  std::mutex m_lock;               // guards m_posted and m_bEnd
  std::condition_variable m_wake;  // a post arrived or the end was asked for
  std::deque<std::intptr_t> m_posted;
  bool m_bEnd = false;
};

// The followed file: the log opened on it, the identity of the file it was opened on, and
// the rows printed of it.
struct Followed {
  std::unique_ptr<CLog> log;
  FileIdentity identity;
  PrintedRows printed;
  std::size_t reportedLosses = 0;
  _DISKLOG_HEADER header;  // as the last hand-over found it
};

// A log made anew in the same file (cut to an empty log and written again) numbers its
// records from 0 again: its creation time changed, or its record count went back.
bool MadeAnew(const _DISKLOG_HEADER& before, const _DISKLOG_HEADER& now) {
  return now.creation_time != before.creation_time || now.next_record_number < before.next_record_number;
}

// Tries to open PATH for following. kExitOk with `f.log` set, or the status of the failure
// (printed only with `report`). An empty log whose kind neither its name nor a record tells
// answers kExitUnknownLog; the caller waits for its first record.
int OpenFollowed(const FollowOptions& o, Followed& f, bool report) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const FileIdentity before = IdentifyPath(o.path);
    auto log = std::make_unique<CLog>();
    OpenedLog opened;
    const int status = OpenWithoutRows(o.path, o.filter, *log, opened, report);
    if (status != kExitOk) return status;
    if (log->IsDirectory() || opened.record >= 0) {
      return report ? fail(kExitUsage, o.path + ": follow takes a log file, not a directory or a record")
                    : kExitUsage;
    }
    // The file must not have been replaced between the look and the open, or the identity
    // kept would be of another file than the one read.
    const FileIdentity after = IdentifyPath(opened.path);
    if (before.valid && after == before) {
      f.log = std::move(log);
      f.identity = after;
      f.printed.Reset();
      f.reportedLosses = 0;
      f.header = DiskLogHeader(f.log->GetFile());
      return kExitOk;
    }
  }
  return report ? fail(kExitNotALog, o.path + ": the file keeps being replaced") : kExitNotALog;
}

// Prints the visible rows not printed yet, oldest first. False when output failed.
bool PrintNew(Followed& f, bool replaced, TextOutput& out) {
  CLog& log = *f.log;
  const _DISKLOG_HEADER header = DiskLogHeader(log.GetFile());
  if (replaced && f.printed.Started()) {
    if (MadeAnew(f.header, header)) {
      std::cerr << "korvlog: the log was made anew in the same file; following it from its first record\n";
      f.printed.Reset();
    } else {
      std::cerr << "korvlog: records were rewritten; printing only the rows not printed before\n";
    }
  }
  f.header = header;
  const std::vector<REC_INFO_BASE>& rows = log.Rows();
  const std::vector<std::int32_t>& visible = log.Visible();
  const int count = int(visible.size());
  const bool newestFirst = log.GetViewMode() == LOG_VIEW_LIST;
  std::vector<std::u16string> cells;
  std::u16string line;
  std::string bytes;
  int unreadable = 0;
  f.printed.BeginPass(replaced);
  for (int entry = f.printed.FirstEntry(visible); entry < count; ++entry) {
    const REC_INFO_BASE& row = rows[std::size_t(visible[std::size_t(entry)])];
    const auto key = f.printed.KeyOf(log.GetFile(), row);
    if (!key || !f.printed.ShouldPrint(*key)) continue;
    const int position = newestFirst ? count - 1 - entry : entry;
    // A row without text (a corrupted placeholder, a record that no longer reads) is left
    // out, as the text export leaves it out; only a record that should have text counts.
    if (!log.GetRowCells(position, cells)) {
      if (!(row.flags & 0x10000000)) ++unreadable;
      continue;
    }
    line.clear();
    AppendEscapedRow(cells, line);
    bytes.clear();
    out.Append(line, bytes);
    bytes += '\n';  // text for the shell: LF only
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) return false;
    f.printed.Mark(*key);
  }
  f.printed.EndPass(rows.size());
  if (unreadable > 0)
    std::cerr << "korvlog: " << Counted(std::size_t(unreadable), "row") << " could not be read when printed\n";
  return std::fflush(stdout) == 0;
}

// After a pass: says how many records gave no row, when that number changed.
void ReportPassLosses(Followed& f) {
  const std::size_t lost = CountLoadLosses(*f.log);
  if (lost != f.reportedLosses && lost > 0)
    std::cerr << "korvlog: " << Counted(lost, "record") << " could not be read or decoded\n";
  f.reportedLosses = lost;
}

// Follows until a signal; the exit status.
int Follow(const FollowOptions& o, Followed& f, FollowWindow& window, TextOutput& out) {
  CLogUpdaterThread updater;
  updater.SetWindow(&window);
  if (!updater.Start()) return fail(kExitNotALog, "the loader thread could not be started");
  bool waiting = f.log == nullptr;  // for the file to come back, or to tell its kind
  FileIdentity failed;             // the file a quiet reopen last failed on
  bool rotated = false;            // waiting because the file was replaced or removed
  if (!waiting) {
    updater.SetLog(f.log.get());
    updater.RequestUpdate();
  }

  int status = kExitOk;
  auto tick = std::chrono::steady_clock::now() + kPollInterval;
  std::deque<std::intptr_t> posted;
  while (window.Wait(tick, posted)) {
    for (const std::intptr_t lParam : posted) {
      if (waiting) break;
      bool replaced = false;
      if (lParam == LOG_NOTIFY_RESULTS && updater.Apply(&replaced) && !PrintNew(f, replaced, out)) {
        status = kExitWriteFailed;
        break;
      }
      if (lParam == LOG_NOTIFY_PASS_END) ReportPassLosses(f);
    }
    posted.clear();
    if (status != kExitOk) break;
    const auto now = std::chrono::steady_clock::now();
    if (now < tick) continue;
    tick += kPollInterval;
    if (tick < now) tick = now + kPollInterval;  // the process was stopped for a while

    if (!waiting) {
      const FileIdentity current = IdentifyPath(o.path);
      if (current == f.identity) {
        if (f.log->HasChanged()) updater.RequestUpdate();
        continue;
      }
      // Rotated: moved away or deleted, perhaps already created again. The rows of the
      // old file were printed; the new file's are all new.
      std::cerr << "korvlog: " << o.path
                << (current.valid ? " was replaced by another file\n"
                                  : " was removed; waiting for it to be created again\n");
      updater.SetLog(nullptr);
      window.Discard();
      f.log.reset();
      waiting = true;
      rotated = true;
      failed = {};
    }
    const FileIdentity current = IdentifyPath(o.path);
    if (!current.valid || current.SameContentAs(failed)) continue;
    if (OpenFollowed(o, f, false) != kExitOk) {
      failed = current;  // tried again once the file changes
      continue;
    }
    if (rotated) std::cerr << "korvlog: following the new " << o.path << " from its first record\n";
    waiting = false;
    updater.SetLog(f.log.get());
    updater.RequestUpdate();
  }
  updater.Stop();
  return status;
}

// SIGINT and SIGTERM, waited for by a thread of their own from the start: until following
// begins they end the process at once (nothing is printed yet), afterwards they end the
// follow loop, which stops the loader and flushes.
class SignalWaiter {
 public:
  explicit SignalWaiter(FollowWindow& window) : m_window(window) {
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);  // inherited by every later thread
    m_thread = std::thread([this] {
      int signal = 0;
      sigwait(&m_signals, &signal);
      std::lock_guard<std::mutex> guard(m_lock);
      if (!m_bFollowing && !m_bLeaving) std::_Exit(kExitOk);
      m_window.RequestEnd();
    });
  }
  ~SignalWaiter() {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      m_bLeaving = true;
    }
    pthread_kill(m_thread.native_handle(), SIGTERM);  // a no-op once it has taken a signal
    m_thread.join();
  }
  SignalWaiter(const SignalWaiter&) = delete;
  SignalWaiter& operator=(const SignalWaiter&) = delete;

  // From here a signal ends the loop instead of the process.
  void Following() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bFollowing = true;
  }

 private:
  FollowWindow& m_window;
  sigset_t m_signals;
  std::mutex m_lock;  // guards the two flags
  bool m_bFollowing = false;
  bool m_bLeaving = false;
  std::thread m_thread;
};

int run(std::span<const std::string_view> args) {
  FollowOptions o;
  if (int status = ParseFollowOptions(args, o); status != kExitOk) return status;
  FollowWindow window;
  SignalWaiter signals(window);
  ::signal(SIGPIPE, SIG_IGN);  // a closed pipe shows as a failed write
  std::setlocale(LC_ALL, "");  // the text's character set and the date and time texts
  TextOutput out;

  StartModuleInLanguage(o.options);
  ShowRecordsRaw(o.options.raw);
  int status;
  {
    Followed f;
    status = OpenFollowed(o, f, false);
    if (status == kExitUnknownLog && IsEmptyLog(o.path)) {
      std::cerr << "korvlog: " << o.path
                << ": an empty log whose name tells no kind; waiting for its first record\n";
      status = kExitOk;
    } else if (status != kExitOk) {
      status = OpenFollowed(o, f, true);  // again, to say why
    }
    if (status == kExitOk) {
      signals.Following();
      status = Follow(o, f, window, out);
    }
  }
  StopProductModule();
  return status;
}

const CommandRegistration registration({"follow", "print a log's rows and then those added to it", run, help});

}  // namespace
}  // namespace korv::cli
