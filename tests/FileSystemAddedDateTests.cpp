#include "core/engine/FileSystemAddedDate.h"
#include "core/platform/AddedDatePlatform.h"
#include "support/ErrorOf.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sys/mount.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

using namespace skyloom;
using skyloom::test::errorOf;

namespace {

constexpr Date march2024 = 1709251200.0;

TEST(SplitDate, FloorsSecondsAndRoundsNanoseconds) {
    EXPECT_EQ(splitDate(pinDate(0)), (TimeSpec{4102488000, 0}));
    EXPECT_EQ(splitDate(pinDate(3)), (TimeSpec{4102487820, 0}));
    EXPECT_EQ(splitDate(1700000000.25), (TimeSpec{1700000000, 250000000}));
    EXPECT_EQ(splitDate(-0.5), (TimeSpec{-1, 500000000}));
    // A fraction that rounds up to a whole second carries into the seconds.
    EXPECT_EQ(splitDate(std::nextafter(2.0, 0.0)), (TimeSpec{2, 0}));
    EXPECT_EQ(joinDate({1700000000, 250000000}), 1700000000.25);
    EXPECT_TRUE(isPinDate(pinDate(5259600)));
    EXPECT_FALSE(isPinDate(pinDate(5259601)));
}

struct AddedDateOnDisk : ::testing::Test {
    test::TempDir temp;
    FileSystemAddedDate dates;
};

TEST_F(AddedDateOnDisk, RoundTripsOnAnyNameAndChangesALinkNotItsTarget) {
    std::string folder = temp.makeFolder("caf\xe9 \xff");
    dates.writeAddedDate(pinDate(2), folder);
    EXPECT_EQ(dates.readAddedDate(folder), pinDate(2));
    dates.writeAddedDate(1700000000.25, folder);
    EXPECT_EQ(splitDate(dates.readAddedDate(folder)), (TimeSpec{1700000000, 250000000}));

    std::string link = temp.path() + "/link";
    ASSERT_EQ(::symlink(folder.c_str(), link.c_str()), 0);
    dates.writeAddedDate(pinDate(0), link);
    EXPECT_EQ(dates.readAddedDate(link), pinDate(0));
    EXPECT_EQ(splitDate(dates.readAddedDate(folder)), (TimeSpec{1700000000, 250000000}));
}

TEST_F(AddedDateOnDisk, MissingIsNotFoundAndImmutableIsLocked) {
    for (const auto& path :
         {temp.path() + "/gone", temp.makeFile("file") + "/below", std::string()}) {
        EXPECT_EQ(errorOf([&] { dates.readAddedDate(path); }), PinError::notFound()) << path;
        EXPECT_EQ(errorOf([&] { dates.writeAddedDate(pinDate(0), path); }), PinError::notFound());
    }
    std::string folder = temp.makeFolder("locked");
    if (!test::setImmutable(folder, true))
        GTEST_SKIP() << "the file system of " << temp.path() << " has no immutable flag";
    PinError error = errorOf([&] { dates.writeAddedDate(pinDate(0), folder); });
    test::setImmutable(folder, false);
    EXPECT_EQ(error, PinError::locked());
}

TEST_F(AddedDateOnDisk, AnotherUsersFolderIsNotOwner) {
    std::string folder = temp.makeFolder("root's");
    std::string hidden = temp.makeFolder("private/inner");
    temp.makeFolder("private", 0700);
    std::string why;
    int status = test::runAsNobody(
        [&] {
            PinError write = errorOf([&] { dates.writeAddedDate(pinDate(0), folder); });
            PinError read = errorOf([&] { dates.readAddedDate(hidden); });
            return (write != PinError::notOwner()) + 2 * (read != PinError::notOwner());
        },
        why);
    if (status < 0)
        GTEST_SKIP() << why;
    EXPECT_EQ(status, 0) << "1: write was not notOwner, 2: read was not notOwner";
}

TEST(ReadBackCheck, CappedDateIsUndoneAndRefused) {
    // A volume that keeps seconds only up to 2038, as ext4 with 128-byte inodes.
    TimeSpec stored{1000, 0};
    bool readFails = false;
    platform::AddedDatePrimitives volume{
        [&](auto&) {
            return readFails ? throw std::system_error(EIO, std::generic_category()) : stored;
        },
        [&](auto&, TimeSpec time) {
            stored = {std::min<std::int64_t>(time.seconds, INT32_MAX), 0};
        }};
    EXPECT_EQ(errorOf([&] { platform::writeAndVerify(volume, pinDate(0), "x"); }),
              PinError::unsupportedVolume());
    EXPECT_EQ(stored, (TimeSpec{1000, 0})); // put back
    // Lost nanoseconds are within a second: accepted.
    platform::writeAndVerify(volume, 1700000000.75, "x");
    EXPECT_EQ(stored, (TimeSpec{1700000000, 0}));
    readFails = true;
    EXPECT_EQ(errorOf([&] { platform::writeAndVerify(volume, 5.0, "x"); }), PinError::system(EIO));
}

// The real thing where loop mounts are allowed: ext4 with 128-byte inodes.
TEST(ReadBackCheck, SmallInodeExt4RefusesPinDate) {
    test::TempDir temp;
    std::string image = temp.path() + "/volume.img", mountPoint = temp.makeFolder("mnt");
    std::string make = "(truncate -s 4M " + image + " && mkfs.ext4 -q -F -I 128 " + image +
                       " && mount -o loop " + image + " " + mountPoint + ") >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "cannot make and loop-mount an ext4 image (needs root and loop devices)";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    std::string folder = mountPoint + "/folder";
    ::mkdir(folder.c_str(), 0755);
    FileSystemAddedDate dates;
    dates.writeAddedDate(march2024, folder);
    EXPECT_EQ(errorOf([&] { dates.writeAddedDate(pinDate(0), folder); }),
              PinError::unsupportedVolume());
    EXPECT_EQ(dates.readAddedDate(folder), march2024);
}

} // namespace
