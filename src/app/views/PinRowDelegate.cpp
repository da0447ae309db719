#include "app/views/PinRowDelegate.h"

#include "app/views/PinListModel.h"
#include "app/views/PinRow.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QToolTip>

namespace skyloom::app {

PinRowDelegate::PinRowDelegate(PinStore& store, PinListModel& model, QObject* parent)
    : QStyledItemDelegate(parent), store_(store), model_(model) {}

void PinRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    auto pin = model_.pin(index);
    if (!pin)
        return;
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    item.text.clear();
    item.icon = QIcon();
    const int pressed = pressedIndex_ == index ? pressedButton_ : -1;
    PinRow::paint(painter, item, *pin, pressed);
}

QSize PinRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    auto pin = model_.pin(index);
    const bool flagged = pin && PinRow::status(*pin) != PinRow::Status::normal;
    return {option.rect.width() > 0 ? option.rect.width() : 200,
            PinRow::height(flagged, option.widget)};
}

int PinRowDelegate::buttonAt(const QModelIndex& index, const QStyleOptionViewItem& option,
                             const QPoint& point) const {
    auto pin = model_.pin(index);
    if (!pin)
        return -1;
    auto parts = PinRow::geometry(*pin, option.rect, option.widget);
    for (std::size_t i = 0; i < parts.buttons.size(); ++i)
        if (parts.buttons[i].second.contains(point))
            return static_cast<int>(i);
    return -1;
}

bool PinRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        int button = buttonAt(index, option, mouse->position().toPoint());
        if (button < 0)
            break;
        pressedIndex_ = index;
        pressedButton_ = button;
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (!pressedIndex_.isValid())
            break;
        auto* mouse = static_cast<QMouseEvent*>(event);
        const bool onButton =
            pressedIndex_ == index &&
            buttonAt(index, option, mouse->position().toPoint()) == pressedButton_;
        const int row = pressedIndex_.row();
        const int button = pressedButton_;
        pressedIndex_ = QPersistentModelIndex();
        pressedButton_ = -1;
        if (onButton)
            press(row, button);
        return true;
    }
    default:
        break;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

void PinRowDelegate::press(int row, int button) {
    auto pin = model_.pin(row);
    if (!pin)
        return;
    auto kinds = PinRow::buttons(*pin);
    if (button < 0 || button >= static_cast<int>(kinds.size()))
        return;
    const auto kind = kinds[button];
    QTimer::singleShot(0, this, [this, pin, kind] {
        // The record may have left the list meanwhile.
        if (pin->persistentIdentifier() && model_.rowOf(*pin->persistentIdentifier()) >= 0)
            PinRow::trigger(kind, pin, store_);
    });
}

bool PinRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                               const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::ToolTip) {
        auto pin = model_.pin(index);
        int button = buttonAt(index, option, event->pos());
        if (pin && button >= 0) {
            auto kind = PinRow::buttons(*pin)[button];
            if (kind != PinRow::Button::regrant) {
                QToolTip::showText(event->globalPos(), PinRow::buttonTitle(kind, *pin), view);
                return true;
            }
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

} // namespace skyloom::app
