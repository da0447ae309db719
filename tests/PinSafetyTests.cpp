#include "core/PinError.h"
#include "core/engine/PinService.h"
#include "core/platform/AddedDatePlatform.h"
#include "core/store/ModelContainer.h"
#include "core/store/PinStore.h"
#include "support/TempDir.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

using namespace skyloom;
using namespace skyloom::test;

namespace {

constexpr TimeSpec march2024{1709251200, 123456789};

std::optional<EarlierMark> markOf(const std::string& path) {
    char buffer[128];
    auto size = ::getxattr(path.c_str(), platform::earlierMarkName, buffer, sizeof buffer);
    if (size < 0)
        return std::nullopt;
    return EarlierMark::decode(std::string(buffer, static_cast<std::size_t>(size)));
}

void move(const std::string& from, const std::string& to) {
    ASSERT_EQ(std::rename(from.c_str(), to.c_str()), 0) << from << " -> " << to;
}

// The real file system with a hook around each opened folder, to swap paths
// at the worst moment or to stop the process right after a write.
class HookedDates final : public AddedDateAccessing {
public:
    std::function<void()> beforeOpen = [] {}, afterOpen = [] {}, afterBody = [] {};
    Date readAddedDate(const std::string& path) const override { return real.readAddedDate(path); }
    void writeAddedDate(Date date, const std::string& path) const override {
        real.writeAddedDate(date, path);
    }
    bool datesBefore1970AreReal() const override { return real.datesBefore1970AreReal(); }
    bool identityGivesAddedDate() const override { return real.identityGivesAddedDate(); }
    void withFolder(const std::string& path,
                    const std::function<void(DatedFolder&)>& body) const override {
        beforeOpen();
        real.withFolder(path, [&](DatedFolder& folder) {
            afterOpen();
            body(folder);
        });
        afterBody();
    }

private:
    FileSystemAddedDate real;
};

PinService realService(std::shared_ptr<const AddedDateAccessing> dates) {
    return PinService(std::move(dates), std::make_shared<FileManager>(), [](const std::string&) {
        return FolderTraits{false, true, "ext4"};
    });
}

// A link put at or above a pinned path, or another folder put in its place,
// before the lookup or between the open and the write: nothing but the
// pinned folder is ever written, and a pin not reachable at its path shows
// missing.
TEST(PinSafety, NothingIsWrittenThroughALinkOrOntoAFolderInThePinsPlace) {
    TempDir temp;
    auto hooked = std::make_shared<HookedDates>();
    PinService service = realService(hooked);
    const std::string victims = temp.makeFolder("victims");
    const std::string victim = temp.makeFolder("victims/pinned");
    enum Put { linkToVictim, linkToWhereItWent, newFolder };
    const struct {
        const char* what;
        bool movesParent;
        Put put;
    } swaps[] = {{"link at the path", false, linkToVictim},
                 {"link above the path", true, linkToVictim},
                 {"parent turned link to where it went", true, linkToWhereItWent},
                 {"another folder in its place", false, newFolder}};
    int n = 0;
    for (const auto& swap : swaps) {
        // Between the lookup and the open, or between the open and the write.
        for (auto* moment : {&hooked->beforeOpen, &hooked->afterOpen}) {
            const std::string name = "v" + std::to_string(n++), parent = temp.makeFolder(name);
            const std::string pinned = temp.makeFolder(name + "/pinned");
            for (const auto& folder : {pinned, victim})
                setAccessTime(folder, march2024);
            auto pin = service.makePin(pinned, {}, 0);
            service.applyPinDate(*pin);
            const TimeSpec drifted{march2024.seconds + 60, 0}; // so that a re-apply writes
            setAccessTime(pinned, drifted);

            const std::string moved = swap.movesParent ? parent : pinned;
            const std::string to = temp.makeFolder("away") + "/" + name;
            const std::string real = swap.movesParent ? to + "/pinned" : to;
            const std::string target = swap.put == linkToWhereItWent ? to
                                       : swap.movesParent            ? victims
                                                                     : victim;
            bool swapped = false;
            *moment = [&] {
                if (std::exchange(swapped, true))
                    return;
                move(moved, to);
                if (swap.put == newFolder)
                    ::mkdir(moved.c_str(), 0755);
                else
                    ::symlink(target.c_str(), moved.c_str());
            };
            service.refreshStatus(*pin);
            hooked->beforeOpen = hooked->afterOpen = [] {};

            const bool beforeOpen = moment == &hooked->beforeOpen;
            EXPECT_EQ(pin->isMissing(), beforeOpen) << swap.what;
            EXPECT_EQ(accessTime(victim), march2024) << swap.what;
            // Swapped after the open, the descriptor still is the pinned folder.
            EXPECT_EQ(accessTime(real), beforeOpen ? drifted : splitDate(pinDate(0))) << swap.what;
            if (beforeOpen) { // an unpin finds no folder to restore either
                EXPECT_FALSE(service.withPinAccess(*pin, [&](const PinLocation& location) {
                    service.restoreAddedDate(location.path, *pin, 0);
                })) << swap.what;
            }
        }
    }
}

bool keepsUserAttributes(const std::string& folder) {
    return ::setxattr(folder.c_str(), "user.skyloom.probe", "1", 1, 0) == 0 &&
           ::removexattr(folder.c_str(), "user.skyloom.probe") == 0;
}

// The folder carries its exact earlier date: back to the nanosecond, the
// last moment before the pin threshold stays an ordinary date, and a second
// user's pin keeps the first user's mark.
TEST(PinSafety, EachPinnedFolderCarriesItsExactEarlierDate) {
    TempDir temp;
    if (!keepsUserAttributes(temp.path()))
        GTEST_SKIP() << "the temporary folder's volume keeps no user extended attributes";
    PinService service = PinService::makeDefault();

    const std::string edge = temp.makeFolder("edge");
    const TimeSpec lastOf2089{3786911999, 999999999};
    setAccessTime(edge, lastOf2089);
    auto pin = service.makePin(edge, {}, 0);
    ASSERT_TRUE(pin->originalAddedDate());
    EXPECT_LT(*pin->originalAddedDate(), pinnedThreshold);
    service.applyPinDate(*pin);
    EXPECT_EQ(accessTime(edge), splitDate(pinDate(0)));
    ASSERT_TRUE(markOf(edge));
    EXPECT_EQ(markOf(edge)->earlier, lastOf2089);
    // The record is lost (a reset store): the folder's own mark brings it back.
    EXPECT_EQ(service.restoreOrphan(edge, currentDate()), PinService::Restored::earlierDate);
    EXPECT_EQ(accessTime(edge), lastOf2089);
    EXPECT_FALSE(markOf(edge));

    const std::string shared = temp.makeFolder("shared");
    setAccessTime(shared, march2024);
    auto first = service.makePin(shared, {}, 0);
    service.applyPinDate(*first);
    auto second = service.makePin(shared, {}, 0); // another user's store
    EXPECT_FALSE(second->originalAddedDate());
    service.applyPinDate(*second);
    EXPECT_EQ(markOf(shared)->earlier, march2024);
    service.restoreAddedDate(shared, *second, currentDate());
    EXPECT_EQ(accessTime(shared), march2024);
    service.restoreAddedDate(shared, *first, currentDate());
    EXPECT_EQ(accessTime(shared), march2024);
    EXPECT_FALSE(markOf(shared));
}

// File managers re-sort on attribute changes, not on access events.
TEST(PinSafety, EveryDateWrittenIsSeenAsAnAttributeChange) {
    TempDir temp;
    PinService service = PinService::makeDefault();
    const std::string folder = temp.makeFolder("watched");
    setAccessTime(folder, march2024);
    auto pin = service.makePin(folder, {}, 0);

    const int events = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(events, 0);
    ASSERT_GE(::inotify_add_watch(events, temp.path().c_str(), IN_ATTRIB), 0);
    auto attributeChanges = [&] {
        int seen = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t size; (size = ::read(events, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + size;) {
                auto* event = reinterpret_cast<inotify_event*>(at);
                seen += (event->mask & IN_ATTRIB) && event->len &&
                        std::string(event->name) == "watched";
                at += sizeof(inotify_event) + event->len;
            }
        return seen;
    };
    service.applyPinDate(*pin);
    EXPECT_GE(attributeChanges(), 1);
    // Writes without a mark to write: a pin date put back over another pin
    // date, and a restore from the record alone.
    setAccessTime(folder, splitDate(pinDate(5)));
    ::removexattr(folder.c_str(), platform::earlierMarkName);
    attributeChanges();
    service.refreshStatus(*pin);
    EXPECT_EQ(accessTime(folder), splitDate(pinDate(0)));
    EXPECT_GE(attributeChanges(), 1);
    service.restoreAddedDate(folder, *pin, currentDate());
    EXPECT_GE(attributeChanges(), 1);
    EXPECT_NEAR(joinDate(accessTime(folder)), joinDate(march2024), 1e-6);
    ::close(events);
}

class AwayFolderTest : public ::testing::Test {
protected:
    TempDir temp;
    std::string storePath = temp.makeFolder("store") + "/default.store";
    std::unique_ptr<ModelContainer> container = ModelContainer::open(storePath);
    std::unique_ptr<PinStore> store = makeStore();

    std::unique_ptr<PinStore> makeStore() {
        return std::make_unique<PinStore>(container->mainContext(),
                                          realService(std::make_shared<FileSystemAddedDate>()),
                                          std::make_shared<HeadlessDesktop>());
    }
    void reopen() {
        store.reset();
        container.reset();
        container = ModelContainer::open(storePath);
        store = makeStore();
    }
    std::string line(const std::string& name, const std::string& text) {
        return name + " \u2014 " + text;
    }
    // Exact where the volume keeps the folder's own mark; else as the record kept it.
    void expectRestored(const std::string& path) {
        if (keepsUserAttributes(temp.path()))
            EXPECT_EQ(accessTime(path), march2024) << path;
        else
            EXPECT_NEAR(joinDate(accessTime(path)), joinDate(march2024), 1e-6) << path;
    }
};

// Unpinned while away (moved elsewhere, its volume unmounted): the record
// stays, says why, survives a restart, and the earlier date goes back once
// the folder is reachable again. Removing the record is the explicit way out.
TEST_F(AwayFolderTest, AnUnpinOfAFolderThatIsAwayCompletesWhenItIsBack) {
    const std::string a = temp.makeFolder("here/a"), b = temp.makeFolder("here/b");
    const std::string c = temp.makeFolder("here/c");
    const std::string elsewhere = temp.makeFolder("elsewhere");
    for (const auto& folder : {a, b, c})
        setAccessTime(folder, march2024);
    store->add({a, b, c});
    ASSERT_FALSE(store->errorMessage());

    move(a, elsewhere + "/a");
    store->unpin({a});
    EXPECT_EQ(store->errorMessage(), line("a", PinStore::awayText()));
    move(b, elsewhere + "/b");
    store->unpinAll();
    EXPECT_EQ(store->errorMessage(),
              line("a", PinStore::awayText()) + "\n" + line("b", PinStore::awayText()));
    // c was reachable: unpinned for good.
    expectRestored(c);
    EXPECT_TRUE(isPinTime(accessTime(elsewhere + "/a")));

    // Pinning a folder again takes its pending unpin back.
    store->add({a});
    EXPECT_EQ(store->errorMessage(), line("a", PinError::notFound().errorDescription()));
    EXPECT_FALSE(store->fetchPins().at(0)->isUnpinPending());
    store->unpin({a});

    reopen();
    auto pins = store->fetchPins();
    ASSERT_EQ(pins.size(), 2u);
    EXPECT_TRUE(pins[0]->isUnpinPending() && pins[0]->isMissing());
    store->reapplyAll(true);
    EXPECT_EQ(store->errorMessage(),
              line("a", PinStore::awayText()) + "\n" + line("b", PinStore::awayText()));

    move(elsewhere + "/a", a);
    move(elsewhere + "/b", b);
    store->reapplyAll(true);
    EXPECT_FALSE(store->errorMessage());
    EXPECT_TRUE(store->fetchPins().empty());
    expectRestored(a);
    expectRestored(b);

    // Removed while away, shown missing: the record goes, the date stays
    // until an unpin once the folder is back.
    store->add({a});
    move(a, elsewhere + "/a");
    store->refreshPaths();
    EXPECT_EQ(store->remove(store->fetchPins().at(0)), line("a", PinStore::removedAwayText()));
    EXPECT_TRUE(store->fetchPins().empty());
    move(elsewhere + "/a", a);
    EXPECT_TRUE(isPinTime(accessTime(a)));
    store->unpin({a});
    if (keepsUserAttributes(temp.path())) {
        expectRestored(a);
        EXPECT_EQ(store->noticeMessage(),
                  "목록에 없던 폴더를 폴더에 남아 있던 원래 날짜로 되돌렸어요: a");
    }
}

// A store made before the pending-unpin flag keeps its records and gains
// the flag on first open.
TEST_F(AwayFolderTest, AStoreWithoutThePendingFlagGainsIt) {
    store.reset();
    container.reset();
    SQLite::Database(storePath, SQLite::OPEN_READWRITE)
        .exec("ALTER TABLE PinnedFolder DROP COLUMN isUnpinPending;"
              "INSERT INTO PinnedFolder (path, pinnedAt) VALUES (x'2f6f6c64', 0)");
    reopen();
    auto pins = store->fetchPins();
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_FALSE(pins[0]->isUnpinPending());
    pins[0]->setIsUnpinPending(true);
    container->mainContext().save();
    reopen();
    EXPECT_TRUE(store->fetchPins().at(0)->isUnpinPending());
}

// A real volume unmounted while pinned, unpinned, then mounted again.
TEST_F(AwayFolderTest, AnUnmountedVolumeKeepsItsPinsWayBack) {
    const std::string image = temp.path() + "/volume.img", mountPoint = temp.makeFolder("mnt");
    if (std::system(
            ("truncate -s 8M " + image + " && mkfs.ext4 -q -F " + image + " >/dev/null 2>&1")
                .c_str()) != 0)
        GTEST_SKIP() << "mkfs.ext4 is not available";
    auto mount = [&] {
        return std::system(
                   ("mount -o loop " + image + " " + mountPoint + " 2>/dev/null").c_str()) == 0;
    };
    if (!mount())
        GTEST_SKIP() << "cannot mount a loop image here (needs root and loop devices)";
    Unmount unmount{mountPoint};
    const std::string folder = mountPoint + "/pinned";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    setAccessTime(folder, march2024);
    store->add({folder});
    ASSERT_FALSE(store->errorMessage());

    ASSERT_EQ(::umount(mountPoint.c_str()), 0);
    store->unpinAll();
    EXPECT_EQ(store->errorMessage(), line("pinned", PinStore::awayText()));
    ASSERT_EQ(store->fetchPins().size(), 1u);

    ASSERT_TRUE(mount());
    store->reapplyAll();
    EXPECT_TRUE(store->fetchPins().empty());
    expectRestored(folder);
}

// A command killed right after a folder's date changed: the store file
// alone, its companion files deleted, holds the record of that folder.
TEST_F(AwayFolderTest, AKilledCommandLeavesTheRecordInTheStoreFile) {
    const std::string folder = temp.makeFolder("killed");
    setAccessTime(folder, march2024);
    store.reset();
    container.reset();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto dates = std::make_shared<HookedDates>();
        dates->afterBody = [&] {
            if (isPinTime(accessTime(folder)))
                ::raise(SIGKILL);
        };
        auto own = ModelContainer::open(storePath);
        PinStore pinning(own->mainContext(), realService(dates),
                         std::make_shared<HeadlessDesktop>());
        pinning.add({folder});
        ::_exit(3); // never reached: killed after the write
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_TRUE(isPinTime(accessTime(folder)));

    std::filesystem::remove(storePath + "-wal");
    std::filesystem::remove(storePath + "-shm");
    auto reopened = ModelContainer::open(storePath);
    auto pins = reopened->mainContext().fetchAll();
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(pins[0]->path(), folder);
    EXPECT_NEAR(*pins[0]->originalAddedDate(), joinDate(march2024), 1e-6);
}

} // namespace
