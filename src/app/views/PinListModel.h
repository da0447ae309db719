#pragma once

#include "core/store/PinStore.h"

#include <QAbstractListModel>

#include <vector>

namespace skyloom::app {

// The live query of the pin list: every record of the store in `order`,
// following each insert, delete, move and field change as it happens.
class PinListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        // Qt::DisplayRole is the display name.
        SecondLineRole = Qt::UserRole + 1,
        IdentifierRole,
        IsMissingRole,
        NeedsAccessRole,
        IsLockedRole,
    };

    explicit PinListModel(PinStore& store, QObject* parent = nullptr);
    ~PinListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The record of a row; null outside the list.
    PinnedFolderPtr pin(int row) const;
    PinnedFolderPtr pin(const QModelIndex& index) const { return pin(index.row()); }
    // The row of the record with this identifier, or -1.
    int rowOf(std::int64_t identifier) const;

private:
    void apply(const ModelChange& change);

    PinStore& store_;
    ObserverList<const ModelChange&>::Token token_;
    std::vector<PinnedFolderPtr> pins_;
};

} // namespace skyloom::app
