#include "app/shell/ActivationWatcher.h"

#include <QSocketNotifier>

namespace skyloom::app {

// Without X11 the shell has no way to learn which window is active.
ActivationWatcher::ActivationWatcher(std::function<void()> fileManagerActivated, QObject* parent)
    : QObject(parent), fileManagerActivated_(std::move(fileManagerActivated)) {}

ActivationWatcher::~ActivationWatcher() = default;

bool ActivationWatcher::start(const char*) {
    return false;
}

bool ActivationWatcher::isFileManagerClass(std::string_view) {
    return false;
}

void ActivationWatcher::eventsArrived() {}
void ActivationWatcher::activeWindowChanged() {}
void ActivationWatcher::stop() {}

} // namespace skyloom::app
