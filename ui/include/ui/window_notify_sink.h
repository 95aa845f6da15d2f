#pragma once
// The sink through which a window's workers reach it: each notification
// becomes a LogNotifyEvent posted to the window, handled on its own thread.

#include <QCoreApplication>
#include <QObject>

#include "logmodel/log_notify.h"
#include "ui/log_list_ctrl.h"

namespace korv {

class WindowNotifySink final : public ILogNotifySink {
public:
    // `target` must outlive every worker that posts here: its owner clears
    // this sink from the workers before the target goes.
    explicit WindowNotifySink(QObject* target) : m_target(target) {}

    // Worker thread; postEvent is thread-safe and does not block.
    void PostLogNotify(std::intptr_t lParam) override {
        QCoreApplication::postEvent(m_target, new LogNotifyEvent(lParam));
    }

private:
    QObject* const m_target;  // not owned
};

}  // namespace korv
