#include "core/PinError.h"
#include "core/engine/Bookmark.h"
#include "core/engine/PinService.h"
#include "core/platform/FolderIdentity.h"
#include "core/record/FolderPath.h"
#include "support/FakeDates.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <tuple>
#include <unistd.h>

using namespace skyloom;
using skyloom::test::FakeDates;
using skyloom::test::TempDir;

namespace {

// 2100-01-01 11:58:00 UTC, the pin date of order 2.
constexpr Date order2 = 4102488000.0 - 120.0;
// 2024-03-01 00:00:00 UTC.
constexpr Date march2024 = 1709251200.0;

class PinServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeDates> dates = std::make_shared<FakeDates>();
    FolderTraits traits{false, true, "ext4"};
    PinService service{dates, std::make_shared<FileManager>(),
                       [this](const std::string&) { return traits; }};
    TempDir temp;

    PinnedFolderPtr pinAt(const std::string& path, std::int64_t order, Date onDisk) {
        dates->dates[path] = onDisk;
        return std::make_shared<PinnedFolder>(path, Bookmark::make(path), std::nullopt, order, 1.0);
    }
};

TEST_F(PinServiceTest, ReapplyRespectsTheOneSecondTolerance) {
    auto folder = temp.makeFolder("a");
    // On disk, the record's earlier date, whether rewritten, the earlier date after.
    const std::tuple<Date, std::optional<Date>, bool, std::optional<Date>> cases[] = {
        {order2 + 0.4, std::nullopt, false, std::nullopt},
        {order2 + 1.0, std::nullopt, true, std::nullopt}, // a pin date is no earlier date
        {order2 - 60.0, march2024 - 5, true, march2024 - 5},
        {march2024, std::nullopt, true, march2024}};
    for (const auto& [onDisk, original, rewritten, after] : cases) {
        auto pin = pinAt(folder, 2, onDisk);
        pin->setOriginalAddedDate(original);
        EXPECT_EQ(service.reapplyIfNeeded(folder, *pin), rewritten) << onDisk;
        EXPECT_EQ(pin->originalAddedDate(), after) << onDisk;
        EXPECT_EQ(dates->dates[folder], rewritten ? order2 : onDisk);
    }
}

TEST_F(PinServiceTest, RefreshStatusSetsTheFlags) {
    auto folder = temp.makeFolder("b");
    auto pin = pinAt(folder, 2, march2024);
    // Locked, not needing access, missing.
    auto flags = [&] { return std::tuple(pin->isLocked(), pin->needsAccess(), pin->isMissing()); };

    // Locked and drifted: locked, no longer needing access, no error.
    pin->setNeedsAccess(true);
    dates->writeErrors.emplace(folder, PinError::locked());
    service.refreshStatus(*pin);
    EXPECT_EQ(flags(), std::tuple(true, false, false));
    // Not the owner: needs access, the locked flag stays as it was.
    dates->writeErrors.clear();
    dates->readErrors.emplace(folder, PinError::notOwner());
    service.refreshStatus(*pin);
    EXPECT_EQ(flags(), std::tuple(true, true, false));
    // Other errors propagate and leave the flags alone.
    dates->readErrors.clear();
    dates->readErrors.emplace(folder, PinError::system(5));
    EXPECT_THROW(service.refreshStatus(*pin), PinError);
    EXPECT_EQ(flags(), std::tuple(true, true, false));
    // Locked but intact: nothing written, every flag cleared.
    dates->readErrors.clear();
    dates->dates[folder] = order2;
    dates->writeErrors.emplace(folder, PinError::locked());
    service.refreshStatus(*pin);
    EXPECT_EQ(flags(), std::tuple(false, false, false));
    std::filesystem::remove(folder);
    service.refreshStatus(*pin);
    EXPECT_EQ(flags(), std::tuple(false, false, true));
}

TEST_F(PinServiceTest, ValidateChecksInOrder) {
    auto target = temp.makeFolder("target");
    auto link = temp.path() + "/link";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    auto file = temp.makeFile("file.txt");

    EXPECT_EQ(service.validate(link, {}), target);
    EXPECT_EQ(service.validate(target + "/../target/.", {}), target);
    // ".." after a link is taken in the link's target, as the kernel does.
    temp.makeFolder("deep/inside");
    auto deepLink = temp.path() + "/deepLink";
    ASSERT_EQ(::symlink((temp.path() + "/deep/inside").c_str(), deepLink.c_str()), 0);
    EXPECT_EQ(service.validate(deepLink + "/..", {}), temp.path() + "/deep");

    auto expectError = [&](const std::string& path, const PinService::Pins& pins, PinError want) {
        try {
            service.validate(path, pins);
            ADD_FAILURE() << "no error for " << path;
        } catch (const PinError& error) {
            EXPECT_EQ(error, want) << path;
        }
    };
    expectError("", {}, PinError::notFound()); // not the working folder
    expectError(file, {}, PinError::notAFolder());

    // A relative path while the working folder is gone names nothing, not
    // the same name under "/".
    auto gone = temp.makeFolder("gone");
    auto cwd = std::filesystem::current_path();
    ASSERT_EQ(::chdir(gone.c_str()), 0);
    ::rmdir(gone.c_str());
    expectError("tmp", {}, PinError::notFound());
    expectError(".", {}, PinError::notFound());
    std::filesystem::current_path(cwd);

    PinService::Pins pins{std::make_shared<PinnedFolder>(target, std::nullopt, std::nullopt, 0, 0)};
    expectError(link, pins, PinError::alreadyPinned());

    // Hangul "한" precomposed against its decomposed jamo: names are bytes
    // here, so these are two folders and both can be pinned.
    auto precomposed = temp.makeFolder("\xED\x95\x9C");
    auto decomposed = temp.makeFolder("\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB");
    PinService::Pins korean{
        std::make_shared<PinnedFolder>(decomposed, std::nullopt, std::nullopt, 0, 0)};
    EXPECT_EQ(service.validate(precomposed, korean), precomposed);
    EXPECT_EQ(PinService::matchingPin(korean, precomposed), nullptr);
    expectError(decomposed, korean, PinError::alreadyPinned());

    traits = {false, false, "nfs4"};
    expectError(target, {}, PinError::unsupportedVolume());
    expectError(link, pins, PinError::alreadyPinned());
    expectError(temp.path() + "/missing", {}, PinError::notFound());
}

TEST_F(PinServiceTest, MakePinKeepsOnlyOrdinaryDates) {
    auto folder = temp.makeFolder("c");
    dates->dates[folder] = pinBaseDate;
    EXPECT_FALSE(service.makePin(folder, {}, 42.0)->originalAddedDate());
    dates->dates[folder] = march2024;
    EXPECT_EQ(service.makePin(folder, {}, 42.0)->originalAddedDate(), march2024);
    EXPECT_EQ(dates->writes, 0);

    // No date at all, or a 1970 date where the volume does keep dates: refused.
    dates->readErrors.emplace(folder, PinError::unsupportedVolume());
    EXPECT_THROW(service.makePin(folder, {}, 42.0), PinError);
    dates->readErrors.clear();
    dates->dates[folder] = 0;
    EXPECT_THROW(service.makePin(folder, {}, 42.0), PinError);
}

TEST_F(PinServiceTest, LocationsFollowRenamesAndSkipTheTrash) {
    auto folder = temp.makeFolder("before");
    auto pin = pinAt(folder, 0, pinDate(0));
    auto oldBookmark = *pin->bookmark();

    auto renamed = temp.path() + "/after";
    ASSERT_EQ(std::rename(folder.c_str(), renamed.c_str()), 0);
    EXPECT_EQ(service.resolveLocation(*pin).value().path, renamed);
    EXPECT_EQ(pin->path(), renamed);
    EXPECT_NE(*pin->bookmark(), oldBookmark);
    // Unparsable bookmark data falls back to the stored path.
    pin->setBookmark(Bytes{1, 2, 3});
    EXPECT_EQ(service.resolveLocation(*pin).value().path, renamed);

    // The home trash and the per-volume trash folders of the freedesktop Trash.
    ::setenv("XDG_DATA_HOME", (temp.path() + "/data").c_str(), 1);
    const std::string uid = std::to_string(::getuid());
    for (const std::string& inTrash :
         {std::string("data/Trash/files/inside"), ".Trash-" + uid + "/files/x",
          ".Trash/" + uid + "/files/y"}) {
        auto trashed = temp.makeFolder(inTrash);
        EXPECT_EQ(service.validate(trashed, {}), trashed);
        auto trashPin = pinAt(trashed, 1, pinDate(1));
        EXPECT_FALSE(service.resolveLocation(*trashPin)) << inTrash;
        EXPECT_NO_THROW(service.refreshStatus(*trashPin));
        EXPECT_TRUE(trashPin->isMissing());
    }
    EXPECT_TRUE(service.isUsableFolder(temp.makeFolder("data/Trash")));
    ::unsetenv("XDG_DATA_HOME");
}

// A new folder on the inode of a deleted one is not the pinned folder: its
// birth time differs. Bookmarks stored before birth times are still read.
TEST_F(PinServiceTest, BookmarksTellANewFolderOnAReusedInode) {
    auto renamed = temp.makeFolder("renamed");
    auto identity = platform::folderIdentity(renamed);
    ASSERT_TRUE(identity);
    if (!identity->birth)
        GTEST_SKIP() << "the file system of " << temp.path() << " keeps no birth time";
    const std::string stored = temp.path() + "/original";

    auto found = Bookmark::resolve(Bookmark::encode(*identity, stored));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->path, renamed);
    EXPECT_TRUE(found->isStale);

    auto reused = *identity;
    reused.birth->nanoseconds = (reused.birth->nanoseconds + 1) % 1000000000;
    EXPECT_FALSE(Bookmark::resolve(Bookmark::encode(reused, stored)));
    auto pin = std::make_shared<PinnedFolder>(stored, Bookmark::encode(reused, stored),
                                              std::nullopt, 0, 0);
    EXPECT_FALSE(service.resolveLocation(*pin));
    EXPECT_EQ(pin->path(), stored);

    // Version 1: magic, version, device, inode (little-endian), path length, path.
    Bytes first{'S', 'K', 'B', 'M', 1};
    for (std::uint64_t value : {identity->device, identity->inode})
        for (int i = 0; i < 8; ++i)
            first.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    for (int i = 0; i < 4; ++i)
        first.push_back(static_cast<std::uint8_t>(stored.size() >> (8 * i)));
    first.insert(first.end(), stored.begin(), stored.end());
    found = Bookmark::resolve(first);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->path, renamed);
}

// An intact pin costs one metadata read: the date the lookup saw decides,
// and only a drifted date is read again and written through the folder.
TEST_F(PinServiceTest, AnIntactPinIsSeenByItsLookupAlone) {
    auto folder = temp.makeFolder("intact");
    const Date fraction = march2024 + 0.123456789;
    FileSystemAddedDate real;
    real.writeAddedDate(fraction, folder);
    auto identity = platform::folderIdentity(folder);
    ASSERT_TRUE(identity);
    if (platform::identityGivesAddedDate) {
        EXPECT_EQ(identity->addedDate, real.readAddedDate(folder));
    }

    dates->identityGivesDates = platform::identityGivesAddedDate;
    auto pin = pinAt(folder, 2, march2024);
    real.writeAddedDate(order2 + 0.5, folder); // what the lookup sees
    service.refreshStatus(*pin);
    EXPECT_EQ(dates->reads, platform::identityGivesAddedDate ? 0 : 1);
    EXPECT_EQ(dates->writes, platform::identityGivesAddedDate ? 0 : 1);

    real.writeAddedDate(march2024 - 5, folder);
    dates->reads = dates->writes = 0;
    dates->dates[folder] = march2024 - 5;
    service.refreshStatus(*pin);
    EXPECT_EQ(std::pair(dates->reads, dates->writes), std::pair(1, 1));
    EXPECT_EQ(pin->originalAddedDate(), march2024 - 5);
}

TEST_F(PinServiceTest, RegrantMovesThePinToThePickedFolder) {
    auto folder = temp.makeFolder("old");
    auto picked = temp.makeFolder("new");
    auto pin = pinAt(folder, 1, march2024);
    pin->setNeedsAccess(true);
    dates->dates[picked] = march2024;

    EXPECT_THROW(service.regrantAccess(*pin, temp.makeFile("plain")), PinError);
    service.regrantAccess(*pin, picked);
    EXPECT_EQ(pin->path(), picked);
    EXPECT_FALSE(pin->needsAccess());
    EXPECT_EQ(dates->dates[picked], pinDate(1));
}

} // namespace
