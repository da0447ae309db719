#include "core/FolderTraits.h"
#include "core/engine/PinService.h"
#include "core/platform/FolderAccess.h"
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

// Each way a volume refuses a pin names its own cause, from the real engine.
TEST(FolderTraits, VolumeErrorsNameTheRealCause) {
    PinService service = PinService::makeDefault();
    auto refusal = [&](const std::function<void()>& attempt) {
        try {
            attempt();
        } catch (const PinError& error) {
            EXPECT_EQ(error, PinError::unsupportedVolume());
            return error.errorDescription();
        }
        return std::string("no error");
    };
    const std::string virtualText =
        "시스템이 만들어 보여 주는 가상 폴더예요(/proc, /sys 등). 날짜를 "
        "저장하지 않아 고정할 수 없어요. 내 파일이 있는 폴더를 "
        "고정하세요.";
    EXPECT_EQ(refusal([&] { service.validate("/proc", {}); }), virtualText);
    EXPECT_EQ(refusal([&] { service.validate("/sys/kernel", {}); }), virtualText);
    // Past validation the write itself tells the same.
    EXPECT_EQ(refusal([&] { service.dates().writeAddedDate(pinDate(0), "/proc"); }), virtualText);

    auto network = PinService(std::make_shared<FileSystemAddedDate>(),
                              std::make_shared<FileManager>(), [](const std::string&) {
                                  return FolderTraits{false, false, "nfs4"};
                              });
    test::TempDir temp;
    EXPECT_EQ(refusal([&] { network.validate(temp.path(), {}); }),
              "네트워크 디스크에 있는 폴더예요. 다른 컴퓨터가 날짜를 바꿀 수 있어 고정할 수 "
              "없어요. 이 컴퓨터의 디스크에 있는 폴더를 고정하세요.");

    // A read-only bind mount of an ordinary disk: its date range is fine.
    std::string source = temp.makeFolder("source");
    temp.makeFolder("source/work");
    std::string mounted = temp.makeFolder("read-only");
    if (::mount(source.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind-mount (needs root): " << std::strerror(errno);
    int remounted =
        ::mount(nullptr, mounted.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
    std::string folder = mounted + "/work";
    std::string text;
    AccessProblem access = AccessProblem::none;
    if (remounted == 0) {
        auto pin = service.makePin(folder, {}, 0); // accepted: the volume itself is fine
        text = refusal([&] { service.applyPinDate(*pin); });
        access = folderAccess(folder).problem;
    }
    ::umount2(mounted.c_str(), MNT_DETACH);
    ASSERT_EQ(remounted, 0) << std::strerror(errno);
    EXPECT_EQ(text, "읽기 전용으로 연결된 디스크예요. 폴더의 날짜를 바꿀 수 없어요. 쓰기 가능하게 "
                    "다시 연결하거나(예: 'sudo mount -o remount,rw 연결 위치') 다른 디스크에 "
                    "있는 폴더를 고정하세요.");
    EXPECT_EQ(access, AccessProblem::readOnly);
}

// What keeps another user from a folder's date, seen as that user.
TEST(FolderTraits, AccessProblemsAsAnotherUser) {
    test::TempDir temp;
    std::string open = temp.makeFolder("open");
    std::string closed = temp.makeFolder("closed");
    std::string inner = temp.makeFolder("closed/inner");
    ::chmod(temp.path().c_str(), 0755);
    ::chmod(open.c_str(), 0777); // writable by all, still not theirs
    ::chmod(closed.c_str(), 0700);
    EXPECT_EQ(folderAccess(open).problem, AccessProblem::none); // root may set any date
    std::string why;
    int status = test::runAsNobody(
        [&] {
            auto other = folderAccess(open);
            if (other.problem != AccessProblem::notOwner || other.owner != "root")
                return 1;
            if (folderAccess(inner).problem != AccessProblem::noPermission)
                return 2;
            return folderAccess(temp.path() + "/missing").problem == AccessProblem::none ? 0 : 3;
        },
        why);
    if (status < 0)
        GTEST_SKIP() << why;
    EXPECT_EQ(status, 0);
}

} // namespace
