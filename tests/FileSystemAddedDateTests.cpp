#include "core/FileSystemAddedDate.h"
#include "core/PinError.h"
#include "core/platform/AddedDatePlatform.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sys/mount.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

using namespace skyloom;
using skyloom::test::TempDir;

namespace {

constexpr Date march2024 = 1709251200.0;

template <typename Call> PinError errorOf(Call call) {
    try {
        call();
    } catch (const PinError& error) {
        return error;
    }
    ADD_FAILURE() << "no PinError thrown";
    return PinError::system(0);
}

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

class AddedDateOnDisk : public ::testing::Test {
protected:
    TempDir temp;
    FileSystemAddedDate dates;
};

TEST_F(AddedDateOnDisk, RoundTripsPinAndFractionalDatesOnAnyName) {
    std::string folder = temp.makeFolder("caf\xe9 \xff");
    std::string file = temp.makeFile("plain.txt");
    for (const auto& path : {folder, file}) {
        dates.writeAddedDate(pinDate(2), path);
        EXPECT_EQ(dates.readAddedDate(path), pinDate(2));
        dates.writeAddedDate(1700000000.25, path);
        EXPECT_EQ(splitDate(dates.readAddedDate(path)), (TimeSpec{1700000000, 250000000}));
    }
}

TEST_F(AddedDateOnDisk, ChangesALinkItselfNeverItsTarget) {
    std::string target = temp.makeFolder("target");
    std::string link = temp.path() + "/link";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    dates.writeAddedDate(march2024, target);
    dates.writeAddedDate(pinDate(0), link);
    EXPECT_EQ(dates.readAddedDate(link), pinDate(0));
    EXPECT_EQ(dates.readAddedDate(target), march2024);
}

TEST_F(AddedDateOnDisk, MissingPathIsNotFound) {
    std::string file = temp.makeFile("file");
    for (const auto& path : {temp.path() + "/gone", file + "/below", std::string("")}) {
        EXPECT_EQ(errorOf([&] { dates.readAddedDate(path); }), PinError::notFound()) << path;
        EXPECT_EQ(errorOf([&] { dates.writeAddedDate(pinDate(0), path); }), PinError::notFound());
    }
}

TEST_F(AddedDateOnDisk, ImmutableFolderIsLocked) {
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
            if (errorOf([&] { dates.writeAddedDate(pinDate(0), folder); }) != PinError::notOwner())
                return 1;
            if (errorOf([&] { dates.readAddedDate(hidden); }) != PinError::notOwner())
                return 2;
            return 0;
        },
        why);
    if (status < 0)
        GTEST_SKIP() << why;
    EXPECT_EQ(status, 0) << "1: write was not notOwner, 2: read was not notOwner";
}

// A volume that keeps seconds only up to 2038, as ext4 with 128-byte inodes.
struct CappingVolume {
    TimeSpec stored{1000, 0};
    std::vector<TimeSpec> writes;
    bool readFails = false;

    platform::AddedDatePrimitives primitives() {
        return {[this](const std::string&) {
                    if (readFails)
                        throw std::system_error(EIO, std::generic_category());
                    return stored;
                },
                [this](const std::string&, TimeSpec time) {
                    writes.push_back(time);
                    stored = {std::min<std::int64_t>(time.seconds, 2147483647), 0};
                }};
    }
};

TEST(ReadBackCheck, CappedDateIsUndoneAndRefused) {
    CappingVolume volume;
    EXPECT_EQ(errorOf([&] { platform::writeAndVerify(volume.primitives(), pinDate(0), "x"); }),
              PinError::unsupportedVolume());
    ASSERT_EQ(volume.writes.size(), 2u);
    EXPECT_EQ(volume.stored, (TimeSpec{1000, 0}));

    // Lost nanoseconds are within a second: accepted.
    platform::writeAndVerify(volume.primitives(), 1700000000.75, "x");
    EXPECT_EQ(volume.stored, (TimeSpec{1700000000, 0}));

    volume.readFails = true;
    EXPECT_EQ(errorOf([&] { platform::writeAndVerify(volume.primitives(), 5.0, "x"); }),
              PinError::system(EIO));
}

// The real thing where loop mounts are allowed: ext4 with 128-byte inodes.
TEST(ReadBackCheck, SmallInodeExt4RefusesPinDate) {
    TempDir temp;
    std::string image = temp.path() + "/volume.img";
    std::string mountPoint = temp.makeFolder("mnt");
    std::string make = "truncate -s 4M " + image + " && mkfs.ext4 -q -F -I 128 " + image +
                       " >/dev/null 2>&1 && mount -o loop " + image + " " + mountPoint +
                       " >/dev/null 2>&1";
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
    PinError error = errorOf([&] { dates.writeAddedDate(pinDate(0), folder); });
    EXPECT_EQ(error, PinError::unsupportedVolume());
    EXPECT_EQ(dates.readAddedDate(folder), march2024);
}

} // namespace
