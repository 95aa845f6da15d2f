// Copy from the window: what other programs get from the clipboard.

#include "shown_window.h"

#include "platform/codepage.h"
#include "resources/ids.h"
#include "ui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include <clocale>
#include <string>

namespace korv::test {
namespace {

// LC_CTYPE set to `locale` while alive. Qt switches a process in a
// non-UTF-8 locale to C.UTF-8 at start; the copy must hold in the others too.
class ScopedCharacterLocale {
public:
    explicit ScopedCharacterLocale(const char* locale) : saved_(std::setlocale(LC_CTYPE, nullptr)) {
        std::setlocale(LC_CTYPE, locale);
    }
    ~ScopedCharacterLocale() { std::setlocale(LC_CTYPE, saved_.c_str()); }

private:
    std::string saved_;
};

// Copied text is Unicode where X11 programs look for it, in any locale.
TEST_F(ShownWindowTest, CopiedRowsReachOtherProgramsAsUnicode) {
    const ScopedCharacterLocale ascii("C");  // plain ASCII: "Č" has no place in it
    ASSERT_FALSE(platform::ansi_is_utf8());
    const std::string log = FreshDir("copy-unicode") + "/warnlog.dat";
    const std::string json =
        "{\"type\": \"0x00010002\", \"aux\": 1, \"time\": \"2026-12-08 10:00:00\", \"rows\": "
        "[{\"level\": \"0x40000000\", \"fields\": [{\"text\": \"\xC4\x8C" "as\"}, {\"msg\": 53}, "
        "{\"text\": \"u\xC5\xBEivatel\"}]}]}\n";
    ASSERT_TRUE(RunWriter("append-json " + log, json));
    auto dlg = StartShownWindow(QString::fromStdString(log));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 1); }));
    dlg->GetList()->selectRow(0);
    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
    dlg->OnCommand(cmd::kCopy);

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    const QString copied = data->text();
    ASSERT_TRUE(copied.contains(QStringLiteral("\tČas\t"))) << copied.toStdString();
    // text/plain answers X11's UTF8_STRING: UTF-8 whatever the locale is.
    EXPECT_EQ(data->data(QStringLiteral("text/plain")), copied.toUtf8());
    EXPECT_EQ(data->data(QStringLiteral("text/plain;charset=utf-8")), copied.toUtf8());
    for (const QString& format : data->formats()) {
        const bool utf8Name = format == QStringLiteral("text/plain") ||
                              format.compare(QStringLiteral("text/plain;charset=utf-8"), Qt::CaseInsensitive) == 0;
        if (!utf8Name) {
            // The locale's form, under its own charset's name.
            EXPECT_EQ(format, AnsiMimeType());
            const std::string ansi = platform::utf16_to_ansi(copied.toStdU16String());
            EXPECT_EQ(data->data(format), QByteArray(ansi.data(), static_cast<qsizetype>(ansi.size())));
        }
    }
}

// Copy All of many rows: the window keeps turning (timers, repaints) while
// the rows are read, and neither a command nor new rows reach the log until
// the copy ends; the rows then arrive.
TEST_F(ShownWindowTest, LongCopyLetsTheWindowTurnAndHoldsTheLog) {
    const std::string log = FreshDir("copy-long") + "/warnlog.dat";
    constexpr int kRows = 20000;
    ASSERT_TRUE(RunWriter("append-json " + log, EventsJson(0, kRows)));
    auto dlg = StartShownWindow(QString::fromStdString(log));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, kRows); }));

    int turnsDuringCopy = 0;
    bool appended = false;
    const std::uint32_t maskBefore = dlg->GetLog().GetFilter().m_nTypeMask;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!dlg->GetLog().IsExporting()) {
            return;
        }
        if (++turnsDuringCopy == 1) {
            dlg->OnCommand(cmd::kFilterInformation);  // refused while the copy reads
            appended = RunWriter("append-json " + log, EventsJson(kRows, 5));
            dlg->GetUpdater().RequestUpdate();
        }
        // Whatever the updater finishes meanwhile waits for the copy.
        EXPECT_EQ(dlg->GetList()->GetItemCount(), kRows);
    });
    probe.start();
    dlg->OnCommand(cmd::kCopyAll);
    probe.stop();

    EXPECT_GT(turnsDuringCopy, 0);
    EXPECT_EQ(dlg->GetLog().GetFilter().m_nTypeMask, maskBefore);
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied.count(QStringLiteral("\r\n")), kRows);
    EXPECT_TRUE(copied.contains(QStringLiteral("\tuser19999\t")));
    ASSERT_TRUE(appended);
    EXPECT_TRUE(WaitFor([&] { return LoadedRows(*dlg, kRows + 5); }, 10000));
}

}  // namespace
}  // namespace korv::test
