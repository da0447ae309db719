#include "core/engine/FileSystemAddedDate.h"
#include "core/engine/PinService.h"
#include "core/platform/AddedDatePlatform.h"
#include "support/ErrorOf.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

using namespace skyloom;
using skyloom::test::errorOf;

namespace {

constexpr Date march2024 = 1709251200.0;

TEST(SplitDate, FloorsSecondsAndRoundsNanoseconds) {
    EXPECT_EQ(splitDate(pinDate(3)), (TimeSpec{4102487820, 0}));
    // 1700000000.1 is 1700000000.09999990463... as a double: rounded, not cut.
    EXPECT_EQ(splitDate(1700000000.1), (TimeSpec{1700000000, 99999905}));
    EXPECT_EQ(splitDate(-0.5), (TimeSpec{-1, 500000000}));
    // A fraction that rounds up to a whole second carries into the seconds.
    EXPECT_EQ(splitDate(std::nextafter(2.0, 0.0)), (TimeSpec{2, 0}));
}

struct AddedDateOnDisk : ::testing::Test {
    test::TempDir temp;
    FileSystemAddedDate dates;
};

TEST_F(AddedDateOnDisk, RoundTripsExactlyIncludingDatesBefore1970) {
    std::string folder = temp.makeFolder("caf\xe9 \xff");
    for (Date date : {pinDate(2), 1700000000.1, 0.0, -1234.7}) {
        dates.writeAddedDate(date, folder);
        EXPECT_EQ(splitDate(dates.readAddedDate(folder)), splitDate(date)) << date;
    }
    // Kept as the date to restore, not refused as a volume without dates.
    auto pin = PinService::makeDefault().makePin(folder, {}, 0);
    EXPECT_EQ(pin->originalAddedDate(), -1234.7);
}

// Only the folder named is touched: a link at the path or in any component
// above it is refused, never followed.
TEST_F(AddedDateOnDisk, LinksInThePathAreRefusedNotFollowed) {
    std::string inner = temp.makeFolder("real/inner");
    dates.writeAddedDate(march2024, inner);
    std::string middle = temp.path() + "/via", last = temp.path() + "/last";
    ASSERT_EQ(::symlink((temp.path() + "/real").c_str(), middle.c_str()), 0);
    ASSERT_EQ(::symlink(inner.c_str(), last.c_str()), 0);
    for (const std::string& path : {middle + "/inner", last}) {
        EXPECT_EQ(errorOf([&] { dates.writeAddedDate(pinDate(0), path); }), PinError::notFound());
        EXPECT_EQ(errorOf([&] { dates.readAddedDate(path); }), PinError::notFound());
    }
    EXPECT_EQ(dates.readAddedDate(inner), march2024);
}

// A link swapped in and out of the middle of the path while writes run: the
// folder behind the link is never written.
TEST_F(AddedDateOnDisk, ALinkSwappedIntoThePathNeverRedirectsAWrite) {
    std::string victim = temp.makeFolder("victim/inner");
    temp.makeFolder("mid/inner");
    dates.writeAddedDate(march2024, victim);
    std::string mid = temp.path() + "/mid", alt = temp.path() + "/alt";
    ASSERT_EQ(::symlink((temp.path() + "/victim").c_str(), alt.c_str()), 0);
    std::atomic<bool> stop = false;
    std::thread swapper([&] {
        while (!stop)
            ::renameat2(AT_FDCWD, mid.c_str(), AT_FDCWD, alt.c_str(), RENAME_EXCHANGE);
    });
    for (int i = 0; i < 400; ++i) {
        try {
            dates.writeAddedDate(pinDate(0), mid + "/inner");
        } catch (const PinError&) {
        }
    }
    stop = true;
    swapper.join();
    EXPECT_EQ(dates.readAddedDate(victim), march2024);
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

TEST_F(AddedDateOnDisk, PseudoFileSystemsAreUnsupported) {
    EXPECT_EQ(errorOf([&] { dates.writeAddedDate(pinDate(0), "/proc"); }),
              PinError::unsupportedVolume());
    EXPECT_EQ(errorOf([] { PinService::makeDefault().validate("/dev", {}); }),
              PinError::unsupportedVolume());
}

TEST_F(AddedDateOnDisk, OwnUnreadableFolderIsWrittenOthersAreNotOwner) {
    std::string folder = temp.makeFolder("root's");
    std::string hidden = temp.makeFolder("private/inner");
    temp.makeFolder("private", 0700);
    std::string shared = temp.makeFolder("shared", 0777);
    std::string why;
    int status = test::runAsNobody(
        [&] {
            PinError write = errorOf([&] { dates.writeAddedDate(pinDate(0), folder); });
            PinError read = errorOf([&] { dates.readAddedDate(hidden); });
            // A folder of one's own that one cannot even list.
            std::string mine = shared + "/mine";
            bool ownWritten = false;
            try {
                ownWritten =
                    ::mkdir(mine.c_str(), 0) == 0 && (dates.writeAddedDate(pinDate(1), mine),
                                                      dates.readAddedDate(mine) == pinDate(1));
            } catch (const PinError&) {
            }
            return (write != PinError::notOwner()) + 2 * (read != PinError::notOwner()) +
                   4 * !ownWritten;
        },
        why);
    if (status < 0)
        GTEST_SKIP() << why;
    EXPECT_EQ(status, 0) << "1: write was not notOwner, 2: read was not notOwner, "
                            "4: own unreadable folder not written";
}

// A volume behind the primitives that keeps what it is given in steps of
// `step` seconds (exFAT: 2 s; FAT: a day), or caps it at 2038.
struct SteppedVolume {
    TimeSpec stored{1000, 0};
    std::int64_t step = 1;
    bool capped = false, readFails = false;

    platform::AddedDatePrimitives primitives() {
        return {[this](const std::string& path, bool) {
                    return platform::OpenedFolder{path, UniqueFd(), static_cast<Date>(step)};
                },
                [this](const platform::OpenedFolder&) {
                    if (readFails)
                        throw std::system_error(EIO, std::generic_category());
                    return stored;
                },
                [this](const platform::OpenedFolder&, TimeSpec time) {
                    std::int64_t seconds = time.seconds - time.seconds % step;
                    stored = {capped ? std::min<std::int64_t>(seconds, INT32_MAX) : seconds, 0};
                },
                {},
                {},
                {},
                {},
                {}};
    }
};

TEST(ReadBackCheck, OrdinaryDatesWithinTheVolumesStepPinDatesExactly) {
    SteppedVolume exfat{.step = 2};
    platform::writeAndVerify(exfat.primitives(), 1700000001.7, "x"); // reads back ...000
    platform::writeAndVerify(exfat.primitives(), pinDate(3), "x");
    EXPECT_EQ(exfat.stored, splitDate(pinDate(3)));

    SteppedVolume fat{.step = 86400};
    platform::writeAndVerify(fat.primitives(), march2024 + 43210.3, "x");
    EXPECT_EQ(errorOf([&] { platform::writeAndVerify(fat.primitives(), pinDate(0), "x"); }),
              PinError::unsupportedVolume());
    EXPECT_EQ(fat.stored, (TimeSpec{1709251200, 0})); // put back

    SteppedVolume small{.capped = true};
    EXPECT_EQ(errorOf([&] { platform::writeAndVerify(small.primitives(), pinDate(0), "x"); }),
              PinError::unsupportedVolume());
    EXPECT_EQ(small.stored, (TimeSpec{1000, 0}));
    platform::writeAndVerify(small.primitives(), 1700000001.9, "x"); // lost fraction: within 1 s
    small.readFails = true;
    EXPECT_EQ(errorOf([&] { platform::writeAndVerify(small.primitives(), 5.0, "x"); }),
              PinError::system(EIO));
}

// The real thing where loop mounts are allowed: ext4 with 128-byte inodes.
TEST(ReadBackCheck, SmallInodeExt4RefusesPinDate) {
    test::TempDir temp;
    std::string image = temp.path() + "/volume.img", mountPoint = temp.makeFolder("mnt");
    std::string make = "(truncate -s 4M " + image + " && mkfs.ext4 -q -F -I 128 " + image +
                       " && mount -o loop " + image + " " + mountPoint + ") >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "cannot make and loop-mount an ext4 image (needs root and loop devices)";
    test::Unmount unmount{mountPoint};
    std::string folder = mountPoint + "/folder";
    ::mkdir(folder.c_str(), 0755);
    FileSystemAddedDate dates;
    dates.writeAddedDate(march2024, folder);
    EXPECT_EQ(errorOf([&] { dates.writeAddedDate(pinDate(0), folder); }),
              PinError::unsupportedVolume());
    EXPECT_EQ(dates.readAddedDate(folder), march2024);
}

} // namespace
