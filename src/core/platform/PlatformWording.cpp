#include "core/PlatformWording.h"

#include <string_view>

namespace skyloom::platform {

const char* wording(const char* key) {
    for (const auto& entry : wordings()) {
        if (std::string_view(entry.key) == key)
            return entry.text;
    }
    return key;
}

} // namespace skyloom::platform
