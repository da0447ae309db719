#include "core/PinError.h"
#include "core/record/FolderPath.h"
#include "core/store/ModelContainer.h"
#include "core/store/PinStore.h"
#include "support/FakeDates.h"
#include "support/TempDir.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using namespace skyloom;
using skyloom::test::FakeDates;
using skyloom::test::TempDir;

namespace {

constexpr Date march2024 = 1709251200.0;

class ChoosingDesktop final : public Desktop {
public:
    std::function<std::optional<std::vector<std::string>>()> chooser = [] { return std::nullopt; };
    std::optional<std::vector<std::string>> chooseFolders(const FolderChoice&) override {
        return chooser();
    }
    void reveal(const std::string&) override {}
    void open(const std::string&) override {}
    void announce(const std::string&) override {}
};

PinService fakeService(std::shared_ptr<FakeDates> dates) {
    return PinService(dates, std::make_shared<FileManager>(), [](const std::string&) {
        return FolderTraits{false, true, "ext4"};
    });
}

class PinStoreTest : public ::testing::Test {
protected:
    TempDir temp;
    std::string storePath = temp.makeFolder("store") + "/default.store";
    std::unique_ptr<ModelContainer> container = ModelContainer::open(storePath);
    std::shared_ptr<FakeDates> dates = std::make_shared<FakeDates>();
    std::shared_ptr<ChoosingDesktop> desktop = std::make_shared<ChoosingDesktop>();
    PinStore store{container->mainContext(), fakeService(dates), desktop};

    std::string folder(const std::string& name, Date date = march2024) {
        auto path = temp.makeFolder(name);
        dates->dates[path] = date;
        return path;
    }
};

TEST_F(PinStoreTest, EachFailedAddIsReportedOnceAndLeavesNoRecord) {
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

    // A failed pin date write leaves no record; the batch's records were
    // all saved before any date was written, so its order stays a gap.
    auto good = folder("good");
    auto locked = folder("locked");
    dates->writeErrors.emplace(locked, PinError::locked());
    store.add({temp.path() + "/missing", locked, good});
    auto pins = store.fetchPins();
    ASSERT_EQ(pins.size(), 2u);
    EXPECT_EQ(pins[1]->path(), good);
    EXPECT_EQ(pins[1]->order(), 2);
    EXPECT_EQ(dates->dates[good], pinDate(2));
    EXPECT_EQ(store.errorMessage(), "missing \u2014 폴더를 찾을 수 없어요.\nlocked \u2014 " +
                                        PinError::locked().errorDescription());
}

// The app lets its window answer in the middle of an operation. What the
// window asks for then (an unpin, an unpin-all) must wait until the batch is
// done and run in the order asked, never halfway through it; the commit may
// run on another thread.
TEST_F(PinStoreTest, ChangesAskedWhileAnOperationRunsWaitTheirTurn) {
    const auto kept = folder("kept");
    store.add({kept});
    std::vector<std::string> batch;
    for (int i = 0; i < 4; ++i)
        batch.push_back(folder("batch-" + std::to_string(i)));

    int breaths = 0, asides = 0, idle = 0;
    store.becameIdle().add([&] { ++idle; });
    PinStore::Pacing pacing;
    pacing.breathe = [&] {
        if (++breaths == 1) {
            store.unpin({kept});
            store.unpinAll();
            // Nothing ran yet: the batch goes on with the list as it was.
            EXPECT_EQ(dates->dates[kept], pinDate(0));
            EXPECT_EQ(store.fetchPins().size(), 1u);
        }
    };
    pacing.runAside = [&](const std::function<void()>& step) {
        ++asides;
        std::thread(step).join();
    };
    store.setPacing(pacing);
    {
        PinStore::Hold command(store);
        store.add(batch);
        EXPECT_EQ(store.errorMessage(), std::nullopt);
        // The batch is whole until its command has read its answer.
        EXPECT_EQ(store.fetchPins().size(), 5u);
        for (std::size_t i = 0; i < batch.size(); ++i)
            EXPECT_EQ(dates->dates[batch[i]], pinDate(static_cast<std::int64_t>(i) + 1));
        EXPECT_EQ(idle, 0);
    }
    // Then the unpin and the unpin-all, in that order: every date is back.
    EXPECT_FALSE(store.isBusy());
    EXPECT_GE(breaths, 1);
    EXPECT_GE(asides, 1);
    EXPECT_GE(idle, 1);
    EXPECT_TRUE(store.fetchPins().empty());
    EXPECT_EQ(dates->dates[kept], march2024);
    for (const auto& path : batch)
        EXPECT_EQ(dates->dates[path], march2024) << path;
}

TEST_F(PinStoreTest, UnpinRemoveAndUnpinAll) {
    auto pinned = folder("pinned"), gone = folder("gone"), stuck = folder("stuck");
    auto noOriginal = folder("no-original", pinDate(7)), ordinary = folder("ordinary");
    auto orphan = folder("orphan", pinDate(3)), plain = folder("plain");
    store.add({pinned, gone, noOriginal, stuck, ordinary});
    ASSERT_EQ(store.fetchPins().size(), 5u);

    // Restored, or reported when outside the list; an orphan's date is set to now.
    store.unpin({plain, pinned, orphan, temp.path() + "/nowhere"});
    EXPECT_EQ(dates->dates[pinned], march2024);
    EXPECT_LT(dates->dates[orphan], pinnedThreshold);
    EXPECT_EQ(store.noticeMessage(),
              "목록에 없던 폴더의 '접근한 날짜'를 지금으로 되돌렸어요: orphan\n"
              "Skyloom으로 고정한 폴더가 아니라 바꾸지 않았어요: plain, nowhere");
    EXPECT_FALSE(store.errorMessage());

    // A folder that is gone keeps its record until the user removes it
    // once more, now shown missing.
    std::filesystem::remove(gone);
    auto goneRecord = store.fetchPins()[0];
    EXPECT_EQ(store.remove(goneRecord), "gone \u2014 " + PinStore::awayText());
    EXPECT_TRUE(goneRecord->isMissing() && goneRecord->isUnpinPending());
    EXPECT_EQ(store.remove(goneRecord), "gone \u2014 " + PinStore::removedAwayText());
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

// A pinned folder moved out of its parent, where no lookup of its stored
// path finds it, is still known by its new path with no refresh in between:
// pinning it again is refused, unpinning it restores its date and drops the
// record, in the store file too.
TEST_F(PinStoreTest, AMovedFolderIsUnpinnedByItsNewPathWithoutARefresh) {
    auto kept = folder("kept"), before = folder("before");
    store.add({kept, before});
    ASSERT_EQ(store.fetchPins().size(), 2u);
    const std::string after = temp.makeFolder("elsewhere") + "/after";
    ASSERT_EQ(std::rename(before.c_str(), after.c_str()), 0);
    dates->dates[after] = dates->dates[before];
    dates->dates.erase(before);

    store.add({after});
    EXPECT_EQ(store.errorMessage(), "after \u2014 이미 고정된 폴더예요.");
    EXPECT_EQ(store.fetchPins().size(), 2u);

    store.unpin({after});
    EXPECT_FALSE(store.errorMessage());
    EXPECT_FALSE(store.noticeMessage());
    EXPECT_EQ(dates->dates[after], march2024);
    const std::string copy = temp.makeFolder("copy") + "/default.store";
    std::filesystem::copy_file(storePath, copy);
    auto left = ModelContainer::open(copy)->mainContext().fetchAll();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0]->path(), kept);
}

// Everything an operation reported as done is in the store file itself: a
// lost log costs nothing.
TEST_F(PinStoreTest, TheStoreFileAloneHoldsEveryFinishedOperation) {
    std::vector<std::string> folders;
    for (int i = 0; i < 40; ++i)
        folders.push_back(folder("f" + std::to_string(i)));
    store.add(folders);
    ASSERT_FALSE(store.errorMessage());
    ASSERT_EQ(store.remove(store.fetchPins()[0]), std::nullopt);

    const std::string copy = temp.makeFolder("copy") + "/default.store";
    std::filesystem::copy_file(storePath, copy);
    auto pins = ModelContainer::open(copy)->mainContext().fetchAll();
    ASSERT_EQ(pins.size(), 39u);
    EXPECT_EQ(pins.back()->originalAddedDate(), march2024);
}

// With no room left for the store, no folder gets a pin date whose earlier
// date is not saved, and an unpin that cannot be saved keeps its record.
TEST_F(PinStoreTest, AFullDiskChangesNoFolderAndSaysSo) {
    const std::string mountPoint = temp.makeFolder("small");
    if (::mount("skyloom-test", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs (needs root): " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    auto small = ModelContainer::open(mountPoint + "/default.store");
    PinStore full(small->mainContext(), fakeService(dates), desktop);
    auto kept = folder("kept");
    full.add({kept});
    ASSERT_FALSE(full.errorMessage());

    // Fill what is left.
    (void)!std::system(("cat /dev/zero > " + mountPoint + "/filler 2>/dev/null").c_str());
    std::vector<std::string> many;
    for (int i = 0; i < 30; ++i)
        many.push_back(folder("n" + std::to_string(i)));
    const int writesBefore = dates->writes;
    full.add(many);
    EXPECT_EQ(dates->writes, writesBefore);
    EXPECT_EQ(full.fetchPins().size(), 1u);
    const std::string line =
        "n0 \u2014 고정 목록을 저장하지 못했어요. 저장 공간을 확인한 뒤 다시 시도하세요.";
    ASSERT_TRUE(full.errorMessage());
    EXPECT_EQ(full.errorMessage()->substr(0, line.size()), line);
    EXPECT_EQ(std::count(full.errorMessage()->begin(), full.errorMessage()->end(), '\n'), 29);

    // A real date found on a pinned folder is not written over unsaved, by
    // a re-apply nor by the folder watch.
    dates->dates[kept] = march2024 + 60;
    for (auto reapply : {std::function<void()>([&] { full.reapplyAll(); }),
                         std::function<void()>([&] { full.reapply(full.fetchPins()); })}) {
        full.setErrorMessage(std::nullopt);
        reapply();
        EXPECT_EQ(dates->dates[kept], march2024 + 60);
        EXPECT_EQ(full.fetchPins().at(0)->originalAddedDate(), march2024);
        EXPECT_EQ(full.errorMessage(), "kept \u2014 " + PinStore::saveFailedText());
    }

    full.setErrorMessage(std::nullopt);
    full.unpin({kept});
    EXPECT_EQ(full.errorMessage(), "kept \u2014 " + PinStore::saveFailedText());
    EXPECT_EQ(full.fetchPins().size(), 1u);

    // Once there is room again, the record that stayed is removed for good.
    std::filesystem::remove(mountPoint + "/filler");
    full.unpin({kept});
    EXPECT_FALSE(full.errorMessage());
    EXPECT_EQ(dates->dates[kept], march2024 + 60);
    EXPECT_TRUE(full.fetchPins().empty());
}

// A store that lives only in memory refuses every change at the pin store,
// whichever entry point asks, and touches no folder; listing still works.
TEST_F(PinStoreTest, AnInMemoryStoreChangesNoFolder) {
    auto memory = ModelContainer::inMemory();
    PinStore refusing(memory->mainContext(), fakeService(dates), desktop);
    auto plain = folder("plain");
    auto orphan = folder("orphan", pinDate(2));
    const auto refusal = PinStore::inMemoryRefusal();
    EXPECT_NE(refusal.find("\n아무 폴더도 바꾸지 않았어요."), std::string::npos);

    for (const auto& change : std::vector<std::function<void()>>{
             [&] { refusing.add({plain}); }, [&] { refusing.unpin({orphan}); },
             [&] { refusing.unpinAll(); }, [&] { refusing.chooseFoldersToPin(); }}) {
        refusing.setErrorMessage(std::nullopt);
        change();
        EXPECT_EQ(refusing.errorMessage(), refusal);
    }
    EXPECT_EQ(dates->writes, 0);
    EXPECT_TRUE(refusing.fetchPins().empty());
}

// The app serves other requests while its chooser runs: a record removed
// meanwhile is left alone when the chooser returns.
TEST_F(PinStoreTest, RegrantingARecordRemovedDuringTheChooserDoesNothing) {
    auto path = folder("granted");
    store.add({path});
    auto pin = store.fetchPins().at(0);
    int writes = 0;
    desktop->chooser = [&]() -> std::optional<std::vector<std::string>> {
        EXPECT_EQ(store.remove(pin), std::nullopt);
        writes = dates->writes;
        return std::vector<std::string>{path};
    };
    store.regrantAccess(pin);
    EXPECT_EQ(dates->writes, writes);
    EXPECT_EQ(dates->dates[path], march2024);
    EXPECT_TRUE(store.fetchPins().empty());
    EXPECT_FALSE(store.errorMessage());
}

// What the app relies on: a desktop installed before the store exists hears
// the first announcement; an observer that unregisters while being notified
// (a Qt object going away) is not called again in that notification.
TEST(SharedPinStore, TheInstalledDesktopHearsTheFirstAnnouncement) {
    struct RecordingDesktop final : Desktop {
        std::vector<std::string> heard;
        std::optional<std::vector<std::string>> chooseFolders(const FolderChoice&) override {
            return std::nullopt;
        }
        void reveal(const std::string&) override {}
        void open(const std::string&) override {}
        void announce(const std::string& text) override { heard.push_back(text); }
    };
    TempDir temp;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("XDG_DATA_HOME", temp.path().c_str(), 1);
        auto desktop = std::make_shared<RecordingDesktop>();
        PinStore::installDesktop(desktop);
        auto& store = PinStore::shared();
        int calls = 0;
        ObserverList<const PinStore::Message&>::Token second = 0;
        store.noticeMessageChanged().add([&](const PinStore::Message&) {
            ++calls;
            store.noticeMessageChanged().remove(second);
        });
        second = store.noticeMessageChanged().add([&](const PinStore::Message&) { calls += 100; });
        store.setNoticeMessage("first");
        ::_exit(desktop->heard == std::vector<std::string>{"first"} && calls == 1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace

namespace {

// A store opened afresh as the command line opens it: its records are read
// when asked for, and all of them once someone fetches the list.
class ReopenedStoreTest : public PinStoreTest {
protected:
    struct Opened {
        Opened(const std::string& path, const std::shared_ptr<FakeDates>& dates,
               const std::shared_ptr<Desktop>& desktop)
            : container(ModelContainer::open(path)),
              store(container->mainContext(), fakeService(dates), desktop) {}
        ModelContext& context() { return container->mainContext(); }
        std::unique_ptr<ModelContainer> container;
        PinStore store;
    };
    std::string path = temp.makeFolder("lazy") + "/default.store";
    std::unique_ptr<Opened> open() { return std::make_unique<Opened>(path, dates, desktop); }
    std::vector<std::string> paths(const std::vector<PinnedFolderPtr>& pins) {
        std::vector<std::string> result;
        for (const auto& pin : pins)
            result.push_back(pin->path());
        return result;
    }
};

// One object per record whether it was read alone or with the whole list;
// a pin made before the list was read comes after the highest stored order,
// and once the list is read every change names its row.
TEST_F(ReopenedStoreTest, RecordsReadOneByOneJoinTheWholeList) {
    const auto a = folder("a"), b = folder("b"), c = folder("c"), d = folder("d");
    open()->store.add({a, b, c});
    auto opened = open();
    std::vector<std::tuple<ModelChange::Kind, std::size_t, std::string>> seen;
    opened->store.changes().add([&](const ModelChange& change) {
        seen.emplace_back(change.kind, change.position, change.record->path());
    });
    EXPECT_FALSE(opened->context().holdsEveryRecord());
    const auto pinB = opened->store.pinFor(b);
    ASSERT_TRUE(pinB);
    opened->store.add({d});
    EXPECT_EQ(dates->dates[d], pinDate(3));
    EXPECT_FALSE(opened->context().holdsEveryRecord());

    const auto all = opened->store.fetchPins();
    EXPECT_EQ(paths(all), (std::vector{a, b, c, d}));
    EXPECT_EQ(all[1], pinB);
    EXPECT_EQ(opened->store.pinFor(d), all[3]);
    seen.clear();
    const auto e = folder("e");
    opened->store.add({e});
    opened->store.unpin({b});
    using Kind = ModelChange::Kind;
    EXPECT_EQ(seen.front(), std::tuple(Kind::inserted, std::size_t(4), e));
    EXPECT_EQ(seen.back(), std::tuple(Kind::deleted, std::size_t(1), b));
    opened.reset();
    EXPECT_EQ(paths(open()->store.fetchPins()), (std::vector{a, c, d, e}));
}

// A folder renamed since it was pinned is found where it now is; a new
// folder put where a pinned one was is another folder; the highest order
// skips a record deleted before the save and follows one whose order changed.
TEST_F(ReopenedStoreTest, LookupsFollowTheFolderNotItsPath) {
    const auto a = folder("a"), b = folder("b"), c = folder("c");
    open()->store.add({a, b, c});
    auto opened = open();
    const std::string moved = temp.path() + "/a moved";
    std::filesystem::rename(a, moved);
    const auto pinA = opened->store.pinFor(moved);
    ASSERT_TRUE(pinA);
    EXPECT_EQ(pinA->path(), moved);
    std::filesystem::create_directory(b + ".new");
    std::filesystem::remove(b);
    std::filesystem::rename(b + ".new", b);
    EXPECT_EQ(opened->store.pinFor(b), nullptr);

    auto& context = opened->context();
    const auto pinC = opened->store.pinFor(c);
    context.remove(pinC);
    EXPECT_EQ(context.highestOrder(), 1);
    pinA->setOrder(7);
    EXPECT_EQ(context.highestOrder(), 7);
    context.save();
    opened.reset();
    EXPECT_EQ(open()->context().highestOrder(), 7);
}

// Records whose bookmark gives no identity are still counted and found by
// their path, in a store opened afresh, and a store without the order index
// gets it back on opening.
TEST_F(ReopenedStoreTest, RecordsWithoutIdentityAreFoundByTheirPath) {
    const auto a = folder("a"), x = folder("x");
    open()->store.add({a});
    {
        auto opened = open();
        opened->context().insert(
            std::make_shared<PinnedFolder>(x, Bytes{1, 2, 3}, march2024, 1, march2024));
        opened->context().save();
    }
    {
        SQLite::Database plain(path, SQLite::OPEN_READWRITE);
        plain.exec("DROP INDEX PinnedFolderByOrder");
    }
    auto opened = open();
    EXPECT_EQ(opened->context().recordsWithoutIdentity(), 1u);
    const auto pinA = opened->store.pinFor(a);
    ASSERT_TRUE(pinA);
    EXPECT_EQ(opened->context().recordsWithoutIdentity(), 1u);
    const auto withoutIdentity = opened->context().fetchWithoutIdentity();
    EXPECT_EQ(paths(withoutIdentity), std::vector{x});
    EXPECT_FALSE(opened->context().holdsEveryRecord());
    opened->store.add({x});
    EXPECT_EQ(opened->store.errorMessage(), "x \u2014 이미 고정된 폴더예요.");
    const auto pinX = opened->store.pinFor(x);
    EXPECT_EQ(pinX, withoutIdentity.at(0));
    EXPECT_EQ(opened->store.fetchPins(), (std::vector{pinA, pinX}));
    opened.reset(); // the store keeps its file to itself while open
    SQLite::Database plain(path);
    EXPECT_EQ(plain
                  .execAndGet("SELECT count(*) FROM sqlite_master WHERE name = "
                              "'PinnedFolderByOrder'")
                  .getInt(),
              1);
}

} // namespace
