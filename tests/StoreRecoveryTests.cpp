// Opening the store from its place on disk: damaged files are moved aside
// whole and started anew; a busy or unreachable store is never moved; a
// killed writer never loses a saved record.

#include "core/ModelContainer.h"
#include "core/StoreRecovery.h"
#include "support/TempDir.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace skyloom;
namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The names in the store's folder that hold moved-aside files.
std::set<std::string> movedAsideNames(const std::string& storePath) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(storePath).parent_path()))
        if (entry.path().filename().string().find(".corrupt-") != std::string::npos)
            names.insert(entry.path().filename().string());
    return names;
}

// A store with records, its log folded in, so that it is one file.
void makeStore(const std::string& path, int records, std::size_t bookmarkSize = 8) {
    {
        auto container = ModelContainer::open(path);
        for (int i = 0; i < records; ++i)
            container->mainContext().insert(std::make_shared<PinnedFolder>(
                "/folder/" + std::to_string(i), Bytes(bookmarkSize, std::uint8_t(i)), 1.5 * i, i,
                1e9 + i));
        container->mainContext().save();
    }
    SQLite::Database(path, SQLite::OPEN_READWRITE).exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

class StoreRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override { StoreRecovery::resetForTesting(); }
    void TearDown() override { StoreRecovery::resetForTesting(); }

    std::string storeIn(const std::string& name) { return dir.makeFolder(name) + "/default.store"; }

    test::TempDir dir;
};

} // namespace

TEST_F(StoreRecoveryTest, DamagedStoresAreMovedAsideWholeUnderOneStamp) {
    auto withSql = [](const char* sql, bool onAStore) {
        return [=](const std::string& p) {
            if (onAStore)
                makeStore(p, 2);
            SQLite::Database(p, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE).exec(sql);
        };
    };
    auto withContent = [](std::string content) { return [=](auto& p) { writeFile(p, content); }; };
    const struct {
        const char* name;
        std::function<void(const std::string&)> damage;
        bool withCompanions;
    } cases[] = {
        {"garbage", withContent(std::string(8192, '\x5a')), true},
        {"truncated",
         [](auto& p) {
             makeStore(p, 300, 200);
             fs::resize_file(p, fs::file_size(p) / 2);
         },
         false},
        // SQLite would take an empty file for an empty database, but the
        // store is always created whole, so an empty one lost its content.
        {"empty", withContent(""), true},
        {"foreign", withSql("CREATE TABLE notes (body TEXT)", false), true},
        {"newer", withSql("PRAGMA user_version = 10001", true), true},
        {"alien tables", withSql("CREATE TABLE extra (x)", true), false},
        // What an interrupted recovery leaves: a log without its store.
        {"orphan log", [](auto& p) { writeFile(p + "-wal", std::string(4096, '\x03')); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StoreRecovery::resetForTesting();
        const std::string store = storeIn(c.name);
        c.damage(store);
        if (c.withCompanions) {
            writeFile(store + "-shm", std::string(32768, '\x01'));
            writeFile(store + "-wal", std::string(4096, '\x02'));
        }
        std::map<std::string, std::string> before;
        for (const char* suffix : {"", "-shm", "-wal"})
            if (fs::exists(store + suffix))
                before[suffix] = readFile(store + suffix);

        auto container = openStore(store);
        EXPECT_EQ(storeState(), StoreState::reset);
        EXPECT_TRUE(storeWasReset());
        // Exactly the files that were there, byte for byte, under one stamp.
        auto names = movedAsideNames(store);
        ASSERT_EQ(names.size(), before.size());
        const std::string stamp =
            names.begin()->substr(std::string("default.store.corrupt-").size(), 10);
        for (const auto& [suffix, bytes] : before) {
            std::string moved = store + ".corrupt-" + stamp + suffix;
            EXPECT_TRUE(fs::exists(moved) && readFile(moved) == bytes) << moved;
        }
        container.reset();
        EXPECT_NO_THROW(ModelContainer::open(store)); // the new store is sound
    }
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

TEST_F(StoreRecoveryTest, ABusyStoreIsNeverMovedAsideAndTheCallerCanTell) {
    // openStore waits out the default lock wait and busy timeout (2 s each).
    const std::string damaged = storeIn("held"), sound = storeIn("written");
    writeFile(damaged, "not a database at all");
    makeStore(sound, 3);
    auto expectBusy = [&](const std::string& store) {
        SCOPED_TRACE(store);
        StoreRecovery::resetForTesting();
        auto container = openStore(store); // runs in memory, and says why
        EXPECT_EQ(storeUnavailableReason(), StoreOpenError::Reason::busy);
        EXPECT_FALSE(storeWasReset());
        EXPECT_TRUE(movedAsideNames(store).empty());
    };
    // Locks are per open file, so a second holder in this process is as good
    // as another process. Another Skyloom owns the store: not even damaged
    // content is touched.
    auto held = StoreLock::acquire(damaged);
    expectBusy(damaged);
    EXPECT_EQ(readFile(damaged), "not a database at all");
    {
        // A program that ignores the lock file but keeps the database locked.
        SQLite::Database program(sound, SQLite::OPEN_READWRITE);
        program.exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM PinnedFolder");
        expectBusy(sound);
    }
    EXPECT_EQ(ModelContainer::open(sound)->mainContext().fetchAll().size(), 3u); // nothing lost
    EXPECT_EQ(storeUnavailableMessage(),
              "저장된 고정 목록을 열지 못해 임시 목록으로 시작했어요. 이번에 바꾼 내용은 종료하면 "
              "사라져요. 다른 Skyloom을 닫거나 저장 공간과 권한을 확인한 뒤 다시 실행해 주세요.");
}

TEST_F(StoreRecoveryTest, AStoreWithoutPermissionIsNeverMovedAside) {
    // A damaged store in a folder the user cannot write, and a sound store
    // (with its lock file) the user can only read, in a folder they can write.
    const std::string locked = storeIn("locked");
    writeFile(locked, std::string(4096, '\x04'));
    const std::string readOnly = dir.makeFolder("readonly", 0777) + "/default.store";
    makeStore(readOnly, 1);
    for (const auto& path : {readOnly, StoreLock::lockPath(readOnly)})
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);

    for (const auto& store : {locked, readOnly}) {
        SCOPED_TRACE(store);
        std::string bytes = readFile(store), why;
        int status = test::runAsNobody(
            [&] {
                StoreRecovery::resetForTesting();
                auto container = openStore(store);
                return int(storeUnavailableReason() != StoreOpenError::Reason::permission ||
                           storeWasReset());
            },
            why);
        if (status == -1)
            GTEST_SKIP() << why;
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(readFile(store) == bytes);
        EXPECT_TRUE(movedAsideNames(store).empty());
    }
}

TEST_F(StoreRecoveryTest, AKilledWriterNeverLosesASavedRecord) {
    const std::string store = storeIn("crash");
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 generator(seed);
    std::set<std::int64_t> saved;
    for (int round = 0; round < 40; ++round) {
        // A writer that saves one record after another and reports each saved
        // identifier, killed at a random moment.
        int ids[2];
        ASSERT_EQ(::pipe(ids), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
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

        std::set<std::int64_t> stored; // opening throws if the store was damaged
        for (const auto& record : ModelContainer::open(store)->mainContext().fetchAll())
            stored.insert(*record->persistentIdentifier());
        ASSERT_TRUE(std::includes(stored.begin(), stored.end(), saved.begin(), saved.end()))
            << "round " << round;
    }
}

TEST_F(StoreRecoveryTest, TheSharedContainerOpensOncePerProcess) {
    const std::string store = storeIn("shared");
    StoreRecovery::setSharedStorePath(store);
    ModelContainer& first = sharedModelContainer();
    EXPECT_EQ(&sharedModelContainer(), &first);
    EXPECT_EQ(first.storePath(), store);
    EXPECT_THROW(StoreRecovery::setSharedStorePath(store), std::logic_error);
}
