#pragma once

#include "core/record/PinnedFolder.h"

#include <QListView>

#include <memory>

class QMenu;

namespace skyloom {
class PinStore;
}

namespace skyloom::app {

class PinListModel;
class PinRowDelegate;

// The rows of the pin list: single selection, Return opens, Delete removes,
// double-click opens, and the context menu of a row.
class PinRowListView : public QListView {
    Q_OBJECT
public:
    PinRowListView(PinStore& store, PinListModel& model, QWidget* parent = nullptr);

    PinListModel& pinModel() const { return model_; }
    PinRowDelegate& rowDelegate() const { return *delegate_; }

    // The selected record, or null.
    PinnedFolderPtr selectedPin() const;
    // The context menu for a row; null when the row holds no record.
    std::unique_ptr<QMenu> contextMenuFor(int row);

    // Opens the current row's menu below its name (Menu key, Shift+F10).
    void openMenuOfCurrentRow();

signals:
    // Just before a row's menu runs (tests close it from here).
    void menuShown(QMenu* menu);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void openRows(const QModelIndex& index);

    PinStore& store_;
    PinListModel& model_;
    PinRowDelegate* delegate_;
};

} // namespace skyloom::app
