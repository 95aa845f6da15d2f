#include "ui/small_dialogs.h"

#include "resources/ids.h"
#include "resources/message_format.h"
#include "resources/resource_data.h"
#include "resources/texts.h"
#include "ui/rtf_document.h"
#include "ui/ui_text.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace korv {

QString BuildYearFromDate(std::string_view date) {
    while (!date.empty() && date.back() == ' ') {
        date.remove_suffix(1);
    }
    const std::size_t blank = date.rfind(' ');
    return Qs(blank == std::string_view::npos ? date : date.substr(blank + 1));
}

QString BuildYear() { return BuildYearFromDate(__DATE__); }

namespace {

QPushButton* AddCloseButton(QDialog* dialog, QVBoxLayout* layout, std::string_view text, int id) {
    auto* button = new QPushButton(Qs(text), dialog);
    SetControlId(button, id);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(button);
    layout->addLayout(row);
    return button;
}

}  // namespace
}  // namespace korv

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    using namespace korv;
    setWindowTitle(Qs(text::kAboutTitle));

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(IconResourcePath(res::kIconMain)).pixmap(48, 48));

    auto* name = new QLabel(Qs(text::kAboutName), this);
    SetControlId(name, ctrl::kAboutTitle);
    QFont bold = font();
    bold.setWeight(QFont::Bold);
    name->setFont(bold);

    auto* version = new QLabel(this);
    SetControlId(version, ctrl::kAboutVersion);
    version->setText(Qs(ReplaceAll(text::kAboutVersion, text::kVersionPlaceholder, text::kVersion)));

    auto* legal = new QLabel(this);
    SetControlId(legal, ctrl::kAboutLegal);
    legal->setText(Qs(text::kAboutLegal).replace(Qs(text::kYearPlaceholder), BuildYear()));

    auto* ok = new QPushButton(Qs(text::kOk), this);
    SetControlId(ok, ctrl::kOk);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addWidget(legal);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    top->addWidget(ok, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
}

CChangelogDlg::CChangelogDlg(QWidget* parent) : QDialog(parent) {
    using namespace korv;
    setWindowTitle(Qs(text::kChangelogTitle));
    resize(520, 400);
    m_pText = new QPlainTextEdit(this);
    SetControlId(m_pText, ctrl::kChangelogText);
    m_pText->setReadOnly(true);
    m_pText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    if (const auto bytes = FindResourceData("RT_TXT_FILE", res::kChangelogTxt)) {
        // The resource is ANSI text with CR LF line ends; the widget wants '\n'.
        QString text = QString::fromLocal8Bit(*bytes);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        m_pText->setPlainText(text);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pText, 1);
    AddCloseButton(this, layout, text::kClose, ctrl::kCancel);
}

void CChangelogDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ShowEnd();
    // The scroll range is known only once the text has been laid out.
    QTimer::singleShot(0, this, &CChangelogDlg::ShowEnd);
}

void CChangelogDlg::ShowEnd() {
    m_pText->setFocus(Qt::OtherFocusReason);
    QTextCursor cursor = m_pText->textCursor();
    cursor.movePosition(QTextCursor::End);  // moves the caret, selecting nothing
    m_pText->setTextCursor(cursor);
    m_pText->ensureCursorVisible();
    // The caret's line may be visible a step short of the bottom; show all of the end.
    m_pText->verticalScrollBar()->setValue(m_pText->verticalScrollBar()->maximum());
}

CEulaDlg::CEulaDlg(QWidget* parent) : QDialog(parent) {
    using namespace korv;
    setWindowTitle(Qs(text::kEulaTitle));
    resize(560, 440);
    m_pText = new QTextEdit(this);
    SetControlId(m_pText, ctrl::kEulaText);
    m_pText->setReadOnly(true);
    m_pText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pText->setWordWrapMode(QTextOption::WordWrap);
    if (const auto bytes = FindResourceData("RT_RTF_FILE", res::kLicenceRtf)) {
        SetRtfText(*m_pText, *bytes);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pText, 1);
    AddCloseButton(this, layout, text::kClose, ctrl::kEulaClose);
}

void CEulaDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ShowTop();
    QTimer::singleShot(0, this, &CEulaDlg::ShowTop);
}

void CEulaDlg::ShowTop() {
    m_pText->setFocus(Qt::OtherFocusReason);
    QTextCursor cursor = m_pText->textCursor();
    cursor.movePosition(QTextCursor::Start);
    m_pText->setTextCursor(cursor);
    m_pText->verticalScrollBar()->setValue(0);
}
