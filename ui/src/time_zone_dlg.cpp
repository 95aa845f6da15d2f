#include "ui/time_zone_dlg.h"

#include "resources/ids.h"
#include "ui/help_window.h"
#include "resources/string_table.h"
#include "resources/texts.h"
#include "ui/ui_text.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

#include <climits>
#include <cstdint>

namespace korv {

std::optional<int> ScanDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<std::int64_t>(INT_MAX) + 1) {
            return std::nullopt;  // would not fit; never a valid offset anyway
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > INT_MAX || value < INT_MIN) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

int WholeTitleWidth(const QWidget& window, const QString& title) {
    // The title bar's font is the window system's; the application font's bold face is as
    // wide or wider on the usual themes, and the room beside it holds the icon and the
    // title bar's buttons.
    QFont bold = window.font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(title) + 160;
}

namespace {

// "Wrong value!" in a box wide enough for its whole caption: a message box sizes itself
// by its text, and so short a text would cut the caption to "KORV…".
void WarnWrongValue(QWidget* parent) {
    QMessageBox box(QMessageBox::Warning, LoadQString(str::kAppName), Qs(text::kWrongValue), QMessageBox::Ok, parent);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(WholeTitleWidth(box, box.windowTitle()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec();
}

}  // namespace

}  // namespace korv

CTimeZone::CTimeZone(QWidget* parent) : QDialog(parent) {
    using namespace korv;
    setWindowTitle(Qs(text::kTimeZoneTitle));
    auto* label = new QLabel(Qs(text::kTimeZoneLabel), this);
    m_pEdit = new QLineEdit(this);
    SetControlId(m_pEdit, ctrl::kUtcOffset);
    label->setBuddy(m_pEdit);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(Qs(text::kOk), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(Qs(text::kCancel), QDialogButtonBox::RejectRole);
    SetControlId(ok, ctrl::kOk);
    SetControlId(cancel, ctrl::kCancel);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CTimeZone::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CTimeZone::reject);

    // The offsets the field takes, beside it, so that no entry has to be guessed.
    auto* range = new QLabel(QStringLiteral("(%1 to +%2 hours)").arg(kMinUtcOffset).arg(kMaxUtcOffset), this);
    range->setObjectName(QStringLiteral("utcOffsetRange"));

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_pEdit, 1);
    row->addWidget(range);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    // Wide enough for the whole title, which a dialog this small would otherwise cut.
    setMinimumWidth(WholeTitleWidth(*this, windowTitle()));
    HelpWindow::InstallHelpKey(*this, [] { return help::kTimeZoneContext; });
}

void CTimeZone::SetUtcOffset(int hoursEast) {
    if (hoursEast < korv::kMinUtcOffset || hoursEast > korv::kMaxUtcOffset || hoursEast == m_nUtcOffset) {
        return;  // the same offset keeps the text as the user typed it ("+3")
    }
    m_nUtcOffset = hoursEast;
    m_strText = QString::number(hoursEast);
}

void CTimeZone::showEvent(QShowEvent* event) {
    ExchangeData(true);
    QDialog::showEvent(event);
}

void CTimeZone::accept() {
    if (!ExchangeData(false)) {
        // A wrong entry keeps the dialog open with the entry selected, so
        // that typing replaces it; closing with OK would apply nothing and
        // leave the user guessing whether the offset took.
        m_pEdit->setFocus(Qt::OtherFocusReason);
        m_pEdit->selectAll();
        return;
    }
    QDialog::accept();
}

bool CTimeZone::ExchangeData(bool toField) {
    m_strSaved = m_strText;
    if (toField) {
        m_pEdit->setText(m_strText);
    } else {
        m_strText = m_pEdit->text();
    }
    const QByteArray utf8 = m_strText.toUtf8();
    const std::optional<int> value = korv::ScanDecimal(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    if (value && *value >= korv::kMinUtcOffset && *value <= korv::kMaxUtcOffset) {
        m_nUtcOffset = *value;
        return true;
    }
    // The kept text and offset stay the previous ones; the field keeps the
    // wrong entry for the user to correct.
    m_strText = m_strSaved;
    if (toField) {
        m_pEdit->setText(m_strText);
    }
    // Caption and icon as the application's own message boxes have them.
    korv::WarnWrongValue(this);
    return false;
}
