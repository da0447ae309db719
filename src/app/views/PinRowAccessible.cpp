#include "app/views/PinRowAccessible.h"

#include "app/views/PinListModel.h"
#include "app/views/PinRow.h"
#include "app/views/PinRowDelegate.h"
#include "app/views/PinRowListView.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QItemSelectionModel>
#include <QPointer>
#include <QWindow>

namespace skyloom::app {
namespace {

QRect toGlobal(const PinRowListView& view, const QRect& rect) {
    return QRect(view.viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

class RowAccessible;

class RowButtonAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    RowButtonAccessible(RowAccessible& row, PinRow::Button kind) : row_(row), kind_(kind) {}

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::PushButton; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    PinRow::Button kind() const { return kind_; }

private:
    RowAccessible& row_;
    PinRow::Button kind_;
};

class RowAccessible final : public QAccessibleInterface {
public:
    RowAccessible(PinRowListView* view, const PinnedFolderPtr& pin, int row)
        : view_(view), pin_(pin), identifier_(pin->persistentIdentifier().value_or(-1)),
          lastRow_(row) {}

    ~RowAccessible() override {
        for (auto id : std::as_const(buttons_))
            QAccessible::deleteAccessibleInterface(id);
    }

    // The row's place in the list now, or -1 when it left the list.
    int row() const {
        if (!view_)
            return -1;
        auto& model = view_->pinModel();
        if (auto pin = model.pin(lastRow_); pin && pin == pin_.lock())
            return lastRow_;
        lastRow_ = model.rowOf(identifier_);
        return lastRow_;
    }
    PinnedFolderPtr pin() const { return row() >= 0 ? pin_.lock() : nullptr; }
    PinRowListView* view() const { return view_; }

    bool isValid() const override { return row() >= 0; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return view_ ? QAccessible::queryAccessibleInterface(view_) : nullptr;
    }
    int childCount() const override {
        auto current = pin();
        return current ? static_cast<int>(PinRow::buttons(*current).size()) : 0;
    }
    QAccessibleInterface* child(int index) const override {
        auto current = pin();
        if (!current)
            return nullptr;
        auto kinds = PinRow::buttons(*current);
        if (index < 0 || index >= static_cast<int>(kinds.size()))
            return nullptr;
        const int key = static_cast<int>(kinds[index]);
        if (auto found = buttons_.find(key); found != buttons_.end())
            return QAccessible::accessibleInterface(*found);
        auto* button = new RowButtonAccessible(const_cast<RowAccessible&>(*this), kinds[index]);
        buttons_.insert(key, QAccessible::registerAccessibleInterface(button));
        return button;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        auto current = pin();
        if (!current || !child || child->parent() != this)
            return -1;
        auto kind = static_cast<const RowButtonAccessible*>(child)->kind();
        auto kinds = PinRow::buttons(*current);
        auto at = std::find(kinds.begin(), kinds.end(), kind);
        return at == kinds.end() ? -1 : static_cast<int>(at - kinds.begin());
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i)
            if (auto* button = child(i); button && button->rect().contains(x, y))
                return button;
        return nullptr;
    }
    QString text(QAccessible::Text t) const override {
        auto current = pin();
        if (!current)
            return {};
        if (t == QAccessible::Name)
            return QString::fromStdString(current->displayName());
        if (t == QAccessible::Description)
            return PinRow::secondLine(*current);
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const int at = row();
        if (at < 0)
            return {};
        return toGlobal(*view_, view_->visualRect(view_->pinModel().index(at)));
    }
    QRect localRect() const {
        const int at = row();
        return at < 0 ? QRect() : view_->visualRect(view_->pinModel().index(at));
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State s;
        const int at = row();
        if (at < 0) {
            s.invalid = true;
            return s;
        }
        auto index = view_->pinModel().index(at);
        s.selectable = true;
        s.focusable = true;
        s.selected = view_->selectionModel()->isSelected(index);
        s.focused = view_->hasFocus() && view_->currentIndex() == index;
        s.invisible = !view_->isVisible();
        s.offscreen = !view_->viewport()->rect().intersects(view_->visualRect(index));
        return s;
    }

private:
    QPointer<PinRowListView> view_;
    std::weak_ptr<PinnedFolder> pin_;
    std::int64_t identifier_;
    mutable int lastRow_;
    mutable QHash<int, QAccessible::Id> buttons_;
};

bool RowButtonAccessible::isValid() const {
    auto pin = row_.pin();
    if (!pin)
        return false;
    auto kinds = PinRow::buttons(*pin);
    return std::find(kinds.begin(), kinds.end(), kind_) != kinds.end();
}

QWindow* RowButtonAccessible::window() const {
    return row_.window();
}

QAccessibleInterface* RowButtonAccessible::parent() const {
    return &row_;
}

QString RowButtonAccessible::text(QAccessible::Text t) const {
    auto pin = row_.pin();
    if (!pin || t != QAccessible::Name)
        return {};
    return PinRow::buttonTitle(kind_, *pin);
}

QRect RowButtonAccessible::rect() const {
    auto pin = row_.pin();
    if (!pin)
        return {};
    auto parts = PinRow::geometry(*pin, row_.localRect(), row_.view());
    for (const auto& [kind, area] : parts.buttons)
        if (kind == kind_)
            return toGlobal(*row_.view(), area);
    return {};
}

QAccessible::State RowButtonAccessible::state() const {
    QAccessible::State s = row_.state();
    s.selectable = false;
    s.selected = false;
    s.focusable = false;
    s.focused = false;
    return s;
}

void RowButtonAccessible::doAction(const QString& name) {
    if (name != pressAction())
        return;
    const int at = row_.row();
    if (at < 0 || !isValid())
        return;
    row_.view()->rowDelegate().press(at, row_.indexOfChild(this));
}

// The list itself: its children are the rows, one per record.
class PinListAccessible final : public QAccessibleWidget {
public:
    explicit PinListAccessible(PinRowListView* view) : QAccessibleWidget(view, QAccessible::List) {
        auto& model = view->pinModel();
        removed_ = QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, view,
                                    [this](const QModelIndex&, int first, int last) {
                                        for (int row = first; row <= last; ++row)
                                            forget(row);
                                    });
        reset_ = QObject::connect(&model, &QAbstractItemModel::modelAboutToBeReset, view,
                                  [this] { forgetAll(); });
    }

    ~PinListAccessible() override {
        QObject::disconnect(removed_);
        QObject::disconnect(reset_);
        forgetAll();
    }

    PinRowListView* view() const { return static_cast<PinRowListView*>(object()); }

    int childCount() const override { return view()->pinModel().rowCount(); }

    QAccessibleInterface* child(int index) const override {
        auto pin = view()->pinModel().pin(index);
        if (!pin || !pin->persistentIdentifier())
            return nullptr;
        const auto identifier = *pin->persistentIdentifier();
        if (auto found = rows_.find(identifier); found != rows_.end())
            return QAccessible::accessibleInterface(*found);
        auto* row = new RowAccessible(view(), pin, index);
        rows_.insert(identifier, QAccessible::registerAccessibleInterface(row));
        return row;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child || child->role() != QAccessible::ListItem || child->parent() != this)
            return -1;
        return static_cast<const RowAccessible*>(child)->row();
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        QPoint local = view()->viewport()->mapFromGlobal(QPoint(x, y));
        auto index = view()->indexAt(local);
        return index.isValid() ? child(index.row()) : nullptr;
    }

    QAccessibleInterface* focusChild() const override {
        auto current = view()->currentIndex();
        return view()->hasFocus() && current.isValid() ? child(current.row()) : nullptr;
    }

private:
    void forget(int row) {
        auto pin = view()->pinModel().pin(row);
        if (!pin || !pin->persistentIdentifier())
            return;
        if (auto found = rows_.find(*pin->persistentIdentifier()); found != rows_.end()) {
            QAccessible::deleteAccessibleInterface(*found);
            rows_.erase(found);
        }
    }

    void forgetAll() {
        for (auto id : std::as_const(rows_))
            QAccessible::deleteAccessibleInterface(id);
        rows_.clear();
    }

    mutable QHash<std::int64_t, QAccessible::Id> rows_;
    QMetaObject::Connection removed_;
    QMetaObject::Connection reset_;
};

QAccessibleInterface* pinListFactory(const QString&, QObject* object) {
    if (auto* view = qobject_cast<PinRowListView*>(object))
        return new PinListAccessible(view);
    return nullptr;
}

} // namespace

void installPinListAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(pinListFactory);
        return true;
    }();
    (void)installed;
}

} // namespace skyloom::app
