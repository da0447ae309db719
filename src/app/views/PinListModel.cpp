#include "app/views/PinListModel.h"

#include "app/views/PinRow.h"

namespace skyloom::app {

PinListModel::PinListModel(PinStore& store, QObject* parent)
    : QAbstractListModel(parent), store_(store), pins_(store.fetchPins()) {
    token_ = store_.changes().add([this](const ModelChange& change) { apply(change); });
}

PinListModel::~PinListModel() {
    store_.changes().remove(token_);
}

void PinListModel::apply(const ModelChange& change) {
    const int position = static_cast<int>(change.position);
    switch (change.kind) {
    case ModelChange::Kind::inserted:
        beginInsertRows({}, position, position);
        pins_.insert(pins_.begin() + position, change.record);
        endInsertRows();
        break;
    case ModelChange::Kind::deleted:
        beginRemoveRows({}, position, position);
        pins_.erase(pins_.begin() + position);
        endRemoveRows();
        break;
    case ModelChange::Kind::updated:
        emit dataChanged(index(position), index(position));
        break;
    case ModelChange::Kind::moved: {
        const int from = static_cast<int>(change.previousPosition);
        if (from == position) {
            emit dataChanged(index(position), index(position));
            break;
        }
        // Qt names the row the moved one goes before, counted before the move.
        beginMoveRows({}, from, from, {}, position > from ? position + 1 : position);
        auto record = pins_[from];
        pins_.erase(pins_.begin() + from);
        pins_.insert(pins_.begin() + position, record);
        endMoveRows();
        break;
    }
    }
}

int PinListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(pins_.size());
}

PinnedFolderPtr PinListModel::pin(int row) const {
    if (row < 0 || row >= static_cast<int>(pins_.size()))
        return nullptr;
    return pins_[row];
}

int PinListModel::rowOf(std::int64_t identifier) const {
    for (std::size_t row = 0; row < pins_.size(); ++row)
        if (pins_[row]->persistentIdentifier() == identifier)
            return static_cast<int>(row);
    return -1;
}

QVariant PinListModel::data(const QModelIndex& index, int role) const {
    auto record = pin(index);
    if (!record || index.parent().isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(record->displayName());
    case Qt::ToolTipRole:
        // A tooltip that looks like markup is shown as markup: a folder
        // named "<h1>…" must show its name, escaped inside plain markup.
        return QStringLiteral("<p style='white-space:pre'>%1</p>")
            .arg(QString::fromStdString(record->path()).toHtmlEscaped());
    case SecondLineRole:
        return PinRow::secondLine(*record);
    case IdentifierRole:
        return QVariant::fromValue<qint64>(record->persistentIdentifier().value_or(-1));
    case IsMissingRole:
        return record->isMissing();
    case NeedsAccessRole:
        return record->needsAccess();
    case IsLockedRole:
        return record->isLocked();
    default:
        return {};
    }
}

QHash<int, QByteArray> PinListModel::roleNames() const {
    auto names = QAbstractListModel::roleNames();
    names.insert(SecondLineRole, "secondLine");
    names.insert(IdentifierRole, "identifier");
    names.insert(IsMissingRole, "isMissing");
    names.insert(NeedsAccessRole, "needsAccess");
    names.insert(IsLockedRole, "isLocked");
    return names;
}

} // namespace skyloom::app
