#pragma once
// The filter and find dialog (template 2500). It edits a working copy of
// CLogFilterData in one of three modes and tells its owner when to find or
// stop; it never filters or searches itself.
//
// Advanced filter: a temporary dialog in mode 2, run modally, read after OK
// (EditFilterCriteria does all of it). Find: one modeless dialog per main
// window in mode 0; Cancel only hides it, and its OK button reads the
// controls and emits filterCommand(ID_FILTERDLG_FIND), or in mode 1 emits
// filterCommand(ID_FILTERDLG_STOP) without reading anything.
//
// The controls exist from construction on, so every setter also moves its
// data into them at once.

#include <QDialog>
#include <QString>

#include "logmodel/filter_data.h"

#include <cstdint>
#include <functional>
#include <vector>

class CCheckComboBox;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTimeEdit;

class CLogFilterExDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kModeFind = 0;       // find window, idle
    static constexpr int kModeSearching = 1;  // find window, a search is running
    static constexpr int kModeFilter = 2;     // advanced filter

    // Mode 0, the default criteria, empty lists.
    explicit CLogFilterExDlg(QWidget* owner = nullptr);
    ~CLogFilterExDlg() override;

    // Parallel lists of texts and values for the column combo (2502) and the
    // record-type combo (2503). A copy is kept; the combo is refilled.
    void SetColumnList(const std::vector<QString>& texts, const std::vector<std::uint32_t>& values);
    void SetTypeList(const std::vector<QString>& texts, const std::vector<std::uint32_t>& values);

    // The column list for another log, or the same log in another language,
    // keeping the rest of the controls as the user left them. Columns that
    // were all ticked (or none were listed yet) are all ticked again; a list
    // of the same length keeps its ticks; otherwise ticks follow the titles,
    // and all are ticked when none matches.
    void RefillColumnList(const std::vector<QString>& titles);
    // Selects the search text and gives it the focus.
    void SelectSearchText();

    // Copies every field into the working copy and moves it into the controls.
    void SetCriteria(const CLogFilterData& criteria);
    // The working copy as last read from the controls (after OK or Find).
    const CLogFilterData& GetCriteria() const { return m_criteria; }
    // The search-upwards flag (check box 2511), 0 or 1, as last read.
    int GetSearchUp() const { return m_nSearchUp; }

    // Mode 0, 1 or 2: title, OK text, which of 2511/2512/2552 show, help id.
    void SetMode(int mode);
    int GetMode() const { return m_nMode; }
    std::uint32_t GetHelpContextId() const { return m_nHelpId; }

    // Moves the controls into the working copy (the "read back").
    void ReadControls();

    void reject() override;

signals:
    // A command for the owner: ID_FILTERDLG_FIND (mode 0) or ID_FILTERDLG_STOP
    // (mode 1). A search started from the handler may run to its end inside
    // it; the dialog stays usable meanwhile so that Stop can be pressed.
    void filterCommand(int id);

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void BuildControls();
    void OnOk();
    bool PatternAccepted();
    void OnDefault();
    void FillPeriodList();
    void EnablePickers();
    void MoveDataToControls();
    static void FillCombo(CCheckComboBox* combo, const std::vector<QString>& texts,
                          const std::vector<std::uint32_t>& values);

    CLogFilterData m_criteria;
    int m_nMode = kModeFind;
    std::uint32_t m_nHelpId = 0;
    int m_nSearchUp = 0;
    int m_nShowDeleted = 0;
    std::vector<QString> m_columnTexts;
    std::vector<std::uint32_t> m_columnValues;
    std::vector<QString> m_typeTexts;
    std::vector<std::uint32_t> m_typeValues;

    // Child widgets, owned by the dialog.
    QLineEdit* m_pText = nullptr;
    CCheckComboBox* m_pColumns = nullptr;
    CCheckComboBox* m_pTypes = nullptr;
    QComboBox* m_pPeriod = nullptr;
    QDateEdit* m_pFromDate = nullptr;
    QTimeEdit* m_pFromTime = nullptr;
    QDateEdit* m_pToDate = nullptr;
    QTimeEdit* m_pToTime = nullptr;
    QCheckBox* m_pWholeWords = nullptr;
    QCheckBox* m_pCaseSensitive = nullptr;
    QCheckBox* m_pRegex = nullptr;
    QCheckBox* m_pSearchUp = nullptr;
    QCheckBox* m_pShowDeleted = nullptr;
    QPushButton* m_pDefault = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
};

namespace korv {

// The record-type list of the dialog: names 1..5 of string 105 with the
// values 0x01, 0x02, 0x04, 0x08, 0x10 ("None" is skipped).
void FillTypeList(CLogFilterExDlg& dlg);
// The column list: one entry per title, value 1 << index (at most 31 columns
// can be selected; later ones get no entry).
void FillColumnList(CLogFilterExDlg& dlg, const std::vector<QString>& titles);

// Advanced...: runs a temporary filter-mode dialog modally over `criteria`;
// on OK copies the dialog's working copy over `criteria` and returns true.
// The caller then pauses its updater and applies the criteria with SetFilter.
bool EditFilterCriteria(QWidget* owner, const std::vector<QString>& columnTitles,
                        CLogFilterData& criteria);

// Runs `find` with the dialog in mode 1 (OK reads "&Stop") and returns to
// mode 0 afterwards, also when `find` throws. `dlg` may be null.
int SearchWithDialog(CLogFilterExDlg* dlg, const std::function<int()>& find);

// Lets the user interface handle its pending events once; a long search
// calls it every 1000 rows so that the Stop button is seen.
void PumpUiEvents();

}  // namespace korv
