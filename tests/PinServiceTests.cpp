#include "core/engine/Bookmark.h"
#include "core/engine/FolderPath.h"
#include "core/engine/PinError.h"
#include "core/engine/PinService.h"
#include "support/FakeDates.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
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
        auto pin =
            std::make_shared<PinnedFolder>(path, Bookmark::make(path), std::nullopt, order, 1.0);
        return pin;
    }
};

TEST_F(PinServiceTest, PinDatesAndTheThreshold) {
    EXPECT_EQ(pinDate(5259600), pinnedThreshold);
    EXPECT_TRUE(isPinDate(pinDate(5259600)));
    EXPECT_FALSE(isPinDate(pinDate(5259601)));
    EXPECT_FALSE(isPinDate(pinnedThreshold - 1));

    PinService::Pins pins;
    EXPECT_EQ(PinService::nextOrder(pins), 0);
    for (int order : {0, 5, 2})
        pins.push_back(std::make_shared<PinnedFolder>("/x", std::nullopt, std::nullopt, order, 0));
    EXPECT_EQ(PinService::nextOrder(pins), 6);
}

TEST_F(PinServiceTest, ReapplyRespectsTheOneSecondTolerance) {
    auto folder = temp.makeFolder("a");

    auto intact = pinAt(folder, 2, order2 + 0.4);
    EXPECT_FALSE(service.reapplyIfNeeded(folder, *intact));
    EXPECT_EQ(dates->writes, 0);

    auto oneSecondOff = pinAt(folder, 2, order2 + 1.0);
    EXPECT_TRUE(service.reapplyIfNeeded(folder, *oneSecondOff));
    EXPECT_EQ(dates->dates[folder], order2);
    EXPECT_FALSE(oneSecondOff->originalAddedDate());

    auto otherOrder = pinAt(folder, 2, order2 - 60.0);
    otherOrder->setOriginalAddedDate(march2024 - 5);
    EXPECT_TRUE(service.reapplyIfNeeded(folder, *otherOrder));
    EXPECT_EQ(otherOrder->originalAddedDate(), march2024 - 5);

    auto ordinary = pinAt(folder, 2, march2024);
    EXPECT_TRUE(service.reapplyIfNeeded(folder, *ordinary));
    EXPECT_EQ(ordinary->originalAddedDate(), march2024);
    EXPECT_EQ(dates->dates[folder], order2);
}

TEST_F(PinServiceTest, RefreshStatusSetsTheFlags) {
    auto folder = temp.makeFolder("b");
    auto pin = pinAt(folder, 2, march2024);

    // Locked and drifted: locked, not needing access, no error.
    pin->setNeedsAccess(true);
    dates->writeErrors.emplace(folder, PinError::locked());
    EXPECT_NO_THROW(service.refreshStatus(*pin));
    EXPECT_TRUE(pin->isLocked());
    EXPECT_FALSE(pin->needsAccess());
    EXPECT_FALSE(pin->isMissing());

    // Not the owner: needs access, the locked flag stays as it was.
    dates->writeErrors.clear();
    dates->readErrors.emplace(folder, PinError::notOwner());
    EXPECT_NO_THROW(service.refreshStatus(*pin));
    EXPECT_TRUE(pin->needsAccess());
    EXPECT_TRUE(pin->isLocked());

    // Other errors propagate and leave the flags alone.
    dates->readErrors.clear();
    dates->readErrors.emplace(folder, PinError::system(5));
    EXPECT_THROW(service.refreshStatus(*pin), PinError);
    EXPECT_TRUE(pin->needsAccess());

    // Locked but intact: nothing written, every flag cleared.
    dates->readErrors.clear();
    dates->dates[folder] = order2;
    dates->writeErrors.emplace(folder, PinError::locked());
    EXPECT_NO_THROW(service.refreshStatus(*pin));
    EXPECT_FALSE(pin->isLocked() || pin->needsAccess() || pin->isMissing());

    // Deleted: missing.
    std::filesystem::remove(folder);
    EXPECT_NO_THROW(service.refreshStatus(*pin));
    EXPECT_TRUE(pin->isMissing());
}

TEST_F(PinServiceTest, ValidateChecksInOrder) {
    auto target = temp.makeFolder("target");
    auto link = temp.path() + "/link";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    auto file = temp.makeFile("file.txt");

    EXPECT_EQ(service.validate(link, {}), target);
    EXPECT_EQ(service.validate(target + "/../target/.", {}), target);

    auto expectError = [&](const std::string& path, const PinService::Pins& pins, PinError want) {
        try {
            service.validate(path, pins);
            ADD_FAILURE() << "no error for " << path;
        } catch (const PinError& error) {
            EXPECT_EQ(error, want) << path;
        }
    };
    expectError(temp.path() + "/missing", {}, PinError::notFound());
    expectError(file, {}, PinError::notAFolder());

    PinService::Pins pins{std::make_shared<PinnedFolder>(target, std::nullopt, std::nullopt, 0, 0)};
    expectError(link, pins, PinError::alreadyPinned());

    // Hangul "한" precomposed against its decomposed jamo: the same folder.
    auto precomposed = temp.makeFolder("\xED\x95\x9C");
    PinService::Pins korean{std::make_shared<PinnedFolder>(
        temp.path() + "/\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB", std::nullopt, std::nullopt, 0, 0)};
    expectError(precomposed, korean, PinError::alreadyPinned());

    traits = {true, false, "apfs"};
    expectError(target, {}, PinError::iCloudManaged());
    expectError(link, pins, PinError::alreadyPinned());
    traits = {false, false, "nfs4"};
    expectError(target, {}, PinError::unsupportedVolume());
    expectError(temp.path() + "/missing", {}, PinError::notFound());
}

TEST_F(PinServiceTest, MakePinKeepsOnlyOrdinaryDates) {
    auto folder = temp.makeFolder("c");

    dates->dates[folder] = pinBaseDate;
    auto fromPinDate = service.makePin(folder, {}, 42.0);
    EXPECT_FALSE(fromPinDate->originalAddedDate());
    EXPECT_EQ(fromPinDate->pinnedAt(), 42.0);
    EXPECT_EQ(fromPinDate->order(), 0);
    EXPECT_EQ(dates->writes, 0);

    dates->dates[folder] = march2024;
    auto ordinary = service.makePin(folder, {}, 42.0);
    EXPECT_EQ(ordinary->originalAddedDate(), march2024);
    EXPECT_EQ(ordinary->path(), folder);
    EXPECT_TRUE(ordinary->bookmark());
    EXPECT_FALSE(ordinary->isMissing() || ordinary->needsAccess() || ordinary->isLocked());

    // No date at all: kept as 1970 on APFS, refused elsewhere.
    dates->dates.erase(folder);
    dates->readErrors.emplace(folder, PinError::unsupportedVolume());
    traits = {false, true, "apfs"};
    EXPECT_EQ(service.makePin(folder, {}, 42.0)->originalAddedDate(), 0.0);
    traits = {false, true, "exfat"};
    EXPECT_THROW(service.makePin(folder, {}, 42.0), PinError);

    // A 1970 date where the volume does keep dates is not trusted either.
    dates->readErrors.clear();
    dates->dates[folder] = 0;
    EXPECT_THROW(service.makePin(folder, {}, 42.0), PinError);
}

// Orphans are covered with the store's unpin; here the record's own date.
TEST_F(PinServiceTest, RestoringWritesOnlyOverPinDates) {
    auto folder = temp.makeFolder("d");
    PinnedFolder kept(folder, std::nullopt, march2024, 0, 0);
    PinnedFolder none(folder, std::nullopt, std::nullopt, 0, 0);

    dates->dates[folder] = march2024 + 10;
    service.restoreAddedDate(folder, kept, 99.0);
    EXPECT_EQ(dates->writes, 0);

    dates->dates[folder] = pinBaseDate;
    service.restoreAddedDate(folder, kept, 99.0);
    EXPECT_EQ(dates->dates[folder], march2024);
    dates->dates[folder] = pinBaseDate;
    service.restoreAddedDate(folder, none, 99.0);
    EXPECT_EQ(dates->dates[folder], 99.0);
}

TEST_F(PinServiceTest, LocationsFollowRenamesAndSkipTheTrash) {
    auto folder = temp.makeFolder("before");
    auto pin = pinAt(folder, 0, pinDate(0));
    auto oldBookmark = *pin->bookmark();

    auto renamed = temp.path() + "/after";
    ASSERT_EQ(std::rename(folder.c_str(), renamed.c_str()), 0);
    auto location = service.resolveLocation(*pin);
    ASSERT_TRUE(location);
    EXPECT_EQ(location->url, renamed);
    EXPECT_EQ(pin->path(), renamed);
    EXPECT_NE(*pin->bookmark(), oldBookmark);

    // Unparsable bookmark data falls back to the stored path.
    pin->setBookmark(Bytes{1, 2, 3});
    location = service.resolveLocation(*pin);
    ASSERT_TRUE(location);
    EXPECT_EQ(location->url, renamed);

    auto trashed = temp.makeFolder(".Trash/inside");
    EXPECT_EQ(service.validate(trashed, {}), trashed);
    auto trashPin = pinAt(trashed, 1, pinDate(1));
    EXPECT_FALSE(service.resolveLocation(*trashPin));
    EXPECT_NO_THROW(service.refreshStatus(*trashPin));
    EXPECT_TRUE(trashPin->isMissing());
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
