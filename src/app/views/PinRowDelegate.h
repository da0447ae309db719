#pragma once

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

namespace skyloom {
class PinStore;
}

namespace skyloom::app {

class PinListModel;

// Draws each row of the pin list (PinRow) and runs its buttons: a click
// on a button acts, a click elsewhere selects as usual.
class PinRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    PinRowDelegate(PinStore& store, PinListModel& model, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // Runs a row's button once the current event is handled, so that a row
    // removed by it is not touched by the view afterwards.
    void press(int row, int button);

private:
    int buttonAt(const QModelIndex& index, const QStyleOptionViewItem& option,
                 const QPoint& point) const;

    PinStore& store_;
    PinListModel& model_;
    QPersistentModelIndex pressedIndex_;
    int pressedButton_ = -1;
};

} // namespace skyloom::app
