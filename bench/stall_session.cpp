// stall_session LOG [--export FILE]: drives the viewer window through a user's session on LOG
// (offscreen) and prints, per step, the longest time the window's event loop went without
// turning: the stall a user feels as a frozen window, and how much of it the window's thread
// spent running (the rest it waited for a core, on a loaded machine).
//
// A 1 ms precise timer on the window's thread notes when it fires; the longest gap between two
// firings within a step is that step's worst stall. Nested event loops (modal dialogs, the
// find's own pump) fire it too, so only time spent outside any event loop counts.

#include "logmodel/log.h"
#include "product/module_manager.h"
#include "resources/ids.h"
#include "ui/export_command.h"
#include "ui/log_filter_dlg.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_app.h"
#include "ui/log_viewer_dlg.h"
#include "logmodel/log_updater_thread.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// CPU time the calling thread has used.
qint64 ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Watches the event loop of the thread it lives on. With each gap it notes the CPU time the
// thread used in it: a stall the thread spent working, or one it spent waiting for a core.
class StallMeter {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      const qint64 cpu = ThreadCpuNs();
      if (now - last_ > worst_) {
        worst_ = now - last_;
        worstCpu_ = cpu - lastCpu_;
      }
      last_ = now;
      lastCpu_ = cpu;
    });
    clock_.start();
    timer_.start();
  }
  // Starts a step: the worst gap counts from here.
  void Reset() {
    last_ = clock_.nsecsElapsed();
    lastCpu_ = ThreadCpuNs();
    worst_ = 0;
    worstCpu_ = 0;
  }
  // The worst gap of the step so far, including the one still open.
  double WorstMs() const { return double(std::max(worst_, clock_.nsecsElapsed() - last_)) / 1e6; }
  // The thread's CPU time within that gap.
  double WorstCpuMs() const {
    return double(clock_.nsecsElapsed() - last_ > worst_ ? ThreadCpuNs() - lastCpu_ : worstCpu_) / 1e6;
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 lastCpu_ = 0;
  qint64 worst_ = 0;
  qint64 worstCpu_ = 0;
};

// Runs the event loop until `done` or `ms` passed; answers done().
bool RunUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < ms) {
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done();
}

void Settle(int ms) {
  RunUntil([] { return false; }, ms);
}

bool Idle(CLogViewerDlg& dlg) { return dlg.GetLog().IsOpen() && !dlg.GetUpdater().IsBusy(); }

// Answers the next modal dialog of type T with `answer` as soon as it shows.
template <typename T>
void AnswerNextModal(const std::function<void(T*)>& answer) {
  auto* poll = new QTimer;  // deletes itself once it has answered
  poll->setInterval(2);
  QObject::connect(poll, &QTimer::timeout, [poll, answer] {
    if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      answer(modal);
    }
  });
  poll->start();
}

struct Step {
  const char* name;
  std::function<void()> run;         // what the user does
  std::function<bool()> done;        // the window has finished what it started
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: stall_session LOG [--export FILE]\n", stderr);
    return 2;
  }
  const QString log = QString::fromLocal8Bit(argv[1]);
  QString exportFile = QStringLiteral("/tmp/stall_session_export.xml");
  if (argc >= 4 && std::string(argv[2]) == "--export") {
    exportFile = QString::fromLocal8Bit(argv[3]);
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  CLogViewerApp::SetRegistryKey();
  CLogViewerApp viewer;
  korv::StartProductModule();

  int exitCode = 0;
  {
    CLogViewerDlg dlg;
    dlg.resize(1200, 800);
    dlg.OnInitDialog();
    dlg.show();
    Settle(200);
    StallMeter meter;
    CLogListCtrl* list = dlg.GetList();
    const QString absent = QStringLiteral("NoSuchTextInAnyRow-7f3a");
    int passes = 0;  // the updater's passes before a filter change: its own pass must end

    const std::vector<Step> steps = {
        {"open the log and load every row", [&] { dlg.OpenLog(log); },
         [&] { return Idle(dlg) && dlg.GetUpdater().PassesCompleted() > 0; }},
        {"scroll to the end and back",
         [&] {
           QScrollBar* bar = list->verticalScrollBar();
           for (int i = 0; i <= 20; ++i) {
             bar->setValue(bar->maximum() * i / 20);
             Settle(10);
           }
           bar->setValue(0);
         },
         [] { return true; }},
        {"severity filter (Filter > Warning off)", [&] { dlg.OnCommand(korv::cmd::kFilterWarning); },
         [&] { return Idle(dlg); }},
        {"text filter (Filter > Advanced)",
         [&] {
           AnswerNextModal<CLogFilterExDlg>([](CLogFilterExDlg* advanced) {
             advanced->findChild<QLineEdit*>()->setText(QStringLiteral("KorvMark"));
             advanced->ReadControls();
             advanced->accept();
           });
           passes = dlg.GetUpdater().PassesCompleted();
           dlg.OnCommand(korv::cmd::kFilterAdvanced);
         },
         [&] { return Idle(dlg) && dlg.GetUpdater().PassesCompleted() > passes; }},
        {"clear the filters",
         [&] {
           AnswerNextModal<CLogFilterExDlg>([](CLogFilterExDlg* advanced) {
             advanced->findChild<QLineEdit*>()->clear();
             advanced->ReadControls();
             advanced->accept();
           });
           passes = dlg.GetUpdater().PassesCompleted();
           dlg.OnCommand(korv::cmd::kFilterAdvanced);
           RunUntil([&] { return Idle(dlg) && dlg.GetUpdater().PassesCompleted() > passes; }, 120000);
           dlg.OnCommand(korv::cmd::kFilterSelectAll);
         },
         [&] { return Idle(dlg); }},
        {"find an absent text (the full circle)",
         [&] {
           dlg.OnCommand(korv::cmd::kFind);
           CLogFilterExDlg* find = dlg.GetFindDialog();
           find->findChild<QLineEdit*>()->setText(absent);
           find->ReadControls();
           dlg.OnCommand(ID_FILTERDLG_FIND);
         },
         [&] { return !dlg.GetLog().IsFindCancelled() && Idle(dlg); }},
        {"copy 10,000 rows",
         [&] {
           if (dlg.GetFindDialog() != nullptr) {
             dlg.GetFindDialog()->close();
           }
           const int rows = std::min(10000, list->GetItemCount());
           QAbstractItemModel* model = list->model();
           list->selectionModel()->select(
               QItemSelection(model->index(0, 0), model->index(rows - 1, model->columnCount() - 1)),
               QItemSelectionModel::ClearAndSelect);
           dlg.OnCommand(korv::cmd::kCopy);
         },
         [] { return true; }},
        {"export XML (File > Export)",
         [&] {
           // The file dialog would ask before replacing an earlier run's file.
           QFile::remove(exportFile);
           AnswerNextModal<QFileDialog>([&](QFileDialog* files) {
             files->setOption(QFileDialog::DontConfirmOverwrite);
             files->selectNameFilter(korv::ExportNameFilters().front());
             files->selectFile(exportFile);
             static_cast<QDialog*>(files)->accept();
           });
           list->clearSelection();
           dlg.OnCommand(korv::cmd::kExport);
         },
         [&] { return !dlg.GetLog().IsExporting(); }},
        {"switch the language", [&] { dlg.OnCommand(korv::cmd::kLanguageFirst + 1); },
         [&] { return Idle(dlg); }},
        {"close the window", [&] { dlg.close(); }, [&] { return !dlg.isVisible(); }},
    };

    std::printf("%-42s %12s %12s %12s %9s\n", "step", "worst stall", "cpu in it", "step time", "rows");
    for (const Step& step : steps) {
      meter.Reset();
      QElapsedTimer took;
      took.start();
      step.run();
      const bool finished = RunUntil(step.done, 300000);
      // The last paints of the step still count.
      Settle(20);
      std::printf("%-42s %9.1f ms %9.1f ms %9.0f ms %9d%s\n", step.name, meter.WorstMs(), meter.WorstCpuMs(),
                  double(took.elapsed()), list->GetItemCount(), finished ? "" : "  (did not finish)");
      std::fflush(stdout);
      if (!finished) {
        exitCode = 1;
      }
    }
  }
  korv::StopProductModule();
  return exitCode;
}
