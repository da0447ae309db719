#pragma once

#include <string>
#include <string_view>

namespace skyloom {

// Folder paths are bytes, as the file system keeps them. They are normalised
// only to compare and to display, never rewritten on the way to the disk.
class FolderPath {
public:
    // Absolute (relative paths are taken from the working directory), with
    // "." and ".." components and repeated or trailing slashes removed.
    static std::string standardized(std::string_view path);

    // The standardised path with every symbolic link resolved; the
    // standardised path itself when it cannot be resolved.
    static std::string normalized(std::string_view path);

    // True when the two paths are canonically equivalent in Unicode
    // (precomposed and decomposed forms match); no case folding.
    static bool equivalent(std::string_view a, std::string_view b);

    // A key under which canonically equivalent paths are equal: the NFC form.
    // Bytes that are not valid UTF-8 pass through unchanged.
    static std::string comparisonKey(std::string_view path);

    // The name the file manager shows for the item at `path`, in NFC.
    static std::string displayName(std::string_view path);

    // The folder that holds `path` ("/" for "/").
    static std::string parent(std::string_view path);
};

} // namespace skyloom
