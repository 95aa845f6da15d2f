#pragma once
// The time-zone setup dialog: one field for the offset of the viewer's
// local time from UTC in whole hours (east positive, -12..14), with that range
// shown beside it. A wrong entry is refused with "Wrong value!": the previous
// text and offset stay, and the dialog stays open with the wrong entry
// selected for correction. F1 opens its help topic.

#include <QDialog>
#include <QString>

#include <optional>
#include <string_view>

class QLineEdit;
class QWidget;

namespace korv {

// Reads a number as scanf's "%d" does: leading white space, an optional
// sign, at least one digit, anything after the digits ignored. nullopt when
// no number is there or it does not fit an int.
std::optional<int> ScanDecimal(std::string_view text);

inline constexpr int kMinUtcOffset = -12;
inline constexpr int kMaxUtcOffset = 14;

// The width a small window needs for its whole `title` in the title bar.
int WholeTitleWidth(const QWidget& window, const QString& title);

}  // namespace korv

class CTimeZone : public QDialog {
    Q_OBJECT

public:
    explicit CTimeZone(QWidget* parent = nullptr);

    int UtcOffset() const { return m_nUtcOffset; }
    // The offset in force, as the next opening shows it (valid values only).
    void SetUtcOffset(int hoursEast);
    const QString& Text() const { return m_strText; }

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Moves the text into the field (toField) or out of it, then takes the
    // offset from the text; a wrong text is reported, and the previous one
    // kept, and the answer is false.
    bool ExchangeData(bool toField);

    QLineEdit* m_pEdit = nullptr;
    QString m_strText = QStringLiteral("0");
    QString m_strSaved;  // the text before the last exchange, to undo a wrong entry
    int m_nUtcOffset = 0;
};
