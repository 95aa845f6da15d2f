#pragma once
// Shared helpers of the widget tests.

#include <QString>
#include <QTimer>

namespace korv::test {

// While alive, answers every message box that opens with its default button
// (OK), recording the last text and caption and how many were shown.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    QString text;
    QString caption;
    int shown = 0;

private:
    QTimer timer_;
};

}  // namespace korv::test
