#include "core/platform/ApplicationSupport.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace skyloom::platform {

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

} // namespace skyloom::platform
