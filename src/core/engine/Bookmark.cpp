#include "core/engine/Bookmark.h"

#include "core/platform/FolderIdentity.h"
#include "core/record/FolderPath.h"

#include <cstring>
#include <dirent.h>
#include <memory>

namespace skyloom {
namespace {

constexpr std::uint8_t magic[4] = {'S', 'K', 'B', 'M'};
// 1: device, inode, path. 2: adds the birth time.
constexpr std::uint8_t versionWithoutBirth = 1;
constexpr std::uint8_t versionWithBirth = 2;
constexpr std::size_t identityAt = sizeof(magic) + 1;

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

// The folder at `path` when it is the one with the stored identity.
std::optional<Bookmark::Identity> sameFolder(const Bookmark::Identity& stored,
                                             const std::string& path) {
    auto found = platform::folderIdentity(path);
    if (!found || !isSameFolder(FolderKey{stored.device, stored.inode, stored.birth},
                                FolderKey{found->device, found->inode, found->birth}))
        return std::nullopt;
    return found;
}

} // namespace

Bytes Bookmark::encode(const Identity& identity, const std::string& path) {
    Bytes data(std::begin(magic), std::end(magic));
    data.push_back(versionWithBirth);
    put(data, identity.device, 8);
    put(data, identity.inode, 8);
    data.push_back(identity.birth ? 1 : 0);
    TimeSpec birth = identity.birth.value_or(TimeSpec{});
    put(data, static_cast<std::uint64_t>(birth.seconds), 8);
    put(data, static_cast<std::uint64_t>(birth.nanoseconds), 4);
    put(data, path.size(), 4);
    data.insert(data.end(), path.begin(), path.end());
    return data;
}

std::optional<Bytes> Bookmark::make(const std::string& path) {
    auto identity = platform::folderIdentity(path);
    if (!identity)
        return std::nullopt;
    return encode(*identity, path);
}

namespace {

struct Parsed {
    Bookmark::Identity identity;
    std::string path;
};

std::optional<Parsed> parse(const Bytes& data) {
    if (data.size() < identityAt || std::memcmp(data.data(), magic, sizeof(magic)) != 0)
        return std::nullopt;
    const std::uint8_t version = data[sizeof(magic)];
    const std::size_t lengthAt = identityAt + 16 + (version == versionWithBirth ? 13 : 0);
    if ((version != versionWithoutBirth && version != versionWithBirth) ||
        data.size() < lengthAt + 4)
        return std::nullopt;
    Bookmark::Identity identity{get(data, identityAt, 8), get(data, identityAt + 8, 8),
                                std::nullopt, std::nullopt};
    if (version == versionWithBirth && data[identityAt + 16] == 1)
        identity.birth = TimeSpec{static_cast<std::int64_t>(get(data, identityAt + 17, 8)),
                                  static_cast<std::int64_t>(get(data, identityAt + 25, 4))};
    const std::size_t pathAt = lengthAt + 4;
    std::uint64_t length = get(data, lengthAt, 4);
    if (data.size() != pathAt + length || length == 0 || data[pathAt] != '/')
        return std::nullopt;
    std::string path(data.begin() + static_cast<std::ptrdiff_t>(pathAt), data.end());
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    return Parsed{identity, std::move(path)};
}

} // namespace

std::optional<FolderKey> Bookmark::key(const Bytes& data) {
    auto parsed = parse(data);
    if (!parsed)
        return std::nullopt;
    return FolderKey{parsed->identity.device, parsed->identity.inode, parsed->identity.birth};
}

std::optional<Bookmark::Resolution> Bookmark::resolve(const Bytes& data) {
    auto parsed = parse(data);
    if (!parsed)
        return std::nullopt;
    const Identity& identity = parsed->identity;
    const std::string& path = parsed->path;

    if (auto found = sameFolder(identity, path))
        return Resolution{path, false, found->addedDate};

    // A rename keeps the folder in its old parent: look for its inode there.
    std::string parentPath = FolderPath::parent(path);
    struct CloseDir {
        void operator()(DIR* d) const { closedir(d); }
    };
    std::unique_ptr<DIR, CloseDir> dir(opendir(parentPath.c_str()));
    if (!dir)
        return std::nullopt;
    while (dirent* entry = readdir(dir.get())) {
        if (static_cast<std::uint64_t>(entry->d_ino) != identity.inode)
            continue;
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string candidate = (parentPath == "/" ? "" : parentPath) + "/" + name;
        if (auto found = sameFolder(identity, candidate))
            return Resolution{candidate, true, found->addedDate};
    }
    return std::nullopt;
}

} // namespace skyloom
