#pragma once

#include "core/store/PinnedFolder.h"

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

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void openRows(const QModelIndex& index);

    PinStore& store_;
    PinListModel& model_;
    PinRowDelegate* delegate_;
};

} // namespace skyloom::app
