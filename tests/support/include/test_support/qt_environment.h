#pragma once
// The widget tests' Qt side: one QApplication for the whole run (offscreen unless the
// caller chose another platform), made by qt_environment.cpp, which every such test program
// compiles in, and an answerer for the message boxes that the code under test opens.

#include <QMessageBox>
#include <QString>
#include <QTimer>

namespace korv::test {

// While alive, answers every message box that opens with `answer` (or its default button
// when it has no such button or `answer` is NoButton; accept when it has neither),
// recording the last text and caption and how many were shown.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::NoButton);
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

  QString text;
  QString caption;
  int width = 0;  // of the last box, as shown
  int shown = 0;

 private:
  QTimer timer_;
};

}  // namespace korv::test
