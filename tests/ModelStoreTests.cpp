#include "core/engine/Bookmark.h"
#include "core/engine/PinService.h"
#include "core/store/ModelContainer.h"
#include "core/store/StoreRecovery.h"
#include "core/store/StoreSchema.h"
#include "support/TempDir.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

using namespace skyloom;

namespace {

class ModelStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_DATA_HOME", (dir.path() + "/data").c_str(), 1);
        StoreRecovery::resetForTesting();
    }

    // What a store file alone holds, copied without the files beside it (the
    // store may be open: its connection keeps the file locked), or with its log.
    int storedCount(const std::string& store = defaultStoreURL(), bool withLog = false) {
        const std::string copy = dir.path() + "/copy.store";
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(copy + suffix);
        std::filesystem::copy_file(store, copy);
        if (withLog)
            std::filesystem::copy_file(store + "-wal", copy + "-wal");
        return SQLite::Database(copy, SQLite::OPEN_READWRITE)
            .execAndGet("SELECT count(*) FROM PinnedFolder")
            .getInt();
    }

    test::TempDir dir;
};

PinnedFolderPtr makeRecord(std::string path, std::int64_t order) {
    return std::make_shared<PinnedFolder>(std::move(path), std::nullopt, std::nullopt, order,
                                          1'700'000'000.123457);
}

auto fields(const PinnedFolder& r) {
    return std::tuple(r.path(), r.bookmark(), r.originalAddedDate(), r.order(), r.pinnedAt(),
                      r.isMissing(), r.needsAccess(), r.isLocked());
}

} // namespace

// The store reveals which folders the user pinned: its folder and every file
// in it are the user's alone, whatever the umask.
TEST_F(ModelStoreTest, FirstLaunchCreatesAPrivateDirectoryAndAnEmptyStore) {
    const std::string folder = dir.path() + "/data/brindle-engineering.Skyloom.direct";
    const mode_t umask = ::umask(022);
    EXPECT_EQ(defaultStoreURL(), folder + "/default.store");
    EXPECT_EQ(test::modeOf(folder), S_IFDIR | 0700u);
    auto expectPrivate = [&] {
        EXPECT_EQ(test::modeOf(folder), S_IFDIR | 0700u);
        for (const char* suffix : {"", "-wal", ".lock"})
            EXPECT_EQ(test::modeOf(defaultStoreURL() + suffix), S_IFREG | 0600u) << suffix;
    };
    auto container = openStore(defaultStoreURL());
    EXPECT_EQ(storeState(), StoreState::opened);
    container->mainContext().insert(makeRecord("/secret", 0));
    container->mainContext().save();
    expectPrivate();
    container.reset();
    // Wider modes, as a store from before may have, are narrowed when it is used.
    ::chmod(folder.c_str(), 0755);
    for (const char* suffix : {"", "-wal", ".lock"})
        ::chmod((defaultStoreURL() + suffix).c_str(), 0644);
    container = openStore(defaultStoreURL());
    expectPrivate();
    ::umask(umask);
}

TEST_F(ModelStoreTest, RecordsRoundTripWithAllEightFields) {
    // Each flag column has its own pattern across the records, so a swap shows.
    auto defaults = std::make_shared<PinnedFolder>();
    defaults->setPinnedAt(-0.5);
    auto full =
        std::make_shared<PinnedFolder>("/tmp/caf\xe9/\xff\xfe", Bytes{0, 1, 0xff}, -1234.0625,
                                       ModelContext::largestOrder, 4'102'444'800.125);
    full->setIsMissing(true);
    full->setIsLocked(true);
    auto emptyBookmark =
        std::make_shared<PinnedFolder>("/a", Bytes{}, 0.0, -ModelContext::largestOrder, 1e-6);
    emptyBookmark->setNeedsAccess(true);
    emptyBookmark->setIsLocked(true);
    const std::vector<PinnedFolderPtr> saved{emptyBookmark, defaults, full}; // by order
    {
        auto container = ModelContainer::open(defaultStoreURL());
        for (const auto& record : saved)
            container->mainContext().insert(record);
        container->mainContext().save();
    }
    auto records = ModelContainer::open(defaultStoreURL())->mainContext().fetchAll();
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(fields(*records[i]), fields(*saved[i])) << i;
}

// Values no Skyloom writes (a damaged or edited file) are brought into range
// on reading, so that no date or order arithmetic can overflow, and the other
// records are kept.
TEST_F(ModelStoreTest, ValuesOutOfRangeAreBroughtIntoRange) {
    ModelContainer::open(defaultStoreURL()).reset();
    {
        SQLite::Database db(defaultStoreURL(), SQLite::OPEN_READWRITE);
        db.exec(R"(INSERT INTO PinnedFolder (path, originalAddedDate, "order", pinnedAt) VALUES
                   ('/max', 9e999, 9223372036854775807, -9e999),
                   ('/min', 4102488000.0, -9223372036854775808, 1e308),
                   ('/nan', -1e300, 5, 0.0))");
    }
    auto records = ModelContainer::open(defaultStoreURL())->mainContext().fetchAll();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0]->order(), -ModelContext::largestOrder);
    EXPECT_EQ(records[2]->order(), ModelContext::largestOrder);
    for (const auto& record : records) {
        EXPECT_FALSE(record->originalAddedDate()) << record->path();
        EXPECT_TRUE(std::isfinite(record->pinnedAt()));
        EXPECT_LE(std::abs(record->pinnedAt()), 3e11);
    }
    EXPECT_EQ(PinService::nextOrder(records), ModelContext::largestOrder + 1);
    EXPECT_GE(pinDate(PinService::nextOrder(records)), pinnedThreshold);
}

TEST_F(ModelStoreTest, ContextKeepsOneObjectPerRecordAndSavesOnlyItsChanges) {
    auto container = ModelContainer::open(defaultStoreURL());
    auto& context = container->mainContext();
    auto a = makeRecord("/a", 0), b = makeRecord("/b", 1), twin = makeRecord("/a", 2);
    for (const auto& record : {a, b, twin})
        context.insert(record);
    EXPECT_FALSE(sameRecord(*a, *twin)); // same path, two records
    context.save();
    // A save is in the store file itself once it returns; the log is empty.
    EXPECT_EQ(storedCount(), 3);
    EXPECT_EQ(std::filesystem::file_size(defaultStoreURL() + "-wal"), 0u);

    // Equal values are no change, so saving writes nothing.
    const auto untouched = StoreSchema::fileStamp(defaultStoreURL());
    a->setPath("/a");
    a->setIsLocked(false);
    EXPECT_FALSE(context.hasChanges());
    context.save();
    EXPECT_EQ(StoreSchema::fileStamp(defaultStoreURL()), untouched);
    b->setOrder(-1);
    EXPECT_EQ(context.fetchAll(), (std::vector<PinnedFolderPtr>{b, a, twin}));
    context.remove(twin);
    twin->setIsMissing(true); // a deleted record is no longer watched
    EXPECT_EQ(context.fetchAll(), (std::vector<PinnedFolderPtr>{b, a}));
    context.save();
    EXPECT_FALSE(context.hasChanges());
    EXPECT_EQ(storedCount(), 2);

    // The identifier was given at insert and is never given out again.
    const auto twinIdentifier = twin->persistentIdentifier().value();
    container.reset(); // lets go of the store lock
    container = ModelContainer::open(defaultStoreURL());
    auto& reopened = container->mainContext();
    auto records = reopened.fetchAll();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->persistentIdentifier(), b->persistentIdentifier());
    EXPECT_EQ(reopened.fetchAll(), records); // the same objects again
    auto c = makeRecord("/c", 5);
    reopened.insert(c);
    EXPECT_GT(c->persistentIdentifier().value(), twinIdentifier);
}

// A save whose commit reached the log but which the store file could not
// take (the disk filled in between) fails: no save is reported done that the
// file alone does not hold. The log keeps the commit, so the store stays
// sound and the commit reaches the file once there is room.
TEST_F(ModelStoreTest, ASaveTheStoreFileCannotTakeFails) {
    const std::string small = dir.makeFolder("small");
    if (::mount("skyloom-test", small.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs (needs root): " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{small};
    const std::string store = small + "/default.store";
    auto container = ModelContainer::open(store);
    auto& context = container->mainContext();
    context.insert(makeRecord("/kept", 0));
    context.save();

    // Fill the disk, then give room back a page at a time: at some point the
    // commit fits in the log but the file cannot grow by the record's pages.
    const std::string filler = small + "/filler";
    {
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string page(4096, 'x');
        while (::write(fd, page.data(), page.size()) > 0) {
        }
        ::close(fd);
    }
    context.insert(makeRecord("/" + std::string(3 * 4096, 'b'), 1));
    bool foldFailed = false;
    for (auto size = std::filesystem::file_size(filler); size >= 4096 && !foldFailed;) {
        size -= 4096;
        ASSERT_EQ(::truncate(filler.c_str(), off_t(size)), 0);
        try {
            context.save();
            break;
        } catch (const StoreError&) {
            // A commit that failed left nothing in the log, and is tried again.
            foldFailed = storedCount(store, true) == 2;
        }
    }
    ASSERT_TRUE(foldFailed) << "never did the log take the commit and the file not";

    // The file is half written until the log is folded in, once there is room.
    std::filesystem::remove(filler);
    container.reset();
    EXPECT_EQ(ModelContainer::open(store)->mainContext().fetchAll().size(), 2u);
}

// The integrity check reads the whole file, so it runs only when the file
// changed since a Skyloom last closed it: written by another program, even
// one that put its modification time back, or replaced.
TEST_F(ModelStoreTest, TheIntegrityCheckRunsOnlyWhenTheFileChangedSinceItWasClosed) {
    const std::string store = defaultStoreURL();
    auto opensChecking = [&] {
        const int before = StoreSchema::integrityChecksRun();
        ModelContainer::open(store)->mainContext().insert(makeRecord("/x", 1));
        return StoreSchema::integrityChecksRun() - before;
    };
    EXPECT_EQ(opensChecking(), 1); // new: never closed by us
    EXPECT_EQ(opensChecking(), 0);
    EXPECT_EQ(opensChecking(), 0);

    struct stat info {};
    ASSERT_EQ(::stat(store.c_str(), &info), 0);
    SQLite::Database(store, SQLite::OPEN_READWRITE).exec("UPDATE meta SET value = value");
    const timespec times[2] = {info.st_atim, info.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, store.c_str(), times, 0), 0);
    EXPECT_EQ(opensChecking(), 1);
    EXPECT_EQ(opensChecking(), 0);

    std::filesystem::copy_file(store, store + ".copy");
    std::filesystem::rename(store + ".copy", store);
    EXPECT_EQ(opensChecking(), 1);

    // A command line saves and ends without closing the store: its own
    // writes need no check either.
    const pid_t pid = ::fork();
    if (pid == 0) {
        auto container = ModelContainer::open(store);
        container->mainContext().insert(makeRecord("/y", 2));
        container->mainContext().save();
        std::_Exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(opensChecking(), 0);
    EXPECT_EQ(storedCount(), 1);
}

// A folder's record is found by the identity its bookmark names, also after
// the bookmark changes and after reopening; a new folder on a reused inode
// (another birth time) is another folder. A store from before the identity
// columns gets them, filled from the bookmarks, on opening.
TEST_F(ModelStoreTest, RecordsAreFoundByTheirFolderIdentity) {
    const std::string a = dir.makeFolder("a"), b = dir.makeFolder("b");
    const auto identityA = platform::folderIdentity(a).value();
    const auto identityB = platform::folderIdentity(b).value();
    {
        auto container = ModelContainer::open(defaultStoreURL());
        auto& context = container->mainContext();
        auto pinA = std::make_shared<PinnedFolder>(a, Bookmark::make(a), 1.0, 0, 2.0);
        auto noBookmark = std::make_shared<PinnedFolder>(b, std::nullopt, 1.0, 1, 2.0);
        context.insert(pinA);
        context.insert(noBookmark);
        EXPECT_EQ(context.fetchByIdentity(identityA), std::vector{pinA});
        EXPECT_TRUE(context.fetchByIdentity(identityB).empty());
        auto reborn = identityA;
        reborn.birth = TimeSpec{1, 2};
        if (identityA.birth) {
            EXPECT_TRUE(context.fetchByIdentity(reborn).empty());
        }
        // A bookmark of the first version has no birth time: the inode decides.
        pinA->setBookmark(Bookmark::encode({identityB.device, identityB.inode, {}, {}}, b));
        EXPECT_TRUE(context.fetchByIdentity(identityA).empty());
        EXPECT_EQ(context.fetchByIdentity(identityB), std::vector{pinA});
        EXPECT_EQ(context.highestOrder(), 1);
        EXPECT_EQ(context.recordsWithoutIdentity(), 1u);
        context.remove(pinA);
        EXPECT_TRUE(context.fetchByIdentity(identityB).empty());
        context.insert(pinA);
        pinA->setBookmark(Bookmark::make(a));
        context.save();
    }
    {
        SQLite::Database old(defaultStoreURL(), SQLite::OPEN_READWRITE);
        old.exec("DROP INDEX PinnedFolderByIdentity");
        for (const char* column : {"folderBirth", "folderInode", "folderDevice"})
            old.exec(std::string("ALTER TABLE PinnedFolder DROP COLUMN ") + column);
    }
    for (int round = 0; round < 2; ++round) {
        auto container = ModelContainer::open(defaultStoreURL());
        auto found = container->mainContext().fetchByIdentity(identityA);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0]->path(), a);
    }
    SQLite::Database db(defaultStoreURL());
    EXPECT_EQ(db.execAndGet("SELECT folderInode FROM PinnedFolder INDEXED BY "
                            "PinnedFolderByIdentity WHERE folderDevice = " +
                            std::to_string(std::int64_t(identityA.device)))
                  .getInt64(),
              std::int64_t(identityA.inode));
}
