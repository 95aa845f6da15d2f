// The viewer's start against a product service of its own: how often and how
// long the first window waits for it.

#include "shown_window.h"

#include "../ipc/ipc_helpers.h"
#include "../ipc/service_process.h"
#include "product/tavcomm_client.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <memory>
#include <string>
#include <vector>

namespace korv::test {
namespace {

// korv-productd with `args` on a private object root; the test process's own
// root stays in force for everything else.
class PrivateService {
public:
    PrivateService(const std::string& name, std::vector<std::string> args) : root_(FreshDir(name)) {
        const ScopedRoot scoped(root_);
        service_ = std::make_unique<testing::ServiceProcess>(std::move(args));
    }
    bool running() const { return service_->running(); }
    const std::string& root() const { return root_; }

    // Requests the service has answered, the statistics request itself not counted.
    int Requests() const {
        const ScopedRoot scoped(root_);
        CTavcommAlpcClient client;
        testing::Statistics statistics{};
        const bool ok = client.Initialize(kTavcommClientId, kTavcommServerId, 0) == 0 &&
                        testing::QueryStatistics(client, statistics);
        client.Disconnect();
        return ok ? static_cast<int>(statistics.requests) - 1 : -1;
    }

private:
    struct ScopedRoot {
        explicit ScopedRoot(const std::string& root) : saved(qgetenv("KORV_OBJECT_ROOT")) {
            qputenv("KORV_OBJECT_ROOT", QByteArray::fromStdString(root));
        }
        ~ScopedRoot() { qputenv("KORV_OBJECT_ROOT", saved); }
        QByteArray saved;
    };

    std::string root_;
    std::unique_ptr<testing::ServiceProcess> service_;
};

// A service that takes 3 s to answer holds the first window up once, not
// once for each of two queries; one that accepts and never answers holds it
// no longer than the call's time-out. Either way the rows are on screen
// within 5 s.
TEST_F(ShownWindowTest, SlowOrHungServiceHoldsTheStartUpOnce) {
    const struct {
        const char* name;
        const char* delayMs;
        long long atLeastMs;
        int requests;  // answered log-kind queries; -1: not counted (the service is still waiting)
    } cases[] = {{"slow", "3000", 3000, 1}, {"hung", "600000", 2000, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = FreshDir(std::string(c.name) + "-service-logs");
        const std::string log = dir + "/warnlog.dat";
        ASSERT_TRUE(RunWriter("append-json " + log, EventsJson(0, 20)));
        PrivateService service(std::string(c.name) + "-service", {"--types", "1,2", "--delay", c.delayMs});
        ASSERT_TRUE(service.running());

        QProcess viewer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KORV_OBJECT_ROOT"), QString::fromStdString(service.root()));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"),
                   QString::fromStdString(FreshDir(std::string(c.name) + "-service-config")));
        viewer.setProcessEnvironment(env);
        viewer.start(QStringLiteral(KORV_BIN_DIR "/korv-logviewer"),
                     {QStringLiteral("--measure-first-rows"), QStringLiteral("--quit-after"), QStringLiteral("20000"),
                      QString::fromStdString(log)});
        ASSERT_TRUE(viewer.waitForFinished(30000));
        const QString out = QString::fromUtf8(viewer.readAllStandardOutput());
        EXPECT_EQ(viewer.exitCode(), 0) << viewer.readAllStandardError().toStdString();
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^first rows painted after (\\d+) ms\n")).match(out);
        ASSERT_TRUE(m.hasMatch()) << out.toStdString();
        EXPECT_GE(m.captured(1).toLongLong(), c.atLeastMs) << "the service was asked";
        EXPECT_LT(m.captured(1).toLongLong(), 5000) << "the start waited for the service more than once";
        if (c.requests >= 0) {
            EXPECT_EQ(service.Requests(), c.requests) << "log-kind queries at one start";
        }
    }
}

}  // namespace
}  // namespace korv::test
