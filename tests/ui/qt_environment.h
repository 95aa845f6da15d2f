#pragma once
// Shared helpers of the widget tests.

#include <QString>

#include <functional>

namespace korv::test {

// Waits for the next message box and answers it with its default button
// (OK), recording its text and caption. Call before the code that shows it.
struct MessageBoxAnswer {
    QString text;
    QString caption;
    int shown = 0;
};
void AnswerNextMessageBox(MessageBoxAnswer& answer);

}  // namespace korv::test
