#include "core/platform/PlatformWording.h"

namespace skyloom::platform {

// The Korean texts name Finder and the Mac already.
std::span<const Wording> wordings() {
    return {};
}

} // namespace skyloom::platform
