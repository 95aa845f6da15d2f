#pragma once
// The About box, the changelog viewer and the licence viewer: built,
// run modally and destroyed by the main window's Help commands.

#include <QDialog>
#include <QString>

#include <string_view>

class QLabel;
class QPlainTextEdit;
class QTextEdit;

namespace korv {

// The year of a compiler date text such as "Nov  3 2022" (its last word);
// empty when there is none.
QString BuildYearFromDate(std::string_view date);

// The year this program was built.
QString BuildYear();

}  // namespace korv

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

class CChangelogDlg : public QDialog {
    Q_OBJECT

public:
    explicit CChangelogDlg(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowEnd();

    QPlainTextEdit* m_pText = nullptr;
};

class CEulaDlg : public QDialog {
    Q_OBJECT

public:
    explicit CEulaDlg(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowTop();

    QTextEdit* m_pText = nullptr;
};
