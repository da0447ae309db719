#include "core/platform/FolderAccess.h"

namespace skyloom::platform {

// The Mac asks for access through the folder chooser; its reason is not told.
FolderAccess folderAccess(const std::string&) {
    return {};
}

} // namespace skyloom::platform
