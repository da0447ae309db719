#include "core/platform/PathText.h"

namespace skyloom::platform {

bool hasNoFileSystemRepresentation(std::string_view path) {
    return path.find('\0') != std::string_view::npos;
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

} // namespace skyloom::platform
