#include "ui/help_window.h"

#include "resources/resource_data.h"
#include "resources/string_table.h"
#include "ui/ui_text.h"

#include <QFile>
#include <QKeySequence>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace korv {

HelpWindow::HelpWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    resize(520, 460);
    m_pBrowser = new QTextBrowser(this);
    m_pBrowser->setOpenLinks(false);  // the topics are self-contained
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pBrowser);
}

HelpWindow* HelpWindow::ShowFor(QWidget* owner, std::uint32_t contextId) {
    HelpWindow* window = owner->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new HelpWindow(owner);  // owned by `owner`
    }
    window->ShowTopic(contextId);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QShortcut* HelpWindow::InstallHelpKey(QWidget& window, std::function<std::uint32_t()> contextId) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), &window);  // owned by `window`
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, &window,
                     [&window, contextId = std::move(contextId)] { ShowFor(&window, contextId()); });
    return shortcut;
}

void HelpWindow::ShowTopic(std::uint32_t contextId) {
    m_contextId = contextId;
    const QString path = HelpTopicPath(contextId);
    QFile file(path);
    if (!path.isEmpty() && file.open(QIODevice::ReadOnly)) {
        m_pBrowser->setHtml(QString::fromUtf8(file.readAll()));
    } else {
        m_pBrowser->setPlainText(QStringLiteral("There is no help topic for context 0x%1.")
                                     .arg(contextId, 0, 16));
    }
    const QString title = m_pBrowser->documentTitle();
    setWindowTitle(title.isEmpty() ? LoadQString(str::kAppName)
                                   : LoadQString(str::kAppName) + QStringLiteral(" - ") + title);
}

QString HelpWindow::PlainText() const { return m_pBrowser->toPlainText(); }

}  // namespace korv
