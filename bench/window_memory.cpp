// window_memory LOG: opens LOG in the viewer window (offscreen), waits until every row is
// loaded, and prints what the window then holds: its resident memory less what it held before
// the open, per row, beside the parts that are counted per row (the log's rows, the visible
// list and the file's index) at their allocated sizes.
//
// Output, one line each: "rows N", "load S s", "resident per row B", "peak per row B" (the
// highest resident memory, during the load, less the same start), "rows per row B",
// "visible per row B", "index per row B".

#include "logmodel/log.h"
#include "logmodel/log_updater_thread.h"
#include "logstore/disklog.h"
#include "product/module_manager.h"
#include "ui/log_viewer_app.h"
#include "ui/log_viewer_dlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

// A line of the process's status in KiB (VmRSS: resident now, VmHWM: the highest), 0 when it
// cannot be read.
long StatusKiB(const char* key) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  long kib = 0;
  while (std::fgets(line, sizeof line, status))
    if (std::strncmp(line, key, std::strlen(key)) == 0) kib = std::strtol(line + std::strlen(key), nullptr, 10);
  std::fclose(status);
  return kib;
}

bool RunUntil(const std::function<bool()>& done, qint64 ms) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < ms) {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done();
}

// Every record of the file is in the rows and the window has applied them.
bool Loaded(CLogViewerDlg& dlg) {
  CLog& log = dlg.GetLog();
  if (!log.IsOpen() || dlg.GetUpdater().IsBusy() || dlg.GetUpdater().PassesCompleted() == 0) return false;
  const CLogLoadState& state = log.LoadState();
  return state.GetPhase() == CLogLoadState::Phase::kAppending && state.First() == 0 && !log.Rows().empty() &&
         log.Rows().back().record + 1 == state.Next();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: window_memory LOG\n", stderr);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  CLogViewerApp::SetRegistryKey();
  CLogViewerApp viewer;
  korv::StartProductModule();

  int status = 0;
  {
    CLogViewerDlg dlg;
    dlg.resize(1200, 800);
    dlg.OnInitDialog();
    dlg.show();
    RunUntil([] { return false; }, 300);
    const long before = StatusKiB("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    dlg.OpenLog(QString::fromLocal8Bit(argv[1]));
    if (!RunUntil([&] { return Loaded(dlg); }, 30 * 60 * 1000)) {
      std::fputs("window_memory: the log did not load\n", stderr);
      status = 1;
    } else {
      const double seconds = double(clock.elapsed()) / 1000.0;
      RunUntil([] { return false; }, 500);  // the list repaints with every row
      const long after = StatusKiB("VmRSS:");
      const long peak = StatusKiB("VmHWM:");
      CLog& log = dlg.GetLog();
      const double rows = double(log.Rows().size());
      std::printf("rows %zu\n", log.Rows().size());
      std::printf("load %.1f s\n", seconds);
      std::printf("resident per row %.1f B\n", double(after - before) * 1024.0 / rows);
      std::printf("peak per row %.1f B\n", double(peak - before) * 1024.0 / rows);
      std::printf("rows per row %.1f B\n", double(log.Rows().capacity() * sizeof(REC_INFO_BASE)) / rows);
      std::printf("visible per row %.1f B\n", double(log.Visible().capacity() * sizeof(std::int32_t)) / rows);
      std::printf("index per row %.1f B\n",
                  double(DiskLogIndexCount(log.GetFile()) * sizeof(_DISKLOG_INDEX_RECORD)) / rows);
    }
    dlg.close();
  }
  korv::StopProductModule();
  return status;
}
