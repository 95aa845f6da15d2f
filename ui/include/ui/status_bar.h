#pragma once
// The viewer window's six-pane status bar: progress, count, selection,
// deleted, corrupted and UTC offset. Pane 0 takes the width left over.

#include <QStatusBar>
#include <QString>

#include <array>

class QLabel;

namespace korv {

class ViewerStatusBar : public QStatusBar {
    Q_OBJECT

public:
    static constexpr int kPaneCount = 6;

    explicit ViewerStatusBar(QWidget* parent = nullptr);

    void SetPaneText(int pane, const QString& text);
    QString PaneText(int pane) const;  // empty for a pane that does not exist

    // The pane's width as created (pane 0 grows beyond it).
    static int PaneWidth(int pane);

private:
    std::array<QLabel*, kPaneCount> m_panes{};  // children of this bar
};

}  // namespace korv
