#include "core/engine/FileManager.h"

#include <sys/stat.h>

namespace skyloom {

bool FileManager::fileExists(const std::string& path) const {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool FileManager::fileExists(const std::string& path, bool& isDirectory) const {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        isDirectory = false;
        return false;
    }
    isDirectory = S_ISDIR(info.st_mode);
    return true;
}

const FileManager& FileManager::defaultManager() {
    static const FileManager manager;
    return manager;
}

} // namespace skyloom
