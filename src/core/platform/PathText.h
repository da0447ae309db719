#pragma once

#include <string>
#include <string_view>

namespace skyloom::platform {

// True when `path` cannot be handed to the system: it holds a NUL byte.
bool hasNoFileSystemRepresentation(std::string_view path);

// ASCII letters in lower case; every other byte as it is.
std::string lowerCase(std::string_view text);

} // namespace skyloom::platform
