#include "ui/check_combo_box.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QStylePainter>

namespace {

// Draws a list item as a check box square followed by the text, with the
// check taken from bit 31 of the item's data word.
class CheckItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QFontMetrics fm(option.font);
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& pal = option.palette;
        painter->save();
        painter->fillRect(option.rect, selected ? pal.highlight() : pal.base());

        const int square = fm.height() + fm.leading() + 6;
        QStyleOptionButton box;
        box.rect = QRect(option.rect.left(), option.rect.top() + 1, square,
                         std::max(0, option.rect.height() - 2));
        box.state = QStyle::State_Enabled;
        const std::uint32_t data = index.data(Qt::UserRole).toUInt();
        box.state |= (data & CCheckComboBox::kCheckBit) ? QStyle::State_On : QStyle::State_Off;
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : nullptr;
        if (style) {
            QStyleOptionButton indicator = box;
            const QRect r = style->subElementRect(QStyle::SE_CheckBoxIndicator, &box, widget);
            indicator.rect = QRect(QPoint(0, 0), r.size());
            indicator.rect.moveCenter(box.rect.center());
            style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &indicator, painter, widget);
        }

        QRect textRect = option.rect.adjusted(square, 0, 0, 0);
        painter->setPen(selected ? pal.highlightedText().color() : pal.text().color());
        const QString text = QLatin1Char(' ') + index.data(Qt::DisplayRole).toString();
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                          fm.elidedText(text, Qt::ElideRight, textRect.width()));
        if (selected && (option.state & QStyle::State_HasFocus) && style) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.rect = textRect;
            style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QFontMetrics fm(option.font);
        const int height = fm.height() + fm.leading() + 2;
        const int width = fm.height() + fm.leading() + 6 +
                          fm.horizontalAdvance(QLatin1Char(' ') + index.data(Qt::DisplayRole).toString()) + 4;
        return {width, height};
    }
};

}  // namespace

CCheckComboBox::CCheckComboBox(QWidget* parent) : QComboBox(parent) {
    setItemDelegate(new CheckItemDelegate(this));
    // Installed after the popup's own filters, so this one sees the list's
    // mouse and key events first and can keep the list open.
    view()->viewport()->installEventFilter(this);
    view()->installEventFilter(this);
    auto invalidate = [this] { InvalidateText(); };
    connect(model(), &QAbstractItemModel::rowsInserted, this, invalidate);
    connect(model(), &QAbstractItemModel::rowsRemoved, this, invalidate);
    connect(model(), &QAbstractItemModel::modelReset, this, invalidate);
    connect(model(), &QAbstractItemModel::dataChanged, this, invalidate);
}

CCheckComboBox::~CCheckComboBox() = default;

int CCheckComboBox::AddItem(const QString& text, std::uint32_t value) {
    addItem(text, QVariant::fromValue<uint>(value & kValueMask));
    setCurrentIndex(-1);
    return count() - 1;
}

std::uint32_t CCheckComboBox::GetItemData(int index) const { return itemData(index, Qt::UserRole).toUInt(); }

void CCheckComboBox::SetItemData(int index, std::uint32_t data) {
    setItemData(index, QVariant::fromValue<uint>(data), Qt::UserRole);
}

std::uint32_t CCheckComboBox::GetCheckedMask() const {
    std::uint32_t mask = 0;
    for (int i = 0; i < count(); ++i) {
        const std::uint32_t data = GetItemData(i);
        if (data & kCheckBit) {
            mask |= data & kValueMask;
        }
    }
    return mask;
}

void CCheckComboBox::SetCheckedMask(std::uint32_t mask) {
    for (int i = 0; i < count(); ++i) {
        const std::uint32_t value = GetItemData(i) & kValueMask;
        const bool checked = value != 0 && (value & ~mask) == 0;
        SetItemData(i, checked ? (value | kCheckBit) : value);
    }
    InvalidateText();
    update();
}

void CCheckComboBox::SetCheck(int index, bool checked) {
    if (index < 0 || index >= count()) {
        return;
    }
    const std::uint32_t value = GetItemData(index) & kValueMask;
    SetItemData(index, checked ? (value | kCheckBit) : value);
    InvalidateText();
    update();
}

bool CCheckComboBox::GetCheck(int index) const {
    return index >= 0 && index < count() && (GetItemData(index) & kCheckBit) != 0;
}

QString CCheckComboBox::MakeListSeparator(const QString& localeSeparator) {
    QString sep = localeSeparator;
    while (!sep.isEmpty() && sep.back().isSpace()) {
        sep.chop(1);
    }
    if (sep.isEmpty()) {
        sep = QStringLiteral(";");
    }
    return sep + QLatin1Char(' ');
}

QString CCheckComboBox::GetWindowText() const {
    if (!m_bDisplayValid) {
        // POSIX locales have no list separator, so the rule's fallback applies.
        const QString sep = MakeListSeparator(QString());
        QString text;
        for (int i = 0; i < count(); ++i) {
            if (GetItemData(i) & kCheckBit) {
                if (!text.isEmpty()) {
                    text += sep;
                }
                text += itemText(i);
            }
        }
        m_strDisplay = text;
        m_bDisplayValid = true;
    }
    return m_strDisplay;
}

void CCheckComboBox::InvalidateText() { m_bDisplayValid = false; }

void CCheckComboBox::showPopup() {
    setCurrentIndex(-1);
    QComboBox::showPopup();
}

void CCheckComboBox::hidePopup() {
    QComboBox::hidePopup();
    setCurrentIndex(-1);  // the closed combo never holds a selection
    update();
}

void CCheckComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText = GetWindowText();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void CCheckComboBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Space) {
        showPopup();
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void CCheckComboBox::wheelEvent(QWheelEvent* event) {
    // The wheel would pick an item as the selection, which this combo never has.
    event->ignore();
}

void CCheckComboBox::ToggleByUser(int index) {
    if (index < 0 || index >= count()) {
        return;
    }
    SetCheck(index, !GetCheck(index));
    view()->viewport()->update();
    emit selectionChanged();
}

void CCheckComboBox::CheckAllOrNoneByUser() {
    bool all = true;
    for (int i = 0; i < count() && all; ++i) {
        all = GetCheck(i);
    }
    for (int i = 0; i < count(); ++i) {
        const std::uint32_t value = GetItemData(i) & kValueMask;
        SetItemData(i, all ? value : (value | kCheckBit));
    }
    InvalidateText();
    update();
    view()->viewport()->update();
    emit selectionChanged();
}

bool CCheckComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view()->viewport()) {
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() == Qt::LeftButton) {
                    const QModelIndex index = view()->indexAt(mouse->position().toPoint());
                    if (index.isValid()) {
                        ToggleByUser(index.row());
                    }
                } else if (mouse->button() == Qt::RightButton) {
                    CheckAllOrNoneByUser();
                }
                return false;
            }
            case QEvent::MouseButtonDblClick: {
                // The second click of a quick pair is a click too.
                auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() == Qt::LeftButton) {
                    const QModelIndex index = view()->indexAt(mouse->position().toPoint());
                    if (index.isValid()) {
                        ToggleByUser(index.row());
                    }
                }
                return true;
            }
            case QEvent::MouseButtonRelease:
                // Releasing would pick the item and close the list; checking
                // several items needs the list to stay open.
                return true;
            default:
                break;
        }
    } else if (watched == view() && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space) {
            ToggleByUser(view()->currentIndex().row());
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}
