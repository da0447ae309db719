#include "core/engine/FolderPath.h"
#include "core/engine/PinError.h"
#include "core/store/ModelContainer.h"
#include "core/store/PinStore.h"
#include "support/FakeDates.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace skyloom;
using skyloom::test::FakeDates;
using skyloom::test::TempDir;

namespace {

constexpr Date march2024 = 1709251200.0;

class CountingDesktop final : public Desktop {
public:
    std::vector<std::string> announcements;
    std::optional<std::vector<std::string>> chooseFolders(const FolderChoice&) override {
        return std::nullopt;
    }
    void reveal(const std::string&) override {}
    void open(const std::string&) override {}
    void announce(const std::string& text) override { announcements.push_back(text); }
};

class PinStoreTest : public ::testing::Test {
protected:
    TempDir temp;
    std::unique_ptr<ModelContainer> container =
        ModelContainer::open(temp.makeFolder("store") + "/default.store");
    std::shared_ptr<FakeDates> dates = std::make_shared<FakeDates>();
    std::shared_ptr<CountingDesktop> desktop = std::make_shared<CountingDesktop>();
    PinStore store{container->mainContext(),
                   PinService(dates, std::make_shared<FileManager>(),
                              [](const std::string&) {
                                  return FolderTraits{false, true, "ext4"};
                              }),
                   desktop};

    std::string folder(const std::string& name, Date date = march2024) {
        auto path = temp.makeFolder(name);
        dates->dates[path] = date;
        return path;
    }
};

TEST_F(PinStoreTest, AddingNothingChangesNothing) {
    store.setNoticeMessage("keep");
    store.add({});
    EXPECT_EQ(store.noticeMessage(), "keep");
    EXPECT_FALSE(store.errorMessage());
}

TEST_F(PinStoreTest, TwoURLsToOneFolderPinItOnce) {
    auto target = folder("target");
    auto link = temp.path() + "/link";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    // First pinned, second refused as already pinned, under the name it was given.
    store.add({target, link});
    ASSERT_EQ(store.fetchPins().size(), 1u);
    EXPECT_EQ(dates->dates[target], pinDate(0));
    EXPECT_EQ(store.errorMessage(), "link \u2014 이미 고정된 폴더예요.");

    // First failed after validation: the second is skipped without a line.
    auto other = folder("other");
    auto otherLink = temp.path() + "/other-link";
    ASSERT_EQ(::symlink(other.c_str(), otherLink.c_str()), 0);
    dates->readErrors.emplace(other, PinError::system(5));
    store.add({otherLink, other});
    EXPECT_EQ(store.errorMessage(), "other-link \u2014 알 수 없는 오류예요. (5)");
    EXPECT_EQ(store.fetchPins().size(), 1u);
}

TEST_F(PinStoreTest, AFailedPinDateWriteLeavesNoRecord) {
    auto good = folder("good");
    auto locked = folder("locked");
    dates->writeErrors.emplace(locked, PinError::locked());
    store.add({temp.path() + "/missing", locked, good});
    auto pins = store.fetchPins();
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(pins[0]->path(), good);
    // The failed pin's record is gone again, so the next pin takes order 0.
    EXPECT_EQ(pins[0]->order(), 0);
    EXPECT_EQ(
        store.errorMessage(),
        "missing \u2014 폴더를 찾을 수 없어요.\n"
        "locked \u2014 " + PinError::locked().errorDescription());
}

TEST_F(PinStoreTest, UnpinRestoresAndReportsFoldersOutsideTheList) {
    auto pinned = folder("pinned");
    auto orphan = folder("orphan", pinDate(3));
    auto plain = folder("plain");
    store.add({pinned});
    ASSERT_FALSE(store.errorMessage());

    store.unpin({plain, pinned, orphan, temp.path() + "/nowhere"});
    EXPECT_TRUE(store.fetchPins().empty());
    EXPECT_EQ(dates->dates[pinned], march2024);
    EXPECT_LT(dates->dates[orphan], pinnedThreshold);
    EXPECT_EQ(store.noticeMessage(),
              "목록에 없던 폴더의 '접근한 날짜'를 지금으로 되돌렸어요: orphan\n"
              "Skyloom으로 고정한 폴더가 아니라 바꾸지 않았어요: plain, nowhere");
    EXPECT_FALSE(store.errorMessage());

    store.unpin({});
    EXPECT_FALSE(store.noticeMessage());
}

TEST_F(PinStoreTest, RemoveAndUnpinAll) {
    auto gone = folder("gone");
    auto noOriginal = folder("no-original", pinDate(7));
    auto stuck = folder("stuck");
    auto ordinary = folder("ordinary");
    store.add({gone, noOriginal, stuck, ordinary});
    ASSERT_EQ(store.fetchPins().size(), 4u);

    std::filesystem::remove(gone);
    EXPECT_FALSE(store.remove(store.fetchPins()[0]));
    ASSERT_EQ(store.fetchPins().size(), 3u);

    dates->dates[ordinary] = march2024 + 1; // came undone: left alone, record removed
    dates->writeErrors.emplace(stuck, PinError::notOwner());
    const Date before = currentDate();
    store.unpinAll();
    auto left = store.fetchPins();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0]->path(), stuck);
    EXPECT_GE(dates->dates[noOriginal], before);
    EXPECT_LT(dates->dates[noOriginal], pinnedThreshold);
    EXPECT_EQ(dates->dates[ordinary], march2024 + 1);
    EXPECT_EQ(store.errorMessage(), "stuck \u2014 " + PinError::notOwner().errorDescription());
}

TEST_F(PinStoreTest, MessagesAnnounceOnlyNewText) {
    store.setNoticeMessage("a");
    store.setNoticeMessage("a");
    store.setNoticeMessage(std::nullopt);
    store.setErrorMessage("b");
    EXPECT_EQ(desktop->announcements, (std::vector<std::string>{"a", "b"}));

    int opened = 0;
    store.openManager = [&] { ++opened; };
    store.showMessagesIfNeeded();
    store.setErrorMessage(std::nullopt);
    store.showMessagesIfNeeded();
    EXPECT_EQ(opened, 1);
}

TEST_F(PinStoreTest, ReapplyRepairsAndPersists) {
    auto path = folder("drifted");
    store.add({path});
    dates->dates[path] = march2024 + 60;
    store.reapplyAll();
    EXPECT_EQ(dates->dates[path], pinDate(0));

    // A second context on the same file sees what was saved.
    container.reset();
    auto reopened = ModelContainer::open(temp.path() + "/store/default.store");
    auto pins = reopened->mainContext().fetchAll();
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(pins[0]->originalAddedDate(), march2024 + 60);
}

} // namespace
