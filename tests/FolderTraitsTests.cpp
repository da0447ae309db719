#include "core/engine/FolderTraits.h"
#include "core/platform/linux/MountTable.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sys/mount.h>

using namespace skyloom;
using namespace skyloom::platform;

namespace {

constexpr const char* sampleMountInfo =
    "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
    "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "40 27 8:17 / /mnt/my\\040disk rw,relatime shared:7 master:2 - VFAT /dev/sdb1 rw\n"
    "41 27 0:41 / /mnt/remote rw - fuse.sshfs me@host:/ rw\n"
    "42 27 0:42 / /mnt/share rw - nfs4 server:/export rw\n"
    "43 27 254:0 /home /mnt/bind rw - ext4 /dev/vda rw\n"
    "44 27 0:44 / /mnt/share rw - tmpfs tmpfs rw\n"
    "not a mount line\n"
    "45 27 0:45 / /mnt/tab\\011and\\134back rw - Btrfs /dev/sdc rw";

TEST(MountTable, FindsTheMountHoldingAPath) {
    auto table = MountTable::parse(sampleMountInfo);
    ASSERT_EQ(table.mounts().size(), 8u);
    auto typeAt = [&](unsigned major, unsigned minor, const char* path) {
        const Mount* mount = table.find(major, minor, path);
        return mount ? mount->mountPoint + " " + mount->fileSystem : std::string("none");
    };
    EXPECT_EQ(typeAt(8, 17, "/mnt/my disk/photos"), "/mnt/my disk vfat");
    EXPECT_EQ(typeAt(254, 0, "/mnt/my disk2"), "/ ext4"); // a component boundary, not a prefix
    EXPECT_EQ(typeAt(254, 0, "/mnt/bind/x"), "/mnt/bind ext4");
    EXPECT_EQ(typeAt(0, 44, "/mnt/share/x"), "/mnt/share tmpfs"); // the later mount covers
    EXPECT_EQ(typeAt(0, 42, "/mnt/share"), "/mnt/share nfs4");
    EXPECT_EQ(typeAt(0, 99, "/mnt/remote/a"), "/mnt/remote fuse.sshfs"); // device unknown
    EXPECT_EQ(typeAt(0, 45, "/mnt/tab\tand\\back"), "/mnt/tab\tand\\back btrfs");
    EXPECT_EQ(typeAt(0, 1, "relative"), "none");
}

TEST(FolderTraits, ReadsTheRealMount) {
    test::TempDir temp;
    // findmnt, where present, tells what the folder is on.
    char line[64] = {};
    if (FILE* pipe = ::popen(("findmnt -no FSTYPE -T '" + temp.path() + "'").c_str(), "r")) {
        if (!std::fgets(line, sizeof line, pipe))
            line[0] = '\0';
        ::pclose(pipe);
    }
    std::string type(line, std::strcspn(line, "\n"));
    FolderTraits traits = readFolderTraits(temp.makeFolder("a"));
    EXPECT_NE(traits, FolderTraits{}); // read, not the defaults
    EXPECT_EQ(traits, (FolderTraits{false, true, type.empty() ? traits.fileSystem : type}));
    EXPECT_EQ(readFolderTraits(temp.path() + "/missing"), (FolderTraits{false, true, ""}));
    // Pseudo file systems keep no dates: no local volume to pin on.
    EXPECT_EQ(readFolderTraits("/proc"), (FolderTraits{false, false, "proc"}));

    // A mount point whose name the kernel escapes.
    std::string spaced = temp.makeFolder("my disk");
    if (::mount("skyloom-test", spaced.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs (needs root)";
    FolderTraits onTmpfs = readFolderTraits(temp.makeFolder("my disk/inner"));
    ::umount2(spaced.c_str(), MNT_DETACH);
    EXPECT_EQ(onTmpfs, (FolderTraits{false, true, "tmpfs"}));
}

} // namespace
