#pragma once
// The help window: shows the HTML topic of a help context id. One window
// per owner is kept and reused; it opens centred on its owner's window and
// goes away with its owner.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QShortcut;
class QTextBrowser;

namespace korv {

class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* owner);

    // Shows the topic of `contextId` in `owner`'s help window, creating the
    // window on first use; returns it.
    static HelpWindow* ShowFor(QWidget* owner, std::uint32_t contextId);

    // F1 in `window`, and the help button of its title bar, open the topic
    // of the context id `contextId` gives at that moment (a dialog's id
    // changes with its mode). The help button never leaves the application
    // in What's-This mode.
    static QShortcut* InstallHelpKey(QWidget& window, std::function<std::uint32_t()> contextId);

    void ShowTopic(std::uint32_t contextId);
    std::uint32_t ContextId() const { return m_contextId; }
    QString PlainText() const;

private:
    QTextBrowser* m_pBrowser = nullptr;
    std::uint32_t m_contextId = 0;
};

}  // namespace korv
