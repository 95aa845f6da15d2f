#pragma once
// Qt forms of the resources' UTF-8 texts and the id tags of controls.

#include <QString>
#include <QWidget>

#include "resources/message_format.h"

#include <initializer_list>
#include <string_view>

namespace korv {

inline QString Qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Text of string-table entry `id` (empty when there is none).
QString LoadQString(unsigned id);

// String `id` formatted with positional inserts ("Sel: %1!d!").
QString FormatQString(unsigned id, std::initializer_list<MessageArg> args);

// Tags a control with its resource id, so that callers and tests can find
// it by the id the resources give it.
void SetControlId(QWidget* control, int id);
int ControlId(const QWidget* control);  // -1 when untagged

template <typename T>
T* FindControl(const QWidget* parent, int id) {
    return parent->findChild<T*>(QStringLiteral("id_%1").arg(id));
}

}  // namespace korv
