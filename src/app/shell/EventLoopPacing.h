#pragma once

#include "core/store/PinStore.h"

namespace skyloom::app {

// Lets the app's windows answer while the store works through a long
// operation on the GUI thread: events are let in between folders every few
// milliseconds, and a commit, which can take seconds on a busy disk, runs on
// a worker thread while the event loop goes on. The store defers the changes
// those events ask for until its operation is done, so the work itself is
// never re-entered.
//
// Clicks and keys are let in only while a command from outside runs (an
// OpenToInput is alive). An operation the window started itself sits in
// that window's own event handler, which a click letting the window close
// would pull from under it; there the window repaints and answers the
// desktop, and its input waits until the operation is done.
class EventLoopPacing {
public:
    // Events are let in at least this often during an operation.
    static constexpr int intervalMs = 15;

    static PinStore::Pacing make();

    class OpenToInput {
    public:
        OpenToInput();
        ~OpenToInput();
        OpenToInput(const OpenToInput&) = delete;
        OpenToInput& operator=(const OpenToInput&) = delete;
    };
};

} // namespace skyloom::app
