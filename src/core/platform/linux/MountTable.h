#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skyloom::platform {

// One line of /proc/self/mountinfo, reduced to what the folder traits need.
struct Mount {
    unsigned major = 0;
    unsigned minor = 0;
    std::string mountPoint; // octal escapes (\040 and the like) decoded
    std::string fileSystem; // lower case, "fuse.sshfs" for a FUSE subtype
};

// The mounts of the process, in the order the kernel lists them (later mounts
// cover earlier ones at the same mount point).
class MountTable {
public:
    // Parses the text of /proc/self/mountinfo; malformed lines are skipped.
    static MountTable parse(std::string_view text);
    // The table of the calling process; empty when it cannot be read.
    static MountTable current();

    const std::vector<Mount>& mounts() const { return mounts_; }

    // The mount holding `resolvedPath` (absolute, links resolved) on device
    // major:minor: the one on that device with the longest mount point that
    // contains the path, else (btrfs subvolumes and overlays report other
    // devices) the longest containing mount point of any device; null when none.
    const Mount* find(unsigned major, unsigned minor, std::string_view resolvedPath) const;

private:
    std::vector<Mount> mounts_;
};

// True for pseudo file systems (proc, sysfs, devtmpfs...): their items' times
// are not kept.
bool isVirtualFileSystem(std::string_view fileSystem);

// True for file systems whose data lives on another machine.
bool isNetworkFileSystem(std::string_view fileSystem);

// The type name for a statfs f_type magic number; empty when unknown.
std::string fileSystemName(unsigned long magic);

} // namespace skyloom::platform
