// korv-logviewer as a program: --help, --version, a wrong command line, and
// the screenshot aid on an empty window, a log and a pending question, and
// the first-rows measurement.

#include "viewer_environment.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace korv::test {
namespace {

struct ViewerRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ViewerRun RunViewer(const QStringList& args) {
    QProcess process;
    // The program keeps its settings in the test tree, not in the user's home.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    static const std::string config = FreshDir("program-config");
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(config));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KORV_BIN_DIR "/korv-logviewer"), args);
    ViewerRun run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray ReadBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ViewerProgram, HelpVersionAndWrongArguments) {
    const ViewerRun help = RunViewer({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--screenshot FILE")) << help.out.toStdString();
    const ViewerRun version = RunViewer({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "korv-logviewer 1.5.8.0\n");
    for (const QStringList& wrong : {QStringList{"--bogus"}, QStringList{"a", "b"}, QStringList{"--screenshot", "x.png"}}) {
        const ViewerRun run = RunViewer(wrong);
        EXPECT_EQ(run.exitCode, 2) << wrong.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("korv-logviewer: ")) << run.err.toStdString();
    }
}

TEST(ViewerProgram, ScreenshotAfterTheGivenTime) {
    const std::string dir = FreshDir("shots");
    const std::string log = dir + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + log, EventsJson(0, 30)));
    const std::string damaged = dir + "/damaged/warnlog.dat";
    FreshDir("shots/damaged");
    ASSERT_TRUE(RunWriter("append-json " + damaged, EventsJson(0, 10)));
    ASSERT_TRUE(RunWriter("gap " + damaged + " 3"));
    const QByteArray before = ReadBytes(damaged);
    const struct {
        const char* name;
        std::string path;
    } cases[] = {{"empty", ""}, {"log", log}, {"question", damaged}};
    for (const auto& c : cases) {
        const QString png = QString::fromStdString(dir + "/" + c.name + ".png");
        QStringList args = {"--screenshot", png, "--quit-after", "400"};
        if (!c.path.empty()) {
            args << QString::fromStdString(c.path);
        }
        const ViewerRun run = RunViewer(args);
        EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.err.toStdString();
        QImage image(png);
        ASSERT_FALSE(image.isNull()) << c.name;
        EXPECT_GT(image.width(), 400) << c.name;
        EXPECT_GT(image.height(), 300) << c.name;
    }
    // Quitting does not answer the pending question with Yes: the file is as it was.
    EXPECT_EQ(ReadBytes(damaged), before);
}

TEST(ViewerProgram, ScreenshotToAnUnwritablePlaceFails) {
    const ViewerRun run = RunViewer({"--screenshot", "/nonexistent-dir/x.png", "--quit-after", "100"});
    EXPECT_EQ(run.exitCode, 1);
}

// The measurement ends the run as soon as the rows are on screen, well before
// the time limit; without rows to paint it fails when the limit ends it.
TEST(ViewerProgram, MeasureFirstRows) {
    const std::string dir = FreshDir("first-rows");
    const std::string log = dir + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + log, EventsJson(0, 50)));
    const std::string empty = dir + "/empty/warnlog.dat";
    FreshDir("first-rows/empty");
    ASSERT_TRUE(RunWriter("create " + empty));

    const ViewerRun rows = RunViewer({"--measure-first-rows", "--quit-after", "15000", QString::fromStdString(log)});
    EXPECT_EQ(rows.exitCode, 0) << rows.err.toStdString();
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^first rows painted after (\\d+) ms\n"
                                          "first rows painted (\\d+) us after the open began\n$"))
            .match(rows.out);
    ASSERT_TRUE(m.hasMatch()) << rows.out.toStdString();
    EXPECT_LT(m.captured(1).toLongLong(), 15000);
    // The open begins after the start-up, so it is the shorter of the two.
    EXPECT_LE(m.captured(2).toLongLong(), m.captured(1).toLongLong() * 1000 + 999);

    const ViewerRun none = RunViewer({"--measure-first-rows", "--quit-after", "600", QString::fromStdString(empty)});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.out.isEmpty()) << none.out.toStdString();
    EXPECT_TRUE(none.err.contains("no rows were painted")) << none.err.toStdString();
}

}  // namespace
}  // namespace korv::test
