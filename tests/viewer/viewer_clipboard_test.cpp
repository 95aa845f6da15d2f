// Copy from the window: what other programs get from the clipboard.

#include "shown_window.h"

#include "platform/codepage.h"
#include "resources/ids.h"
#include "ui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

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

}  // namespace
}  // namespace korv::test
