#include "ui/log_filter_dlg.h"

#include "logmodel/text_pattern.h"
#include "platform/time_text.h"
#include "resources/ids.h"
#include "resources/string_table.h"
#include "resources/texts.h"
#include "ui/check_combo_box.h"
#include "ui/help_window.h"
#include "ui/ui_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <ctime>

namespace {

using namespace korv;

constexpr std::uint32_t kPeriodValues[] = {FILTER_PERIOD_WHOLE, FILTER_PERIOD_DAY,
                                           FILTER_PERIOD_WEEK, FILTER_PERIOD_MONTH,
                                           FILTER_PERIOD_RANGE};

QString ShortDateFormat() {
    if (platform::time_text_is_iso()) {
        return QStringLiteral("yyyy-MM-dd");
    }
    QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
    // A two-digit year would make the picker guess the century.
    if (!format.contains(QStringLiteral("yyyy"))) {
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    }
    return format;
}

QString TimeFormat() {
    return platform::time_text_is_iso() ? QStringLiteral("HH:mm:ss")
                                        : QLocale::system().timeFormat(QLocale::LongFormat);
}

// Shows `t` (seconds since 1970, negative before) as viewer local time in a date
// and a time picker. A value the C library cannot split, or outside the dates the
// pickers take, shows the epoch.
void ToPickers(std::int64_t t, QDateEdit* date, QTimeEdit* time) {
    std::tm tm{};
    const std::time_t value = static_cast<std::time_t>(t);
    if (!localtime_r(&value, &tm) || tm.tm_year + 1900 < kFirstPeriodYear || tm.tm_year + 1900 > kLastPeriodYear) {
        tm = std::tm{};
        tm.tm_year = 70;
        tm.tm_mday = 1;
    }
    date->setDate(QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday));
    time->setTime(QTime(tm.tm_hour, tm.tm_min, tm.tm_sec));
}

// The pickers' value as viewer local time; `out` keeps its value when the
// fields are out of range (the pickers' minimum date prevents that).
void FromPickers(const QDateEdit* date, const QTimeEdit* time, std::int64_t& out) {
    const QDate d = date->date();
    const QTime t = time->time();
    std::int64_t value = 0;
    if (MakeLocalTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), value)) {
        out = value;
    }
}

QLabel* Label(std::string_view text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(Qs(text), parent);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

CLogFilterExDlg::CLogFilterExDlg(QWidget* owner) : QDialog(owner) {
    setWindowTitle(Qs(text::kFilterTemplateTitle));
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    BuildControls();
    SetMode(m_nMode);
    FillPeriodList();
    EnablePickers();
    MoveDataToControls();
    HelpWindow::InstallHelpKey(*this, [this] { return m_nHelpId; });
}

CLogFilterExDlg::~CLogFilterExDlg() = default;

void CLogFilterExDlg::BuildControls() {
    m_pText = new QLineEdit(this);
    m_pColumns = new CCheckComboBox(this);
    m_pTypes = new CCheckComboBox(this);
    m_pPeriod = new QComboBox(this);
    m_pFromDate = new QDateEdit(this);
    m_pFromTime = new QTimeEdit(this);
    m_pToDate = new QDateEdit(this);
    m_pToTime = new QTimeEdit(this);
    for (QDateEdit* date : {m_pFromDate, m_pToDate}) {
        date->setDisplayFormat(ShortDateFormat());
        // Every date the list can show a record at, before 1970 too.
        date->setDateRange(QDate(kFirstPeriodYear, 1, 1), QDate(kLastPeriodYear, 12, 31));
    }
    for (QTimeEdit* time : {m_pFromTime, m_pToTime}) {
        time->setDisplayFormat(TimeFormat());
    }

    auto* setup = new QGroupBox(Qs(text::kSetupGroup), this);
    m_pWholeWords = new QCheckBox(Qs(text::kWholeWords), setup);
    m_pCaseSensitive = new QCheckBox(Qs(text::kCaseSensitive), setup);
    m_pRegex = new QCheckBox(Qs(text::kRegex), setup);
    m_pSearchUp = new QCheckBox(Qs(text::kSearchUp), setup);
    m_pShowDeleted = new QCheckBox(Qs(text::kShowDeleted), setup);
    auto* setupLayout = new QGridLayout(setup);
    setupLayout->addWidget(m_pWholeWords, 0, 0);
    setupLayout->addWidget(m_pCaseSensitive, 1, 0);
    setupLayout->addWidget(m_pRegex, 2, 0);
    // 2511 and 2512 share one place; the mode shows exactly one of them.
    setupLayout->addWidget(m_pSearchUp, 3, 0);
    setupLayout->addWidget(m_pShowDeleted, 3, 0);

    m_pOk = new QPushButton(this);
    m_pCancel = new QPushButton(Qs(text::kCancelButton), this);
    m_pDefault = new QPushButton(Qs(text::kDefaultButton), this);
    m_pOk->setDefault(true);

    SetControlId(m_pText, ctrl::kFilterText);
    SetControlId(m_pColumns, ctrl::kFilterColumns);
    SetControlId(m_pTypes, ctrl::kFilterTypes);
    SetControlId(m_pPeriod, ctrl::kFilterPeriod);
    SetControlId(m_pFromDate, ctrl::kFilterFromDate);
    SetControlId(m_pFromTime, ctrl::kFilterFromTime);
    SetControlId(m_pToDate, ctrl::kFilterToDate);
    SetControlId(m_pToTime, ctrl::kFilterToTime);
    SetControlId(m_pWholeWords, ctrl::kFilterWholeWords);
    SetControlId(m_pCaseSensitive, ctrl::kFilterCaseSensitive);
    SetControlId(m_pRegex, ctrl::kFilterRegex);
    SetControlId(m_pSearchUp, ctrl::kFilterSearchUp);
    SetControlId(m_pShowDeleted, ctrl::kFilterShowDeleted);
    SetControlId(m_pDefault, ctrl::kFilterDefault);
    SetControlId(m_pOk, ctrl::kOk);
    SetControlId(m_pCancel, ctrl::kCancel);

    auto* fields = new QGridLayout;
    fields->addWidget(Label(text::kLabelText, m_pText, this), 0, 0);
    fields->addWidget(m_pText, 0, 1, 1, 2);
    fields->addWidget(Label(text::kLabelColumns, m_pColumns, this), 1, 0);
    fields->addWidget(m_pColumns, 1, 1, 1, 2);
    fields->addWidget(Label(text::kLabelTypes, m_pTypes, this), 2, 0);
    fields->addWidget(m_pTypes, 2, 1, 1, 2);
    fields->addWidget(Label(text::kLabelPeriod, m_pPeriod, this), 3, 0);
    fields->addWidget(m_pPeriod, 3, 1, 1, 2);
    fields->addWidget(Label(text::kLabelFrom, m_pFromDate, this), 4, 0);
    fields->addWidget(m_pFromDate, 4, 1);
    fields->addWidget(m_pFromTime, 4, 2);
    fields->addWidget(Label(text::kLabelTo, m_pToDate, this), 5, 0);
    fields->addWidget(m_pToDate, 5, 1);
    fields->addWidget(m_pToTime, 5, 2);
    fields->addWidget(setup, 6, 0, 1, 3);
    fields->setColumnStretch(1, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pCancel);
    buttons->addWidget(m_pDefault);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);

    connect(m_pOk, &QPushButton::clicked, this, &CLogFilterExDlg::OnOk);
    connect(m_pCancel, &QPushButton::clicked, this, &CLogFilterExDlg::reject);
    connect(m_pDefault, &QPushButton::clicked, this, &CLogFilterExDlg::OnDefault);
    connect(m_pPeriod, &QComboBox::currentIndexChanged, this, &CLogFilterExDlg::EnablePickers);
}

void CLogFilterExDlg::FillCombo(CCheckComboBox* combo, const std::vector<QString>& texts,
                                const std::vector<std::uint32_t>& values) {
    combo->clear();
    const std::size_t n = std::min(texts.size(), values.size());
    for (std::size_t i = 0; i < n; ++i) {
        combo->AddItem(texts[i], values[i]);
    }
}

void CLogFilterExDlg::SetColumnList(const std::vector<QString>& texts,
                                    const std::vector<std::uint32_t>& values) {
    m_columnTexts = texts;
    m_columnValues = values;
    FillCombo(m_pColumns, m_columnTexts, m_columnValues);
}

void CLogFilterExDlg::RefillColumnList(const std::vector<QString>& titles) {
    const std::vector<QString> oldTexts = m_columnTexts;
    const std::vector<std::uint32_t> oldValues = m_columnValues;
    const std::uint32_t ticked = m_pColumns->GetCheckedMask();
    std::uint32_t all = 0;
    for (std::uint32_t value : oldValues) {
        all |= value;
    }
    korv::FillColumnList(*this, titles);
    std::uint32_t mask = 0x7FFFFFFF;
    if (!oldValues.empty() && (ticked & all) != all) {
        if (oldTexts.size() == m_columnTexts.size()) {
            mask = ticked;
        } else {
            mask = 0;
            for (std::size_t i = 0; i < oldTexts.size() && i < oldValues.size(); ++i) {
                if ((ticked & oldValues[i]) == 0) {
                    continue;
                }
                for (std::size_t j = 0; j < m_columnTexts.size() && j < m_columnValues.size(); ++j) {
                    if (m_columnTexts[j] == oldTexts[i]) {
                        mask |= m_columnValues[j];
                    }
                }
            }
            if (mask == 0) {
                mask = 0x7FFFFFFF;
            }
        }
    }
    m_pColumns->SetCheckedMask(mask);
    m_criteria.m_nColumnMask = mask;
}

void CLogFilterExDlg::SelectSearchText() {
    m_pText->selectAll();
    m_pText->setFocus(Qt::OtherFocusReason);
}

void CLogFilterExDlg::SetTypeList(const std::vector<QString>& texts,
                                  const std::vector<std::uint32_t>& values) {
    m_typeTexts = texts;
    m_typeValues = values;
    FillCombo(m_pTypes, m_typeTexts, m_typeValues);
}

void CLogFilterExDlg::SetCriteria(const CLogFilterData& criteria) {
    m_criteria = criteria;
    MoveDataToControls();
}

void CLogFilterExDlg::SetMode(int mode) {
    if (mode < kModeFind || mode > kModeFilter) {
        return;
    }
    m_nMode = mode;
    m_nHelpId = mode == kModeFind ? help::kFindContext : help::kFilterContext;
    const bool filter = mode == kModeFilter;
    setWindowTitle(LoadQString(filter ? str::kFilterTitle : str::kFindTitle));
    m_pOk->setText(LoadQString(mode == kModeFind        ? str::kFindButton
                               : mode == kModeSearching ? str::kStopButton
                                                        : str::kOkButton));
    m_pSearchUp->setHidden(filter);
    m_pShowDeleted->setHidden(!filter);
    m_pDefault->setHidden(!filter);
}

void CLogFilterExDlg::FillPeriodList() {
    m_pPeriod->clear();
    const QStringList names = LoadQString(str::kPeriodNames).split(QLatin1Char('\n'));
    for (int i = 0; i < names.size() && i < static_cast<int>(std::size(kPeriodValues)); ++i) {
        m_pPeriod->addItem(names[i], QVariant::fromValue<uint>(kPeriodValues[i]));
    }
}

void CLogFilterExDlg::EnablePickers() {
    const bool range = m_pPeriod->currentIndex() >= 0 &&
                       m_pPeriod->currentData().toUInt() == FILTER_PERIOD_RANGE;
    for (QWidget* picker : {static_cast<QWidget*>(m_pFromDate), static_cast<QWidget*>(m_pFromTime),
                            static_cast<QWidget*>(m_pToDate), static_cast<QWidget*>(m_pToTime)}) {
        picker->setEnabled(range);
    }
}

void CLogFilterExDlg::MoveDataToControls() {
    m_nShowDeleted = (m_criteria.m_nTypeMask & FILTER_SHOW_DELETED) ? 1 : 0;
    m_pText->setText(QString::fromStdU16String(m_criteria.m_strText));
    m_pWholeWords->setChecked(m_criteria.m_nOptions & FILTER_OPT_WORDS);
    m_pCaseSensitive->setChecked(m_criteria.m_nOptions & FILTER_OPT_CASE);
    m_pRegex->setChecked(m_criteria.m_nOptions & FILTER_OPT_REGEX);
    m_pSearchUp->setChecked(m_nSearchUp != 0);
    m_pColumns->SetCheckedMask(m_criteria.m_nColumnMask);
    m_pTypes->SetCheckedMask(m_criteria.m_nTypeMask);
    m_pShowDeleted->setChecked(m_nShowDeleted != 0);
    // A period code the list does not have selects nothing and reads back as
    // "Whole log", so a damaged value never turns into a time test.
    m_pPeriod->setCurrentIndex(m_pPeriod->findData(QVariant::fromValue<uint>(m_criteria.Period())));
    EnablePickers();
    ToPickers(m_criteria.m_timeFrom, m_pFromDate, m_pFromTime);
    ToPickers(m_criteria.m_timeTo, m_pToDate, m_pToTime);
}

void CLogFilterExDlg::ReadControls() {
    m_criteria.m_strText = m_pText->text().toStdU16String();
    m_criteria.m_nOptions &= ~(FILTER_OPT_WORDS | FILTER_OPT_CASE | FILTER_OPT_REGEX);
    if (m_pWholeWords->isChecked()) m_criteria.m_nOptions |= FILTER_OPT_WORDS;
    if (m_pCaseSensitive->isChecked()) m_criteria.m_nOptions |= FILTER_OPT_CASE;
    if (m_pRegex->isChecked()) m_criteria.m_nOptions |= FILTER_OPT_REGEX;
    m_nSearchUp = m_pSearchUp->isChecked() ? 1 : 0;
    m_nShowDeleted = m_pShowDeleted->isChecked() ? 1 : 0;

    m_criteria.m_nColumnMask = m_pColumns->GetCheckedMask();
    m_criteria.m_nTypeMask = m_pTypes->GetCheckedMask() | (m_nShowDeleted ? FILTER_SHOW_DELETED : 0);

    m_criteria.m_nOptions &= ~FILTER_PERIOD_MASK;
    if (m_pPeriod->currentIndex() >= 0) {
        m_criteria.m_nOptions |= m_pPeriod->currentData().toUInt() & FILTER_PERIOD_MASK;
    }
    m_criteria.UpdateTimeRange();
    // The bounds always hold the pickers' values; a relative period is
    // recomputed when the criteria are applied or searched with.
    FromPickers(m_pFromDate, m_pFromTime, m_criteria.m_timeFrom);
    FromPickers(m_pToDate, m_pToTime, m_criteria.m_timeTo);
}

// A pattern RE2 refuses is refused here, where it was typed: the dialog says why and
// stays open with the user's input, instead of a filter or search that finds nothing.
bool CLogFilterExDlg::PatternAccepted() {
    if (!m_pRegex->isChecked() || m_pText->text().isEmpty()) {
        return true;
    }
    std::uint32_t options = FILTER_OPT_REGEX;
    if (m_pWholeWords->isChecked()) options |= FILTER_OPT_WORDS;
    if (m_pCaseSensitive->isChecked()) options |= FILTER_OPT_CASE;
    const std::string error = PatternError(m_pText->text().toStdU16String(), options);
    if (error.empty()) {
        return true;
    }
    QMessageBox::warning(this, windowTitle(),
                         Qs(text::kBadPattern) + QLatin1Char('\n') + QString::fromStdString(error));
    m_pText->setFocus(Qt::OtherFocusReason);
    return false;
}

void CLogFilterExDlg::OnOk() {
    switch (m_nMode) {
        case kModeFind:
            if (!PatternAccepted()) {
                break;
            }
            ReadControls();
            emit filterCommand(ID_FILTERDLG_FIND);
            break;
        case kModeSearching:
            emit filterCommand(ID_FILTERDLG_STOP);
            break;
        default:
            if (!PatternAccepted()) {
                break;
            }
            ReadControls();
            accept();
            break;
    }
}

void CLogFilterExDlg::OnDefault() {
    // Search upwards is not a criterion: its box keeps what the user set.
    const bool searchUp = m_pSearchUp->isChecked();
    m_criteria = CLogFilterData();
    MoveDataToControls();
    m_pSearchUp->setChecked(searchUp);
}

void CLogFilterExDlg::reject() {
    // The modeless find window is only hidden and keeps its contents.
    QDialog::reject();
}

void CLogFilterExDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_pText->setFocus(Qt::OtherFocusReason);
}

bool CLogFilterExDlg::event(QEvent* event) {
    if (event->type() == QEvent::EnterWhatsThisMode) {
        // The title bar's help button opens the mode's topic, as F1 does.
        HelpWindow::ShowFor(this, m_nHelpId);
        return true;
    }
    return QDialog::event(event);
}

namespace korv {

void FillTypeList(CLogFilterExDlg& dlg) {
    const QStringList names = LoadQString(str::kSeverityNames).split(QLatin1Char('|'));
    std::vector<QString> texts;
    std::vector<std::uint32_t> values;
    for (int i = 1; i < names.size() && i <= 5; ++i) {
        texts.push_back(names[i]);
        values.push_back(1u << (i - 1));
    }
    dlg.SetTypeList(texts, values);
}

void FillColumnList(CLogFilterExDlg& dlg, const std::vector<QString>& titles) {
    std::vector<QString> texts;
    std::vector<std::uint32_t> values;
    // Bit 31 is the check combo's check mark and no mask ever selects it.
    for (std::size_t i = 0; i < titles.size() && i < 31; ++i) {
        texts.push_back(titles[i]);
        values.push_back(1u << i);
    }
    dlg.SetColumnList(texts, values);
}

bool EditFilterCriteria(QWidget* owner, const std::vector<QString>& columnTitles,
                        CLogFilterData& criteria) {
    CLogFilterExDlg dlg(owner);
    FillColumnList(dlg, columnTitles);
    FillTypeList(dlg);
    dlg.SetCriteria(criteria);
    dlg.SetMode(CLogFilterExDlg::kModeFilter);
    if (dlg.exec() != QDialog::Accepted) {
        return false;
    }
    criteria = dlg.GetCriteria();
    return true;
}

int SearchWithDialog(CLogFilterExDlg* dlg, const std::function<int()>& find) {
    // The search handles events, so the dialog may go away while it runs.
    QPointer<CLogFilterExDlg> guard(dlg);
    struct Restore {
        QPointer<CLogFilterExDlg>& dlg;
        ~Restore() {
            if (dlg) dlg->SetMode(CLogFilterExDlg::kModeFind);
        }
    } restore{guard};
    if (guard) guard->SetMode(CLogFilterExDlg::kModeSearching);
    return find();
}

void PumpUiEvents() {
    // Only what is queued: waiting for a message here would stall every
    // block of 1000 rows until the next timer tick.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace korv
