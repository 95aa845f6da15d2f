#include "ui/status_bar.h"

#include "resources/ids.h"
#include "resources/string_table.h"
#include "ui/ui_text.h"

#include <QLabel>

namespace korv {
namespace {

struct PaneSpec {
    unsigned textId;  // initial text
    int width;
};

constexpr PaneSpec kPanes[ViewerStatusBar::kPaneCount] = {
    {str::kPaneProgress, 80}, {str::kPaneCount, 120},     {str::kPaneSelected, 75},
    {str::kPaneDeleted, 75},  {str::kPaneCorrupted, 75}, {str::kPaneUtc, 60},
};

}  // namespace

ViewerStatusBar::ViewerStatusBar(QWidget* parent) : QStatusBar(parent) {
    SetControlId(this, ctrl::kStatusBar);
    setSizeGripEnabled(true);
    for (int i = 0; i < kPaneCount; ++i) {
        auto* label = new QLabel(LoadQString(kPanes[i].textId), this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(kPanes[i].width);
        SetControlId(label, ctrl::kStatusBar * 10 + i);
        // Only the first pane stretches; the counters keep their widths.
        addWidget(label, i == 0 ? 1 : 0);
        m_panes[i] = label;
    }
}

void ViewerStatusBar::SetPaneText(int pane, const QString& text) {
    if (pane >= 0 && pane < kPaneCount) {
        m_panes[pane]->setText(text);
        // A long message (the paths looked at, where a chain breaks) may not fit: hovering shows it.
        if (pane == 0) {
            m_panes[pane]->setToolTip(text.size() > 30 ? text : QString());
        }
    }
}

QString ViewerStatusBar::PaneText(int pane) const {
    return pane >= 0 && pane < kPaneCount ? m_panes[pane]->text() : QString();
}

int ViewerStatusBar::PaneWidth(int pane) { return pane >= 0 && pane < kPaneCount ? kPanes[pane].width : 0; }

}  // namespace korv
