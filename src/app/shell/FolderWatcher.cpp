#include "app/shell/FolderWatcher.h"

#include "core/store/PinStore.h"

#include <QSocketNotifier>

#include <algorithm>

namespace skyloom::app {

FolderWatcher::FolderWatcher(PinStore& store, QObject* parent) : QObject(parent), store_(store) {}

FolderWatcher::~FolderWatcher() {
    if (changesToken_ != 0)
        store_.changes().remove(changesToken_);
}

bool FolderWatcher::start() {
    if (notifier_ || events_.fileDescriptor() < 0)
        return notifier_ != nullptr;
    notifier_ =
        std::make_unique<QSocketNotifier>(events_.fileDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &FolderWatcher::eventsArrived);
    changesToken_ =
        store_.changes().add([this](const ModelChange& change) { recordChanged(change); });
    for (const auto& record : store_.fetchPins())
        watch(record);
    return true;
}

void FolderWatcher::recordChanged(const ModelChange& change) {
    using Kind = ModelChange::Kind;
    using Field = PinnedFolder::Field;
    switch (change.kind) {
    case Kind::inserted:
        watch(change.record);
        break;
    case Kind::deleted:
        unwatch(change.record.get());
        break;
    case Kind::updated:
        // A new path, or a folder found again, is watched where it now is.
        if (change.field == Field::path || change.field == Field::isMissing ||
            change.field == Field::needsAccess)
            watch(change.record);
        break;
    case Kind::moved:
        break;
    }
}

void FolderWatcher::watch(const PinnedFolderPtr& record) {
    if (!record)
        return;
    int watch = record->path().empty() ? -1 : events_.add(record->path());
    auto known = watchOf_.find(record.get());
    if (known != watchOf_.end() && known->second == watch)
        return;
    unwatch(record.get());
    if (watch < 0)
        return;
    records_[watch].push_back(record);
    watchOf_[record.get()] = watch;
}

void FolderWatcher::unwatch(const PinnedFolder* record) {
    auto known = watchOf_.find(record);
    if (known == watchOf_.end())
        return;
    int watch = known->second;
    watchOf_.erase(known);
    auto holders = records_.find(watch);
    if (holders == records_.end())
        return;
    std::erase_if(holders->second, [record](const auto& r) { return r.get() == record; });
    if (holders->second.empty()) {
        records_.erase(holders);
        events_.remove(watch);
    }
}

void FolderWatcher::eventsArrived() {
    // Putting a pin back changes the folder's date, which the kernel reports
    // at once. Those reports are read right after and dropped, so the app's
    // own writes never bring it back here.
    std::unordered_set<PinnedFolder*> echoes;
    for (auto events = events_.read(); !events.empty(); events = events_.read())
        echoes = handle(events, echoes);
}

std::unordered_set<PinnedFolder*>
FolderWatcher::handle(const std::vector<FolderEvents::Event>& events,
                      const std::unordered_set<PinnedFolder*>& echoes) {
    using Kind = FolderEvents::Event::Kind;
    std::vector<PinnedFolderPtr> touched;
    bool everything = false;
    for (const auto& event : events) {
        if (event.kind == Kind::overflow) {
            everything = true;
            continue;
        }
        auto holders = records_.find(event.watch);
        if (holders == records_.end())
            continue; // a watch already given up, e.g. of a pin just removed
        for (const auto& record : holders->second) {
            if (event.kind == Kind::attributesChanged && echoes.contains(record.get()))
                continue;
            if (std::find(touched.begin(), touched.end(), record) == touched.end())
                touched.push_back(record);
        }
        if (event.kind == Kind::watchEnded) {
            for (const auto& record : holders->second)
                watchOf_.erase(record.get());
            records_.erase(holders);
        }
    }
    if (everything)
        touched = store_.fetchPins();

    // Through the store like every re-apply: a date someone else set is saved
    // as the earlier date before the pin date goes back over it, and a pin
    // unpinned while away completes now that its folder is back.
    std::unordered_set<PinnedFolder*> refreshed;
    for (const auto& record : touched)
        refreshed.insert(record.get());
    if (!touched.empty())
        store_.reapply(touched);
    return refreshed;
}

} // namespace skyloom::app
