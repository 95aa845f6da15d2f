#include "ui/ui_text.h"

#include "resources/string_table.h"

namespace korv {

QString LoadQString(unsigned id) { return Qs(StringText(id)); }

QString FormatQString(unsigned id, std::initializer_list<MessageArg> args) {
    return Qs(FormatMessageText(StringText(id), std::span<const MessageArg>(args.begin(), args.size())));
}

void SetControlId(QWidget* control, int id) {
    control->setObjectName(QStringLiteral("id_%1").arg(id));
    control->setProperty("korvControlId", id);
}

int ControlId(const QWidget* control) {
    const QVariant v = control->property("korvControlId");
    return v.isValid() ? v.toInt() : -1;
}

}  // namespace korv
