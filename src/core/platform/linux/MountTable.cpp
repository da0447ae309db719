#include "core/platform/linux/MountTable.h"

#include "core/platform/PathText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>

namespace skyloom::platform {
namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        std::size_t end = line.find(' ', at);
        if (end == std::string_view::npos)
            end = line.size();
        if (end > at)
            fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

// The kernel writes space, tab, newline and backslash in names as \ooo.
std::string unescape(std::string_view field) {
    auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                            (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

bool contains(std::string_view mountPoint, std::string_view path) {
    if (mountPoint == "/")
        return !path.empty() && path.front() == '/';
    return path.substr(0, mountPoint.size()) == mountPoint &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

} // namespace

MountTable MountTable::parse(std::string_view text) {
    MountTable table;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);

        // id parent major:minor root mount-point options [optional...] - type source ...
        auto fields = splitFields(line);
        auto separator = std::find(fields.begin() + std::min<std::size_t>(fields.size(), 6),
                                   fields.end(), std::string_view("-"));
        if (fields.size() < 6 || separator == fields.end() || std::next(separator) == fields.end())
            continue;
        Mount mount;
        std::string_view device = fields[2];
        std::size_t colon = device.find(':');
        if (colon == std::string_view::npos ||
            std::from_chars(device.data(), device.data() + colon, mount.major).ec != std::errc() ||
            std::from_chars(device.data() + colon + 1, device.data() + device.size(), mount.minor)
                    .ec != std::errc())
            continue;
        mount.mountPoint = unescape(fields[4]);
        mount.fileSystem = lowerCase(unescape(*std::next(separator)));
        table.mounts_.push_back(std::move(mount));
    }
    return table;
}

MountTable MountTable::current() {
    std::ifstream file("/proc/self/mountinfo");
    if (!file)
        return {};
    std::ostringstream text;
    text << file.rdbuf();
    return parse(text.str());
}

const Mount* MountTable::find(unsigned major, unsigned minor, std::string_view resolvedPath) const {
    const Mount* onDevice = nullptr;
    const Mount* anyDevice = nullptr;
    // >= so that a later mount on the same mount point wins: it covers the earlier one.
    for (const Mount& mount : mounts_) {
        if (!contains(mount.mountPoint, resolvedPath))
            continue;
        if (!anyDevice || mount.mountPoint.size() >= anyDevice->mountPoint.size())
            anyDevice = &mount;
        if (mount.major == major && mount.minor == minor &&
            (!onDevice || mount.mountPoint.size() >= onDevice->mountPoint.size()))
            onDevice = &mount;
    }
    return onDevice ? onDevice : anyDevice;
}

bool isVirtualFileSystem(std::string_view fileSystem) {
    static constexpr std::array<std::string_view, 22> pseudo = {
        "proc",    "sysfs",     "devtmpfs",    "devpts",   "cgroup",    "cgroup2",
        "debugfs", "tracefs",   "securityfs",  "pstore",   "bpf",       "configfs",
        "mqueue",  "hugetlbfs", "binfmt_misc", "efivarfs", "selinuxfs", "nsfs",
        "fusectl", "autofs",    "rpc_pipefs",  "nfsd"};
    return std::find(pseudo.begin(), pseudo.end(), fileSystem) != pseudo.end();
}

bool isNetworkFileSystem(std::string_view fileSystem) {
    static constexpr std::array<std::string_view, 16> network = {
        "nfs",   "cifs",  "smb3", "smbfs",  "9p",       "ceph",   "glusterfs", "afs",
        "davfs", "ncpfs", "coda", "lustre", "orangefs", "beegfs", "gpfs",      "ocfs2"};
    static constexpr std::array<std::string_view, 14> networkFuse = {
        "sshfs",     "rclone",  "gvfsd-fuse", "gvfs-fuse-daemon", "s3fs",
        "glusterfs", "ceph",    "ceph-fuse",  "davfs2",           "curlftpfs",
        "smbnetfs",  "gcsfuse", "goofys",     "blobfuse2"};
    if (fileSystem.starts_with("nfs") || fileSystem.starts_with("smb"))
        return true;
    if (std::find(network.begin(), network.end(), fileSystem) != network.end())
        return true;
    for (std::string_view prefix : {"fuse.", "fuseblk."}) {
        if (fileSystem.starts_with(prefix)) {
            auto subtype = fileSystem.substr(prefix.size());
            return std::find(networkFuse.begin(), networkFuse.end(), subtype) != networkFuse.end();
        }
    }
    return false;
}

std::string fileSystemName(unsigned long magic) {
    struct Known {
        unsigned long magic;
        const char* name;
    };
    static constexpr Known known[] = {
        {0xEF53, "ext4"},         {0x9123683E, "btrfs"},    {0x58465342, "xfs"},
        {0x01021994, "tmpfs"},    {0x4d44, "vfat"},         {0x2011BAB0, "exfat"},
        {0x5346544e, "ntfs"},     {0x7366746e, "ntfs3"},    {0xF2F52010, "f2fs"},
        {0x2fc12fc1, "zfs"},      {0xca451a4e, "bcachefs"}, {0x794c7630, "overlay"},
        {0x65735546, "fuse"},     {0x482b, "hfsplus"},      {0x9660, "iso9660"},
        {0x73717368, "squashfs"}, {0x6969, "nfs"},          {0xFF534D42, "cifs"},
        {0xFE534D42, "smb3"},     {0x517B, "smbfs"},        {0x01021997, "9p"},
        {0x00c36400, "ceph"},     {0x5346414F, "afs"},
    };
    for (const Known& entry : known)
        if (entry.magic == magic)
            return entry.name;
    return {};
}

} // namespace skyloom::platform
