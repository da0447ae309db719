#include "core/platform/ApplicationSupport.h"

#include <cstdlib>

namespace skyloom::platform {

std::string applicationSupportDirectory() {
    // A relative XDG_DATA_HOME is invalid and ignored.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
        return data;
    return homeDirectory() + "/.local/share";
}

} // namespace skyloom::platform
