#pragma once

#include <string>
#include <string_view>

namespace skyloom {

// Folder paths are bytes, as the file system keeps them. They are normalised
// only to compare and to display, never rewritten on the way to the disk.
class FolderPath {
public:
    // Absolute (relative paths are taken from the working directory), with
    // "." and ".." components and repeated or trailing slashes removed
    // lexically. Empty for an empty path; relative when the working directory
    // no longer exists.
    static std::string standardized(std::string_view path);

    // The path as the kernel resolves it (every symbolic link and ".."
    // resolved in the order given); the standardised path when it cannot be
    // resolved (nothing there). Empty for an empty path.
    static std::string normalized(std::string_view path);

    // True when the two paths name one folder by name: byte-equal, or on
    // platforms whose file systems treat them as one name, canonically
    // equivalent in Unicode. No case folding.
    static bool equivalent(std::string_view a, std::string_view b);

    // A key under which equivalent paths are equal: the NFC form where names
    // are canonically equivalent (macOS), the bytes themselves on Linux.
    static std::string comparisonKey(std::string_view path);

    // The name the file manager shows for the item at `path`, in NFC; empty
    // for an empty path.
    static std::string displayName(std::string_view path);

    // The folder that holds `path` ("/" for "/").
    static std::string parent(std::string_view path);
};

} // namespace skyloom
