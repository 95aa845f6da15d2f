#pragma once
// A drop-down list whose items carry check boxes. Each item's data word
// (Qt::UserRole, an unsigned 32-bit value) holds the item's value in bits
// 0-30 and its check in bit 31; the owner sees the checked items only as
// the OR of their values. The closed combo shows the checked items' texts
// joined by the list separator and never a selected item; the list stays
// open while items are clicked.

#include <QComboBox>
#include <QString>

#include <cstdint>

class CCheckComboBox : public QComboBox {
    Q_OBJECT

public:
    static constexpr std::uint32_t kCheckBit = 0x80000000u;
    static constexpr std::uint32_t kValueMask = 0x7FFFFFFFu;

    explicit CCheckComboBox(QWidget* parent = nullptr);
    ~CCheckComboBox() override;

    // Adds an unchecked item with `value` (bit 31 is dropped); returns its index.
    int AddItem(const QString& text, std::uint32_t value);
    std::uint32_t GetItemData(int index) const;

    std::uint32_t GetCheckedMask() const;
    // Checks exactly the items whose value is non-zero and lies wholly in `mask`.
    void SetCheckedMask(std::uint32_t mask);
    void SetCheck(int index, bool checked);
    bool GetCheck(int index) const;

    // The face text: the checked items' texts joined by the separator.
    QString GetWindowText() const;

    // The separator rule: `localeSeparator` with trailing blanks removed and
    // one blank appended; ", " when the locale gives none.
    static QString MakeListSeparator(const QString& localeSeparator);

    void showPopup() override;
    void hidePopup() override;

signals:
    // Sent on every change of a check made by the user through the list.
    void selectionChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetItemData(int index, std::uint32_t data);
    void ToggleByUser(int index);
    void CheckAllOrNoneByUser();
    void InvalidateText();

    mutable QString m_strDisplay;
    mutable bool m_bDisplayValid = false;
};
