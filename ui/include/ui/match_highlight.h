#pragma once
// Shows why a row matched: the parts of each painted cell that the active text filter or
// the last find criterion match get a highlight behind them. The parts come from the
// filter's own matcher (FindMatchRanges), and only for the cells being painted, so a
// million-row list costs no more to scroll than without it.

#include <QColor>
#include <QStyledItemDelegate>

#include <vector>

#include "logmodel/filter_data.h"
#include "logmodel/text_range.h"

namespace korv {

// The highlight: a yellow behind the matched text, which is drawn in a near-black of its
// own, since no single background keeps every severity colour (amber on white is weak
// already) readable.
inline const QColor kMatchBackground{255, 200, 0};
inline const QColor kMatchText{24, 24, 24};

// WCAG contrast ratio of two opaque colours, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);

class MatchHighlightDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit MatchHighlightDelegate(QObject* parent = nullptr);

    // The criteria whose matches are shown (the filter's and the search's), each prepared
    // here; criteria without a text test are left out. Repaint afterwards.
    void SetCriteria(const std::vector<CLogFilterData>& criteria);
    bool HasCriteria() const { return !m_criteria.empty(); }

    // The merged ranges of all criteria in `text`, a cell of the log's column `column`,
    // searched up to `limit` units.
    void Ranges(int column, std::u16string_view text, std::vector<TextRange>& out,
                std::size_t limit = std::u16string_view::npos) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    std::vector<CLogFilterData> m_criteria;
    mutable std::vector<TextRange> m_ranges, m_scratch;  // reused from cell to cell
};

}  // namespace korv
