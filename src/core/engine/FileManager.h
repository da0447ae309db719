#pragma once

#include <string>

namespace skyloom {

// The existence checks the pin engine makes; replaceable in tests.
class FileManager {
public:
    virtual ~FileManager() = default;

    // True when something exists at `path` (a symbolic link is followed).
    virtual bool fileExists(const std::string& path) const;

    // As above, and tells whether that item is a directory.
    virtual bool fileExists(const std::string& path, bool& isDirectory) const;

    static const FileManager& defaultManager();
};

} // namespace skyloom
