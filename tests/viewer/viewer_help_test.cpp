// F1 in the viewer window opens its help topic in a window centred on it.

#include "shown_window.h"

#include "resources/ids.h"
#include "ui/help_window.h"

#include <QApplication>
#include <QTest>

namespace korv::test {
namespace {

// F1 in the main window opens its topic, centred on the window.
TEST_F(ShownWindowTest, HelpKeyInTheMainWindowOpensItsTopicCentred) {
    auto dlg = StartShownWindow();
    dlg->setGeometry(60, 40, 700, 500);
    QApplication::setActiveWindow(dlg.get());
    QTest::keyClick(dlg.get(), Qt::Key_F1);
    auto* help = dlg->findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr) << "F1 did nothing";
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->ContextId(), help::kMainContext);
    EXPECT_TRUE(help->PlainText().contains(QStringLiteral("Opening a log"))) << help->PlainText().toStdString();
    const QPoint offCentre = help->frameGeometry().center() - dlg->frameGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2) << offCentre.x() << "," << offCentre.y();
    help->close();
}

}  // namespace
}  // namespace korv::test
