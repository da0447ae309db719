#include "core/engine/Bookmark.h"

#include "core/engine/FolderPath.h"

#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace skyloom {
namespace {

constexpr std::uint8_t magic[4] = {'S', 'K', 'B', 'M'};
constexpr std::uint8_t version = 1;
constexpr std::size_t headerSize = sizeof(magic) + 1 + 8 + 8 + 4;

void put(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t get(const Bytes& in, std::size_t at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(in[at + i]) << (8 * i);
    return value;
}

bool holds(const std::string& path, std::uint64_t device, std::uint64_t inode) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           static_cast<std::uint64_t>(info.st_dev) == device &&
           static_cast<std::uint64_t>(info.st_ino) == inode;
}

} // namespace

std::optional<Bytes> Bookmark::make(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    Bytes data(std::begin(magic), std::end(magic));
    data.push_back(version);
    put(data, static_cast<std::uint64_t>(info.st_dev), 8);
    put(data, static_cast<std::uint64_t>(info.st_ino), 8);
    put(data, path.size(), 4);
    data.insert(data.end(), path.begin(), path.end());
    return data;
}

std::optional<Bookmark::Resolution> Bookmark::resolve(const Bytes& data) {
    if (data.size() < headerSize || std::memcmp(data.data(), magic, sizeof(magic)) != 0 ||
        data[4] != version)
        return std::nullopt;
    std::uint64_t device = get(data, 5, 8);
    std::uint64_t inode = get(data, 13, 8);
    std::uint64_t length = get(data, 21, 4);
    if (data.size() != headerSize + length || length == 0 || data[headerSize] != '/')
        return std::nullopt;
    std::string path(data.begin() + headerSize, data.end());
    if (path.find('\0') != std::string::npos)
        return std::nullopt;

    if (holds(path, device, inode))
        return Resolution{path, false};

    // A rename keeps the folder in its old parent: look for its inode there.
    std::string parentPath = FolderPath::parent(path);
    struct CloseDir {
        void operator()(DIR* d) const { closedir(d); }
    };
    std::unique_ptr<DIR, CloseDir> dir(opendir(parentPath.c_str()));
    if (!dir)
        return std::nullopt;
    while (dirent* entry = readdir(dir.get())) {
        if (static_cast<std::uint64_t>(entry->d_ino) != inode)
            continue;
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string candidate = (parentPath == "/" ? "" : parentPath) + "/" + name;
        if (holds(candidate, device, inode))
            return Resolution{candidate, true};
    }
    return std::nullopt;
}

} // namespace skyloom
