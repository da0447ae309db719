#include "app/views/PinRowListView.h"

#include "app/views/PinListModel.h"
#include "app/views/PinRow.h"
#include "app/views/PinRowAccessible.h"
#include "app/views/PinRowDelegate.h"
#include "app/views/ViewText.h"
#include "core/store/PinStore.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>

namespace skyloom::app {

PinRowListView::PinRowListView(PinStore& store, PinListModel& model, QWidget* parent)
    : QListView(parent), store_(store), model_(model),
      delegate_(new PinRowDelegate(store, model, this)) {
    installPinListAccessibility();
    setModel(&model_);
    setItemDelegate(delegate_);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setEditTriggers(NoEditTriggers);
    setVerticalScrollMode(ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    setSpacing(0);
    setAccessibleName(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정된 폴더")));
    connect(this, &QListView::doubleClicked, this, &PinRowListView::openRows);
}

PinnedFolderPtr PinRowListView::selectedPin() const {
    const auto rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : model_.pin(rows.first());
}

void PinRowListView::openRows(const QModelIndex& index) {
    // A double-click hands over the clicked row; a missing folder is skipped.
    if (auto pin = model_.pin(index); pin && !pin->isMissing())
        store_.open(*pin);
}

void PinRowListView::keyPressEvent(QKeyEvent* event) {
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && event->modifiers() == Qt::NoModifier) {
        auto pin = selectedPin();
        if (!pin || pin->isMissing()) {
            event->ignore(); // not handled: it goes on to the window
            return;
        }
        store_.open(*pin);
        event->accept();
        return;
    }
    // The Menu key, and Shift+F10 for keyboards without one, open the current
    // row's menu, which holds every action of the row's buttons.
    const bool isMenuKey = (event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier) ||
                           (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    if (isMenuKey) {
        event->accept();
        openMenuOfCurrentRow();
        return;
    }
    if (event->matches(QKeySequence::Delete) ||
        (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier)) {
        if (auto pin = selectedPin())
            store_.removeFromList(pin);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

std::unique_ptr<QMenu> PinRowListView::contextMenuFor(int row) {
    auto pin = model_.pin(row);
    if (!pin)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    QAction* open = menu->addAction(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "열기")), this,
                                    [this, pin] { store_.open(*pin); });
    QAction* reveal =
        menu->addAction(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Finder에서 보기")), this,
                        [this, pin] { store_.reveal(*pin); });
    open->setEnabled(!pin->isMissing());
    reveal->setEnabled(!pin->isMissing());
    if (pin->needsAccess() && !pin->isMissing())
        menu->addAction(PinRow::buttonTitle(PinRow::Button::regrant, *pin), this,
                        [this, pin] { PinRow::regrantOrCheck(pin, store_); });
    menu->addSeparator();
    const QString removeTitle =
        pin->isMissing() ? localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "목록에서 지우기"))
                         : localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정 해제"));
    menu->addAction(removeTitle, this, [this, pin] { store_.removeFromList(pin); });
    return menu;
}

void PinRowListView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        openMenuOfCurrentRow();
        return;
    }
    if (auto menu = contextMenuFor(indexAt(event->pos()).row()))
        menu->exec(event->globalPos());
}

void PinRowListView::openMenuOfCurrentRow() {
    const QModelIndex index = currentIndex();
    auto menu = contextMenuFor(index.row());
    if (!menu)
        return;
    // Under the row's name, where the eye already is.
    const QRect row = visualRect(index);
    menu->setActiveAction(menu->actions().value(0));
    menuShown(menu.get());
    menu->exec(viewport()->mapToGlobal(QPoint(row.left() + 48, row.center().y())));
}

void PinRowListView::focusInEvent(QFocusEvent* event) {
    // The first Tab lands on a row, not on nothing, so its focus ring shows.
    if (!currentIndex().isValid() && model_.rowCount() > 0)
        selectionModel()->setCurrentIndex(model_.index(0), QItemSelectionModel::NoUpdate);
    QListView::focusInEvent(event);
    viewport()->update();
}

} // namespace skyloom::app
