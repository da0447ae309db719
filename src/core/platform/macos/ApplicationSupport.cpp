#include "core/platform/ApplicationSupport.h"

namespace skyloom::platform {

std::string applicationSupportDirectory() {
    return homeDirectory() + "/Library/Application Support";
}

} // namespace skyloom::platform
