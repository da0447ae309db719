#include "core/store/ModelContainer.h"
#include "core/store/StoreRecovery.h"
#include "support/TempDir.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace skyloom;
namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

namespace {

// The store's files under `prefix` that exist, with their bytes, by suffix.
std::map<std::string, std::string> storeFiles(const std::string& prefix) {
    std::map<std::string, std::string> files;
    for (const char* suffix : {"", "-shm", "-wal"})
        if (fs::exists(prefix + suffix))
            files[suffix] = readFile(prefix + suffix);
    return files;
}

// A store with records, then `sql` run on it by a plain connection, its log
// folded in, so that it is one file.
void makeStore(const std::string& path, int records, const std::string& sql = "") {
    {
        auto container = ModelContainer::open(path);
        for (int i = 0; i < records; ++i)
            container->mainContext().insert(std::make_shared<PinnedFolder>(
                "/folder/" + std::to_string(i), Bytes(8, std::uint8_t(i)), 1.5 * i, i, 1e9 + i));
        container->mainContext().save();
    }
    SQLite::Database(path, SQLite::OPEN_READWRITE).exec(sql + "; PRAGMA wal_checkpoint(TRUNCATE)");
}

class StoreRecoveryTest : public ::testing::Test {
protected:
    std::string storeIn(const std::string& name) { return dir.makeFolder(name) + "/default.store"; }

    // Whether opening `store` ran in memory for `reason`, leaving every file as it was.
    bool leftAlone(const std::string& store, StoreOpenError::Reason reason,
                   std::chrono::milliseconds wait = StoreLock::defaultWait) {
        StoreRecovery::resetForTesting();
        const auto before = storeFiles(store);
        auto container = openStore(store, wait);
        bool asideNone = true;
        for (const auto& entry : fs::directory_iterator(fs::path(store).parent_path()))
            asideNone &= entry.path().string().find(".corrupt-") == std::string::npos;
        return container->isStoredInMemoryOnly() && !storeWasReset() &&
               storeUnavailableReason() == reason && storeFiles(store) == before && asideNone;
    }

    test::TempDir dir;
};

} // namespace

TEST_F(StoreRecoveryTest, DamagedStoresAreMovedAsideWholeUnderOneStamp) {
    auto expectMovedAside = [&](const char* name, auto damage, bool withCompanions = true) {
        SCOPED_TRACE(name);
        StoreRecovery::resetForTesting();
        const std::string store = storeIn(name);
        damage(store);
        if (withCompanions) {
            writeFile(store + "-shm", std::string(32768, '\x01'));
            writeFile(store + "-wal", std::string(4096, '\x02'));
        }
        const auto before = storeFiles(store);

        auto container = openStore(store);
        EXPECT_EQ(storeState(), StoreState::reset);
        EXPECT_TRUE(storeWasReset());
        // Exactly the files that were there, byte for byte, under one stamp.
        std::set<std::string> stamped;
        for (const auto& entry : fs::directory_iterator(fs::path(store).parent_path()))
            if (auto name = entry.path().string(); name.find(".corrupt-") != std::string::npos)
                stamped.insert(name.substr(0, store.size() + 19)); // ".corrupt-" and 10 digits
        ASSERT_EQ(stamped.size(), 1u);
        EXPECT_TRUE(storeFiles(*stamped.begin()) == before) << *stamped.begin();
    };
    expectMovedAside("garbage", [](auto& p) { writeFile(p, std::string(8192, '\x5a')); });
    // SQLite would take an empty file for an empty database, but the store is
    // always created whole, so an empty one lost its content.
    expectMovedAside("empty", [](auto& p) { writeFile(p, ""); });
    expectMovedAside("foreign", [](auto& p) { makeStore(p, 1, "PRAGMA application_id = 7"); });
    // Found only once SQLite has opened the file, which makes companions of its own.
    expectMovedAside(
        "alien tables", [](auto& p) { makeStore(p, 1, "CREATE TABLE x (y)"); }, false);
    // What an interrupted recovery leaves: a log (and its index) without its store.
    expectMovedAside("orphan log", [](auto&) {});
}

// A store a newer Skyloom wrote, one that fails for a reason not known to
// mean damage, or one another program holds, is left exactly as it is.
TEST_F(StoreRecoveryTest, StoresThatMayStillBeGoodAreLeftAlone) {
    using Reason = StoreOpenError::Reason;
    const std::string newer = storeIn("newer");
    makeStore(newer, 2, "PRAGMA user_version = 10001");
    EXPECT_TRUE(leftAlone(newer, Reason::newerSchema));
    // A schema format number that only a later SQLite knows.
    const std::string later = storeIn("later format");
    makeStore(later, 2);
    std::string bytes = readFile(later);
    bytes[47] = 9;
    writeFile(later, bytes);
    EXPECT_TRUE(leftAlone(later, Reason::unknown));

    // Locks are per open file, so a second holder in this process is as good
    // as another process. Another Skyloom owns the store: not even damaged
    // content is touched.
    const std::string damaged = storeIn("held"), sound = storeIn("written");
    writeFile(damaged, "not a database at all");
    auto held = StoreLock::acquire(damaged);
    EXPECT_TRUE(leftAlone(damaged, Reason::busy, std::chrono::milliseconds(300)));
    makeStore(sound, 3);
    {
        // A program that ignores the lock file but keeps the database locked.
        SQLite::Database program(sound, SQLite::OPEN_READWRITE);
        program.exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM PinnedFolder");
        EXPECT_TRUE(leftAlone(sound, Reason::busy, std::chrono::milliseconds(300)));
    }
    EXPECT_EQ(ModelContainer::open(sound)->mainContext().fetchAll().size(), 3u); // nothing lost
}

TEST_F(StoreRecoveryTest, MovingAsideNeverOverwritesAnEarlierMovedAsideFile) {
    const std::string store = storeIn("twice");
    const auto now = std::int64_t(::time(nullptr));
    auto aside = [&](std::int64_t stamp, const char* suffix = "") {
        return store + ".corrupt-" + std::to_string(stamp) + suffix;
    };
    // Names already taken at this second and the next.
    writeFile(aside(now, "-wal"), "old wal");
    writeFile(aside(now + 1), "old store");

    writeFile(store, "first");
    writeFile(store + "-shm", "first shm");
    const auto first = StoreRecovery::moveAside(store);
    writeFile(store, "second");
    const auto second = StoreRecovery::moveAside(store); // within the same second, usually

    EXPECT_GT(first, now + 1);
    EXPECT_EQ(readFile(aside(now, "-wal")), "old wal");
    EXPECT_EQ(readFile(aside(now + 1)), "old store");
    EXPECT_EQ(readFile(aside(first)), "first");
    EXPECT_EQ(readFile(aside(first, "-shm")), "first shm");
    EXPECT_EQ(readFile(aside(second)), "second");
    EXPECT_FALSE(fs::exists(aside(second, "-shm")) || fs::exists(store));
}

// Another process holds the store for a while, through its lock file and
// then the database itself: the opener waits and opens the real store, never
// a stand-in in memory.
TEST_F(StoreRecoveryTest, AStoreHeldForAWhileIsWaitedForAndOpened) {
    const std::string store = storeIn("held");
    makeStore(store, 3);
    int ready[2], released[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(released), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        auto lock = StoreLock::acquire(store);
        SQLite::Database program(store, SQLite::OPEN_READWRITE);
        program.exec("BEGIN EXCLUSIVE");
        (void)!::write(ready[1], "r", 1);
        ::usleep(300'000); // what a command line takes, at most seconds
        lock.reset();
        ::usleep(300'000); // the database stays held a while after the lock goes
        (void)!::write(released[1], "r", 1);
        program.exec("ROLLBACK");
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(released[1]);
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);

    StoreRecovery::resetForTesting();
    int told = 0;
    auto container = openStore(store, StoreLock::defaultWait, [&] { ++told; });
    EXPECT_FALSE(container->isStoredInMemoryOnly());
    EXPECT_EQ(storeState(), StoreState::opened);
    EXPECT_EQ(container->mainContext().fetchAll().size(), 3u);
    ::fcntl(released[0], F_SETFL, O_NONBLOCK);
    EXPECT_EQ(::read(released[0], &byte, 1), 1) << "opened before the other process let go";
    EXPECT_LE(told, 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(ready[0]);
    ::close(released[0]);
}

TEST_F(StoreRecoveryTest, AKilledWriterNeverLosesASavedRecord) {
    const std::string store = storeIn("crash");
    std::mt19937 generator(std::random_device{}());
    std::set<std::int64_t> saved;
    for (int round = 0; round < 40; ++round) {
        // A writer that saves record after record, reports each saved
        // identifier, and is killed at a random moment.
        int ids[2];
        ASSERT_EQ(::pipe(ids), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            try {
                auto container = ModelContainer::open(store);
                for (std::int64_t i = 0;; ++i) {
                    auto record = std::make_shared<PinnedFolder>(
                        "/pin/" + std::to_string(i), Bytes(64, 7), std::nullopt, i, 1e9);
                    container->mainContext().insert(record);
                    container->mainContext().save();
                    std::int64_t id = *record->persistentIdentifier();
                    if (::write(ids[1], &id, sizeof id) != sizeof id)
                        ::_exit(4);
                }
            } catch (...) {
                ::_exit(3);
            }
        }
        ::close(ids[1]);
        ::usleep(std::uniform_int_distribution<int>(0, 30'000)(generator));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
        for (std::int64_t id; ::read(ids[0], &id, sizeof id) == sizeof id;)
            saved.insert(id);
        ::close(ids[0]);
        // The file alone holds every saved record, whatever becomes of the
        // files beside it.
        for (const char* suffix : {"-journal", "-wal", "-shm"})
            fs::remove(store + suffix);
        std::set<std::int64_t> stored; // opening throws if the store was damaged
        for (const auto& record : ModelContainer::open(store)->mainContext().fetchAll())
            stored.insert(*record->persistentIdentifier());
        ASSERT_TRUE(std::includes(stored.begin(), stored.end(), saved.begin(), saved.end()))
            << "round " << round;
    }
}

// A store from before, whose log kept its index in a "-shm" file and holds
// records of its own, opens with every record: the leftover index goes, the
// log is folded in, and the file alone holds every record. An older Skyloom
// that reopens the store sets its rollback journal again; the next opening
// switches back and removes the journal it left.
TEST_F(StoreRecoveryTest, AStoreFromBeforeIsFoldedIntoItsFileAndSwitched) {
    const std::string store = storeIn("wal");
    makeStore(store, 3);
    {
        SQLite::Database old(store, SQLite::OPEN_READWRITE);
        sqlite3_db_config(old.getHandle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        old.exec("PRAGMA journal_mode = WAL");
        old.exec(R"(INSERT INTO PinnedFolder (path, "order", pinnedAt) VALUES ('/in/log', 9, 1))");
    }
    ASSERT_GT(fs::file_size(store + "-wal"), 0u);
    ASSERT_TRUE(fs::exists(store + "-shm"));
    EXPECT_EQ(ModelContainer::open(store)->mainContext().fetchAll().size(), 4u);
    EXPECT_FALSE(fs::exists(store + "-shm"));
    EXPECT_EQ(fs::file_size(store + "-wal"), 0u);

    const std::string copy = storeIn("copy");
    fs::copy_file(store, copy);
    auto records = ModelContainer::open(copy)->mainContext().fetchAll();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records.back()->path(), "/in/log");

    {
        SQLite::Database older(store, SQLite::OPEN_READWRITE);
        ASSERT_EQ(older.execAndGet("PRAGMA journal_mode = TRUNCATE").getString(), "truncate");
        older.exec(
            R"(INSERT INTO PinnedFolder (path, "order", pinnedAt) VALUES ('/older', 10, 1))");
    }
    ASSERT_EQ(readFile(store).at(18), 1); // rollback-journal file format
    ASSERT_TRUE(fs::exists(store + "-journal"));
    EXPECT_EQ(ModelContainer::open(store)->mainContext().fetchAll().size(), 5u);
    EXPECT_EQ(readFile(store).at(18), 2); // write-ahead-log file format
    EXPECT_FALSE(fs::exists(store + "-journal"));
}
