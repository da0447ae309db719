#pragma once

#include "core/store/PinStore.h"

namespace skyloom::app {

// Lets the app's windows answer while the store works through a long
// operation on the GUI thread: events are let in between folders every few
// milliseconds, and a commit, which can take seconds on a busy disk, runs on
// a worker thread while the event loop goes on. The store defers the changes
// those events ask for until its operation is done, so the work itself is
// never re-entered.
class EventLoopPacing {
public:
    // Events are let in at least this often during an operation.
    static constexpr int intervalMs = 15;

    static PinStore::Pacing make();
};

} // namespace skyloom::app
