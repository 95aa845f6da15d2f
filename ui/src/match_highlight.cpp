#include "ui/match_highlight.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "logmodel/filter_match.h"
#include "ui/log_list_model.h"

namespace korv {
namespace {

double Linear(double channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
    return 0.2126 * Linear(c.red()) + 0.7152 * Linear(c.green()) + 0.0722 * Linear(c.blue());
}

// A cell shows one line: breaks and tabs are drawn as spaces, one for one, so that the
// ranges' offsets still hold.
QString OneLine(QString text) {
    for (QChar& c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t') ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

MatchHighlightDelegate::MatchHighlightDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void MatchHighlightDelegate::SetCriteria(const std::vector<CLogFilterData>& criteria) {
    m_criteria.clear();
    for (CLogFilterData c : criteria) {
        if (!TextCriterionActive(c)) {
            continue;
        }
        PrepareText(c);
        m_criteria.push_back(std::move(c));
    }
}

void MatchHighlightDelegate::Ranges(int column, std::u16string_view text, std::vector<TextRange>& out,
                                    std::size_t limit) const {
    out.clear();
    for (const CLogFilterData& criteria : m_criteria) {
        FindMatchRanges(criteria, column, text, m_scratch, limit);
        if (out.empty()) {
            out.swap(m_scratch);
            continue;
        }
        std::vector<TextRange> both;
        both.reserve(out.size() + m_scratch.size());
        std::merge(out.begin(), out.end(), m_scratch.begin(), m_scratch.end(), std::back_inserter(both),
                   [](const TextRange& a, const TextRange& b) { return a.begin < b.begin; });
        out.clear();
        for (const TextRange& r : both) {
            AddMergedRange(out, r);
        }
    }
}

void MatchHighlightDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const auto* model = qobject_cast<const LogListModel*>(index.model());
    // The list's own columns (No., Flags, Type) are not searched.
    if (m_criteria.empty() || !model || index.column() >= model->NumberColumn()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QString text = opt.text;
    if (text.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // Background, selection and focus as usual, without the text.
    opt.text.clear();
    QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    textRect.adjust(margin, 0, -margin, 0);
    const QString line = OneLine(text);
    const QString shown = opt.fontMetrics.elidedText(line, Qt::ElideRight, textRect.width());
    // What shows of the text: all of it, or the part before the ellipsis.
    const qsizetype visible = shown == line ? line.size() : std::max<qsizetype>(0, shown.size() - 1);
    const std::u16string_view cell(reinterpret_cast<const char16_t*>(text.utf16()),
                                   static_cast<std::size_t>(text.size()));
    Ranges(index.column(), cell, m_ranges, static_cast<std::size_t>(visible));
    if (m_ranges.empty()) {
        // As QStyledItemDelegate paints, without asking the model for the cell again.
        opt.text = text;
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        return;
    }
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    QTextCharFormat match;
    match.setBackground(kMatchBackground);
    match.setForeground(kMatchText);
    QList<QTextLayout::FormatRange> formats;
    for (const TextRange& r : m_ranges) {
        const auto begin = static_cast<qsizetype>(r.begin);
        const auto end = std::min<qsizetype>(static_cast<qsizetype>(r.end), visible);
        if (begin < end) {
            formats.push_back({static_cast<int>(begin), static_cast<int>(end - begin), match});
        }
    }
    QTextLayout layout(shown, opt.font, painter->device());
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(textOption);
    layout.setFormats(formats);
    layout.beginLayout();
    QTextLine textLine = layout.createLine();
    textLine.setLineWidth(1e6);
    layout.endLayout();

    const bool selected = (opt.state & QStyle::State_Selected) != 0;
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Normal
                                                                            : QPalette::Inactive;
    qreal x = textRect.left();
    if (opt.displayAlignment & Qt::AlignRight) {
        x = textRect.right() + 1 - textLine.naturalTextWidth();
    }
    const qreal y = textRect.top() + (textRect.height() - textLine.height()) / 2.0;
    painter->save();
    painter->setClipRect(textRect);
    painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    layout.draw(painter, QPointF(x, y));
    painter->restore();
}

}  // namespace korv
