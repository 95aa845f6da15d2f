#include "viewer_environment.h"

#include "../ipc/service_process.h"
#include "product/module_manager.h"
#include "ui/log_viewer_app.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QSettings>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace korv::test {
namespace {

std::string g_root;  // the test tree, removed at the end

class ViewerEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/korv-viewer-XXXXXX";
        g_root = ::mkdtemp(pattern);
        std::filesystem::create_directories(g_root + "/AppData/Logs");
        std::filesystem::create_directories(g_root + "/objects");
        std::ofstream(g_root + "/hklm.ini") << "[Software\\KORV\\KORV Security\\CurrentVersion\\Info]\n"
                                            << "AppDataDir=" << g_root << "/AppData/\nProductServer=0\n";
        ::setenv("KORV_HKLM", (g_root + "/hklm.ini").c_str(), 1);
        ::setenv("KORV_OBJECT_ROOT", (g_root + "/objects").c_str(), 1);
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        // Two kinds: Detections (type 1) and Events (type 2).
        service_ = std::make_unique<testing::ServiceProcess>(std::vector<std::string>{"--types", "1,2"});
        app_ = std::make_unique<QApplication>(argc_, argv_);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(g_root + "/config"));
        CLogViewerApp::SetRegistryKey();
        viewer_ = std::make_unique<CLogViewerApp>();
        StartProductModule();
    }
    void TearDown() override {
        StopProductModule();
        viewer_.reset();
        app_.reset();
        service_.reset();
        std::error_code ec;
        std::filesystem::remove_all(g_root, ec);
    }

private:
    int argc_ = 1;
    char name_[24] = "korv_viewer_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<testing::ServiceProcess> service_;
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<CLogViewerApp> viewer_;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new ViewerEnvironment);

}  // namespace

std::string LogsDir() { return g_root + "/AppData/Logs/"; }

std::string FreshDir(const std::string& name) {
    const std::string dir = g_root + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

bool RunWriter(const std::string& args, const std::string& input) {
    const std::string command = std::string(KORV_BIN_DIR) + "/korvlog-write " + args + " >/dev/null";
    FILE* pipe = ::popen(command.c_str(), "w");
    if (pipe == nullptr) {
        return false;
    }
    std::fwrite(input.data(), 1, input.size(), pipe);
    const int status = ::pclose(pipe);
    return status == 0;
}

std::string EventsJson(int first, int count) {
    std::string lines;
    for (int i = first; i < first + count; ++i) {
        lines += "{\"type\": \"0x00010002\", \"aux\": " + std::to_string(i + 1) +
                 ", \"time\": \"2026-12-08 10:00:00\", \"rows\": [{\"level\": \"0x40000000\", \"fields\": "
                 "[{\"text\": \"Kernel\"}, {\"msg\": 53}, {\"text\": \"user" +
                 std::to_string(i) + "\"}]}]}\n";
    }
    return lines;
}

void ClearViewerSettings() {
    QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
    settings.clear();
    settings.sync();
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (done()) {
            return true;
        }
        QTest::qWait(20);
    }
    return done();
}

MessageBoxAnswerer::MessageBoxAnswerer(QMessageBox::StandardButton answer) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        text = box->text();
        caption = box->windowTitle();
        ++shown;
        QAbstractButton* button = box->button(answer);
        if (button == nullptr) {
            button = box->defaultButton();
        }
        if (button != nullptr) {
            button->click();
        } else {
            box->accept();
        }
    });
    timer_.start();
}

}  // namespace korv::test
