#pragma once

#include "app/shell/FolderEvents.h"
#include "core/ObserverList.h"
#include "core/record/PinnedFolder.h"

#include <QObject>

#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QSocketNotifier;

namespace skyloom {
class PinStore;
struct ModelChange;
} // namespace skyloom

namespace skyloom::app {

// Watches every pinned folder and acts the moment one changes outside the
// app: a pin whose date someone else changed is put back, a renamed, moved
// or deleted folder gets its record's path and flags brought up to date.
// Driven by the kernel's notifications on the event loop (no thread, no
// timer); follows the store's records as they are added and removed. When
// the system's watch limit is reached, the folders past it are simply not
// watched; launch and file-manager activation still put them back.
class FolderWatcher : public QObject {
    Q_OBJECT
public:
    explicit FolderWatcher(PinStore& store, QObject* parent = nullptr);
    ~FolderWatcher() override;

    // Starts watching; false when the system offers no folder notifications.
    bool start();
    bool isWatching() const { return notifier_ != nullptr; }

    // Folders watched now.
    std::size_t watchedCount() const { return watchOf_.size(); }

private:
    void recordChanged(const ModelChange& change);
    void watch(const PinnedFolderPtr& record);
    void unwatch(const PinnedFolder* record);
    void eventsArrived();
    std::unordered_set<PinnedFolder*> handle(const std::vector<FolderEvents::Event>& events,
                                             const std::unordered_set<PinnedFolder*>& echoes);

    PinStore& store_;
    FolderEvents events_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::uint64_t changesToken_ = 0;
    std::unordered_map<int, std::vector<PinnedFolderPtr>> records_;
    std::unordered_map<const PinnedFolder*, int> watchOf_;
};

} // namespace skyloom::app
