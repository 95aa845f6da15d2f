#include "ui/help_window.h"

#include "resources/resource_data.h"
#include "resources/string_table.h"
#include "ui/ui_text.h"

#include <QApplication>
#include <QFile>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

namespace korv {

HelpWindow::HelpWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    resize(520, 460);
    m_pBrowser = new QTextBrowser(this);
    m_pBrowser->setOpenLinks(false);  // the topics are self-contained
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pBrowser);
}

namespace {

// The title bar's help button puts the application into What's-This mode,
// in which the next click asks a widget for a text none of ours has, and the
// pointer stays a question mark until then. Caught before the application
// sees it, it opens the window's help topic as F1 does.
class HelpButtonFilter : public QObject {
public:
    HelpButtonFilter(QWidget& window, std::function<std::uint32_t()> contextId)
        : QObject(&window), m_window(window), m_contextId(std::move(contextId)) {
        QCoreApplication::instance()->installEventFilter(this);
    }

    bool eventFilter(QObject* target, QEvent* event) override {
        if (event->type() != QEvent::EnterWhatsThisMode) {
            return false;
        }
        const bool ours = target == &m_window ||
                          (target == QCoreApplication::instance() && QApplication::activeWindow() == &m_window);
        if (!ours) {
            return false;
        }
        HelpWindow::ShowFor(&m_window, m_contextId());
        return true;
    }

private:
    QWidget& m_window;
    std::function<std::uint32_t()> m_contextId;
};

// Where a new help window goes: centred on its owner's window, kept on the
// owner's screen.
QPoint CentredOn(const QWidget& owner, QSize size) {
    const QWidget* top = owner.window();
    const QRect frame = top->frameGeometry();
    QPoint topLeft = frame.center() - QPoint(size.width() / 2, size.height() / 2);
    if (const QScreen* screen = top->screen()) {
        const QRect available = screen->availableGeometry();
        const int right = std::max(available.left(), available.right() - size.width());
        const int bottom = std::max(available.top(), available.bottom() - size.height());
        topLeft.setX(std::clamp(topLeft.x(), available.left(), right));
        topLeft.setY(std::clamp(topLeft.y(), available.top(), bottom));
    }
    return topLeft;
}

}  // namespace

HelpWindow* HelpWindow::ShowFor(QWidget* owner, std::uint32_t contextId) {
    HelpWindow* window = owner->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new HelpWindow(owner);  // owned by `owner`
        // A top-level widget without a position opens in the screen's corner.
        window->move(CentredOn(*owner, window->size()));
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
                     [&window, contextId] { ShowFor(&window, contextId()); });
    new HelpButtonFilter(window, std::move(contextId));  // owned by `window`
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
