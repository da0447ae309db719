#include "app/shell/FolderEvents.h"

namespace skyloom::app {

// This system gives no per-folder notifications the shell uses; pins are
// still put back at launch and when the file manager becomes active.
FolderEvents::FolderEvents(Backend) {}

int FolderEvents::add(const std::string&) {
    return -1;
}

void FolderEvents::remove(int) {}

std::vector<FolderEvents::Event> FolderEvents::read() {
    return {};
}

} // namespace skyloom::app
