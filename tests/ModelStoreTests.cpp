// The model store on real SQLite files: records round-trip, the context's
// identity map, pending changes and notifications, and saving.

#include "core/ModelContainer.h"
#include "core/StoreRecovery.h"
#include "core/StoreSchema.h"
#include "support/TempDir.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace skyloom;

namespace {

class ModelStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_DATA_HOME", (dir.path() + "/data").c_str(), 1);
        StoreRecovery::resetForTesting();
    }
    void TearDown() override { StoreRecovery::resetForTesting(); }

    // A second, plain connection to look at what is really on disk.
    SQLite::Database peek() { return SQLite::Database(defaultStoreURL(), SQLite::OPEN_READONLY); }

    test::TempDir dir;
};

PinnedFolderPtr makeRecord(std::string path, std::int64_t order) {
    return std::make_shared<PinnedFolder>(std::move(path), std::nullopt, std::nullopt, order,
                                          1'700'000'000.25);
}

} // namespace

TEST_F(ModelStoreTest, FirstLaunchCreatesTheDirectoryAndAnEmptyStore) {
    const std::string expected =
        dir.path() + "/data/brindle-engineering.Skyloom.direct/default.store";
    ASSERT_FALSE(std::filesystem::exists(dir.path() + "/data"));
    EXPECT_EQ(defaultStoreURL(), expected);
    EXPECT_TRUE(
        std::filesystem::is_directory(dir.path() + "/data/brindle-engineering.Skyloom.direct"));

    auto container = openStore(expected);
    EXPECT_FALSE(container->isStoredInMemoryOnly());
    EXPECT_EQ(storeState(), StoreState::opened);
    EXPECT_FALSE(storeWasReset());
    EXPECT_TRUE(container->mainContext().fetchAll().empty());

    auto db = peek();
    EXPECT_EQ(db.execAndGet("PRAGMA application_id").getInt(), StoreSchema::applicationId);
    EXPECT_EQ(db.execAndGet("PRAGMA user_version").getInt(), 10000);
    EXPECT_EQ(db.execAndGet("PRAGMA journal_mode").getString(), "wal");
    EXPECT_EQ(db.execAndGet("SELECT value FROM meta WHERE key = 'schemaVersion'").getString(),
              "1.0.0");
}

TEST_F(ModelStoreTest, RecordsRoundTripWithAllEightFields) {
    const std::string nonUtf8 = "/tmp/caf\xe9/\xff\xfe";
    {
        auto container = ModelContainer::open(defaultStoreURL());
        auto& context = container->mainContext();
        auto defaults = std::make_shared<PinnedFolder>();
        defaults->setPinnedAt(-0.5);
        auto full = std::make_shared<PinnedFolder>(nonUtf8, Bytes{0, 1, 0xff}, -1234.0625,
                                                   INT64_MAX, 4'102'444'800.125);
        full->setIsMissing(true);
        full->setNeedsAccess(true);
        full->setIsLocked(true);
        auto emptyBookmark = std::make_shared<PinnedFolder>("/a", Bytes{}, 0.0, INT64_MIN, 1e-6);
        for (const auto& record : {defaults, full, emptyBookmark})
            context.insert(record);
        context.save();
    }
    auto container = ModelContainer::open(defaultStoreURL());
    auto records = container->mainContext().fetchAll();
    ASSERT_EQ(records.size(), 3u);

    const auto& low = *records[0]; // the empty bookmark, order INT64_MIN
    EXPECT_EQ(low.path(), "/a");
    ASSERT_TRUE(low.bookmark());
    EXPECT_TRUE(low.bookmark()->empty());
    EXPECT_EQ(low.originalAddedDate(), std::optional<Date>(0.0));
    EXPECT_EQ(low.pinnedAt(), 1e-6);

    const auto& defaults = *records[1];
    EXPECT_EQ(defaults.path(), "");
    EXPECT_FALSE(defaults.bookmark());
    EXPECT_FALSE(defaults.originalAddedDate());
    EXPECT_EQ(defaults.order(), 0);
    EXPECT_EQ(defaults.pinnedAt(), -0.5);
    EXPECT_FALSE(defaults.isMissing() || defaults.needsAccess() || defaults.isLocked());

    const auto& full = *records[2];
    EXPECT_EQ(full.path(), nonUtf8);
    EXPECT_EQ(full.bookmark(), std::optional<Bytes>(Bytes{0, 1, 0xff}));
    EXPECT_EQ(full.originalAddedDate(), std::optional<Date>(-1234.0625));
    EXPECT_EQ(full.order(), INT64_MAX);
    EXPECT_EQ(full.pinnedAt(), 4'102'444'800.125);
    EXPECT_TRUE(full.isMissing() && full.needsAccess() && full.isLocked());
}

TEST_F(ModelStoreTest, ContextKeepsOneObjectPerRecordAndTracksChanges) {
    auto container = ModelContainer::open(defaultStoreURL());
    auto& context = container->mainContext();
    std::vector<std::string> seen;
    context.changes().add([&](const ModelChange& change) {
        const char* kinds[] = {"inserted", "deleted", "updated"};
        seen.push_back(std::string(kinds[int(change.kind)]) + " " + change.record->path() +
                       (change.field ? " " + std::to_string(int(*change.field)) : ""));
    });

    auto a = makeRecord("/a", 0), b = makeRecord("/b", 1), twin = makeRecord("/a", 2);
    for (const auto& record : {a, b, twin})
        context.insert(record);
    ASSERT_TRUE(a->persistentIdentifier() && b->persistentIdentifier());
    EXPECT_NE(a->persistentIdentifier(), twin->persistentIdentifier());
    EXPECT_FALSE(sameRecord(*a, *twin)); // same path, two records
    EXPECT_EQ(context.fetchAll(), (std::vector<PinnedFolderPtr>{a, b, twin}));
    EXPECT_EQ(context.fetchAll()[0].get(), a.get());
    context.save();
    EXPECT_FALSE(context.hasChanges());

    // Reapplying equal values is no change: nothing to save, nothing written.
    auto watcher = peek();
    EXPECT_EQ(watcher.execAndGet("SELECT count(*) FROM PinnedFolder").getInt(), 3);
    auto version = watcher.execAndGet("PRAGMA data_version").getInt();
    a->setPath("/a");
    a->setIsLocked(false);
    EXPECT_FALSE(context.hasChanges());
    context.save();
    EXPECT_EQ(watcher.execAndGet("PRAGMA data_version").getInt(), version);

    seen.clear();
    b->setOrder(-1);
    EXPECT_EQ(context.fetchAll(), (std::vector<PinnedFolderPtr>{b, a, twin}));
    context.remove(twin);
    twin->setIsMissing(true); // a deleted record is no longer watched
    EXPECT_EQ(seen, (std::vector<std::string>{"updated /b 3", "deleted /a"}));
    EXPECT_EQ(context.fetchAll(), (std::vector<PinnedFolderPtr>{b, a}));
    context.save();

    auto twinIdentifier = *twin->persistentIdentifier();
    container.reset();
    container = ModelContainer::open(defaultStoreURL());
    auto& reopened = container->mainContext();
    auto records = reopened.fetchAll();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->order(), -1);
    EXPECT_EQ(records[0]->persistentIdentifier(), b->persistentIdentifier());
    EXPECT_EQ(std::hash<PinnedFolder>{}(*records[0]), std::hash<PinnedFolder>{}(*b));
    EXPECT_EQ(reopened.fetchAll(), records); // the same objects again
    // Identifiers of deleted records are never given out again.
    auto c = makeRecord("/c", 5);
    reopened.insert(c);
    EXPECT_GT(*c->persistentIdentifier(), twinIdentifier);
}

TEST_F(ModelStoreTest, FailedSaveWritesNothingAndKeepsTheChanges) {
    ModelContainer::Options options;
    options.busyTimeout = std::chrono::milliseconds(50);
    auto container = ModelContainer::open(defaultStoreURL(), options);
    auto& context = container->mainContext();
    context.insert(makeRecord("/a", 0));

    SQLite::Database writer(defaultStoreURL(), SQLite::OPEN_READWRITE);
    writer.exec("BEGIN IMMEDIATE");
    try {
        context.save();
        FAIL() << "save succeeded while another connection was writing";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.sqliteCode() & 0xff, SQLITE_BUSY);
    }
    EXPECT_TRUE(context.hasChanges());
    writer.exec("ROLLBACK");
    context.save();
    EXPECT_EQ(peek().execAndGet("SELECT count(*) FROM PinnedFolder").getInt(), 1);
}

TEST_F(ModelStoreTest, InMemoryContainerKeepsRecordsWithoutAFile) {
    auto container = ModelContainer::inMemory();
    EXPECT_TRUE(container->isStoredInMemoryOnly());
    auto& context = container->mainContext();
    auto a = makeRecord("/a", 3), b = makeRecord("/b", 1);
    context.insert(a);
    context.insert(b);
    context.save();
    EXPECT_FALSE(context.hasChanges());
    EXPECT_EQ(context.fetchAll(), (std::vector<PinnedFolderPtr>{b, a}));
}
