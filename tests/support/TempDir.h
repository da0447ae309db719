#pragma once

#include "core/engine/FileSystemAddedDate.h"

#include <functional>
#include <string>

namespace skyloom::test {

// A fresh directory under /tmp, removed with everything in it (immutable
// flags cleared first) when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

    // Creates a folder (and its parents) below the directory; returns its path.
    std::string makeFolder(const std::string& relative, unsigned mode = 0755) const;
    // Creates a regular file below the directory; returns its path.
    std::string makeFile(const std::string& relative, const std::string& content = "") const;

private:
    std::string path_;
};

// A file's bytes (empty when it cannot be read), and writing them, folders made as needed.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// A file's type and mode bits, links not followed; 0 when it is not there.
unsigned modeOf(const std::string& path);

// A file's access time, and setting it (a test failure when that fails), links not followed.
TimeSpec accessTime(const std::string& path);
void setAccessTime(const std::string& path, TimeSpec time);

// Sets or clears the immutable flag (chattr +i); false when the file system
// does not support it.
bool setImmutable(const std::string& path, bool immutable);

// Takes away what is mounted at `path` (lazily) when it goes.
struct Unmount {
    std::string path;
    ~Unmount();
};

// Runs `body` in a forked child whose real, effective and saved ids are those
// of nobody (65534). Returns the child's exit status, or -1 when privileges
// could not be dropped (the reason goes to `why`). The body returns the exit
// status.
int runAsNobody(const std::function<int()>& body, std::string& why);

} // namespace skyloom::test
