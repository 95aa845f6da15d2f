#include "test_support/qt_environment.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
    // What a window remembers (dialog folders, say) goes to a folder of this run alone,
    // never to the settings of the user running the tests.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
  }
  void TearDown() override { app_.reset(); }

 private:
  // QApplication keeps references to both for its whole life.
  int argc_ = 1;
  std::string name_ = program_invocation_short_name;
  char* argv_[2] = {name_.data(), nullptr};
  std::unique_ptr<QApplication> app_;
  QTemporaryDir settings_;
};

// gtest owns the environment once it is added.
[[maybe_unused]] ::testing::Environment* const g_qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

namespace korv::test {

MessageBoxAnswerer::MessageBoxAnswerer(QMessageBox::StandardButton answer) {
  timer_.setInterval(10);
  QObject::connect(&timer_, &QTimer::timeout, [this, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    text = box->text();
    caption = box->windowTitle();
    width = box->width();
    ++shown;
    QAbstractButton* button = answer == QMessageBox::NoButton ? nullptr : box->button(answer);
    if (!button) button = box->defaultButton();
    if (button) {
      button->click();
    } else {
      box->accept();
    }
  });
  timer_.start();
}

}  // namespace korv::test
