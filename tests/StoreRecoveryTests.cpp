// Opening the store from its place on disk: damaged files are moved aside
// whole and started anew; a busy or unreachable store is never moved; a
// killed writer never loses a saved record.

#include "core/ModelContainer.h"
#include "core/StoreRecovery.h"
#include "core/StoreSchema.h"
#include "support/TempDir.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
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

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = char(generator());
    return bytes;
}

// The names in the store's folder that hold moved-aside files.
std::set<std::string> movedAside(const std::string& storePath) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(storePath).parent_path()))
        if (entry.path().filename().string().find(".corrupt-") != std::string::npos)
            names.insert(entry.path().filename().string());
    return names;
}

void makeStore(const std::string& path, int records, std::size_t bookmarkSize = 8) {
    auto container = ModelContainer::open(path);
    for (int i = 0; i < records; ++i)
        container->mainContext().insert(std::make_shared<PinnedFolder>(
            "/folder/" + std::to_string(i), Bytes(bookmarkSize, std::uint8_t(i)), 1.5 * i, i,
            1e9 + i));
    container->mainContext().save();
}

class StoreRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override { StoreRecovery::resetForTesting(); }
    void TearDown() override { StoreRecovery::resetForTesting(); }

    std::string storeIn(const std::string& name) { return dir.makeFolder(name) + "/default.store"; }

    test::TempDir dir;
};

// Runs `hold` in a forked child that keeps what it took until killed.
class HoldingChild {
public:
    explicit HoldingChild(const std::function<void()>& hold) {
        int ready[2];
        if (::pipe(ready) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            try {
                hold();
            } catch (...) {
                ::_exit(3);
            }
            char byte = 1;
            if (::write(ready[1], &byte, 1) != 1)
                ::_exit(4);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char byte = 0;
        ready_ = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~HoldingChild() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    bool ready() const { return ready_; }

private:
    pid_t pid_;
    bool ready_ = false;
};

} // namespace

TEST_F(StoreRecoveryTest, DamagedStoresAreMovedAsideWholeUnderOneStamp) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> damage;
        bool withCompanions;
    };
    const std::vector<Case> cases{
        {"random", [](const std::string& p) { writeFile(p, randomBytes(8192, 1)); }, true},
        {"truncated",
         [](const std::string& p) {
             makeStore(p, 300, 200);
             fs::resize_file(p, fs::file_size(p) / 2);
         },
         false},
        // SQLite would take an empty file for an empty database, but the
        // store is always created whole, so an empty one lost its content.
        {"empty", [](const std::string& p) { writeFile(p, ""); }, true},
        {"foreign",
         [](const std::string& p) {
             SQLite::Database db(p, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
             db.exec("CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('hi')");
         },
         true},
        {"newer",
         [](const std::string& p) {
             makeStore(p, 2);
             SQLite::Database(p, SQLite::OPEN_READWRITE).exec("PRAGMA user_version = 10001");
         },
         true},
        {"alien tables",
         [](const std::string& p) {
             makeStore(p, 2);
             SQLite::Database(p, SQLite::OPEN_READWRITE).exec("CREATE TABLE extra (x)");
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StoreRecovery::resetForTesting();
        const std::string store = storeIn(c.name);
        c.damage(store);
        if (c.withCompanions) {
            writeFile(store + "-shm", randomBytes(32768, 2));
            writeFile(store + "-wal", randomBytes(4096, 3));
        }
        std::map<std::string, std::string> before;
        for (const char* suffix : {"", "-shm", "-wal"})
            if (fs::exists(store + suffix))
                before[suffix] = readFile(store + suffix);

        auto container = openStore(store);
        EXPECT_EQ(storeState(), StoreState::reset);
        EXPECT_TRUE(storeWasReset());
        EXPECT_FALSE(container->isStoredInMemoryOnly());
        EXPECT_TRUE(container->mainContext().fetchAll().empty());

        auto names = movedAside(store);
        ASSERT_EQ(names.size(), before.size());
        const std::string stamp =
            names.begin()->substr(std::string("default.store.corrupt-").size(), 10);
        for (const auto& [suffix, bytes] : before) {
            std::string moved = store + ".corrupt-" + stamp + suffix;
            ASSERT_TRUE(fs::exists(moved)) << moved;
            EXPECT_TRUE(readFile(moved) == bytes) << moved;
        }
        container.reset();
        EXPECT_NO_THROW(ModelContainer::open(store)); // the new store is sound
    }
}

TEST_F(StoreRecoveryTest, CompanionsWithoutTheirStoreAreMovedAsideToo) {
    const std::string store = storeIn("orphans");
    writeFile(store + "-wal", randomBytes(4096, 4));
    auto container = openStore(store);
    EXPECT_EQ(storeState(), StoreState::reset);
    auto names = movedAside(store);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names.begin()->substr(names.begin()->size() - 4), "-wal");
    EXPECT_TRUE(fs::exists(store));
}

TEST_F(StoreRecoveryTest, MovingAsideNeverOverwritesAnEarlierMovedAsideFile) {
    const std::string store = storeIn("twice");
    auto now = std::int64_t(::time(nullptr));
    // Names already taken at this second and the next.
    writeFile(store + ".corrupt-" + std::to_string(now) + "-wal", "old wal");
    writeFile(store + ".corrupt-" + std::to_string(now + 1), "old store");

    writeFile(store, "first");
    writeFile(store + "-shm", "first shm");
    auto first = StoreRecovery::moveAside(store);
    writeFile(store, "second");
    auto second = StoreRecovery::moveAside(store); // within the same second, usually

    EXPECT_GT(first, now + 1);
    EXPECT_NE(first, second);
    const std::string base = store + ".corrupt-";
    EXPECT_EQ(readFile(base + std::to_string(now) + "-wal"), "old wal");
    EXPECT_EQ(readFile(base + std::to_string(now + 1)), "old store");
    EXPECT_EQ(readFile(base + std::to_string(first)), "first");
    EXPECT_EQ(readFile(base + std::to_string(first) + "-shm"), "first shm");
    EXPECT_EQ(readFile(base + std::to_string(second)), "second");
    EXPECT_FALSE(fs::exists(base + std::to_string(second) + "-shm"));
    EXPECT_FALSE(fs::exists(store));
}

TEST_F(StoreRecoveryTest, AStoreHeldByAnotherProcessIsNeverMovedAside) {
    const std::string store = storeIn("busy");
    makeStore(store, 3);
    auto check = [&](const char* what) {
        SCOPED_TRACE(what);
        StoreRecovery::resetForTesting();
        auto container = openStore(store);
        EXPECT_TRUE(container->isStoredInMemoryOnly());
        EXPECT_EQ(storeState(), StoreState::unavailable);
        EXPECT_EQ(storeUnavailableReason(), StoreOpenError::Reason::busy);
        EXPECT_FALSE(storeWasReset());
        EXPECT_TRUE(movedAside(store).empty());
    };
    {
        HoldingChild child([&] { static auto held = ModelContainer::open(store); });
        ASSERT_TRUE(child.ready());
        check("another Skyloom owns the store");
    }
    {
        // A program that ignores the lock file but keeps the database locked.
        HoldingChild child([&] {
            static SQLite::Database db(store, SQLite::OPEN_READWRITE);
            db.exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM PinnedFolder");
        });
        ASSERT_TRUE(child.ready());
        check("another program writes the database");
    }
    const std::string damaged = storeIn("busy-damaged");
    writeFile(damaged, "not a database at all");
    {
        HoldingChild child([&] { static auto held = StoreLock::acquire(damaged); });
        ASSERT_TRUE(child.ready());
        auto container = openStore(damaged);
        EXPECT_EQ(storeState(), StoreState::unavailable);
        EXPECT_EQ(readFile(damaged), "not a database at all");
        EXPECT_TRUE(movedAside(damaged).empty());
    }
    EXPECT_EQ(storeUnavailableMessage(),
              "저장된 고정 목록을 열지 못해 임시 목록으로 시작했어요. 이번에 바꾼 내용은 종료하면 "
              "사라져요. 다른 Skyloom을 닫거나 저장 공간과 권한을 확인한 뒤 다시 실행해 주세요.");
    auto reopened = ModelContainer::open(store);
    EXPECT_EQ(reopened->mainContext().fetchAll().size(), 3u); // nothing lost
}

TEST_F(StoreRecoveryTest, AStoreWithoutPermissionIsNeverMovedAside) {
    // A damaged store in a folder the user cannot write, and a sound store
    // the user cannot write in a folder they can.
    const std::string locked = storeIn("locked");
    writeFile(locked, randomBytes(4096, 5));
    const std::string readOnly = dir.makeFolder("readonly", 0777) + "/default.store";
    makeStore(readOnly, 1);
    ::chmod(readOnly.c_str(), 0644);

    for (const auto& store : {locked, readOnly}) {
        SCOPED_TRACE(store);
        std::string bytes = readFile(store), why;
        int status = test::runAsNobody(
            [&] {
                StoreRecovery::resetForTesting();
                auto container = openStore(store);
                bool ok = container->isStoredInMemoryOnly() &&
                          storeUnavailableReason() == StoreOpenError::Reason::permission &&
                          !storeWasReset();
                return ok ? 0 : 1;
            },
            why);
        if (status == -1)
            GTEST_SKIP() << why;
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(readFile(store) == bytes);
        EXPECT_TRUE(movedAside(store).empty());
    }
}

TEST_F(StoreRecoveryTest, AKilledWriterNeverLosesASavedRecord) {
    const std::string store = storeIn("crash");
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 generator(seed);
    std::set<std::int64_t> saved;
    for (int round = 0; round < 40; ++round) {
        int ids[2];
        ASSERT_EQ(::pipe(ids), 0);
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(ids[0]);
            try {
                auto container = ModelContainer::open(store);
                auto& context = container->mainContext();
                for (std::int64_t i = 0;; ++i) {
                    auto record = std::make_shared<PinnedFolder>(
                        "/pin/" + std::to_string(i), Bytes(64, 7), std::nullopt, i, 1e9);
                    context.insert(record);
                    context.save();
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
        std::int64_t id;
        while (::read(ids[0], &id, sizeof id) == sizeof id)
            saved.insert(id);
        ::close(ids[0]);

        auto container = ModelContainer::open(store); // throws if damaged
        std::set<std::int64_t> stored;
        for (const auto& record : container->mainContext().fetchAll())
            stored.insert(*record->persistentIdentifier());
        ASSERT_TRUE(std::includes(stored.begin(), stored.end(), saved.begin(), saved.end()))
            << "round " << round;
    }
    EXPECT_TRUE(movedAside(store).empty());
}

TEST_F(StoreRecoveryTest, TheSharedContainerOpensOncePerProcess) {
    const std::string store = storeIn("shared");
    StoreRecovery::setSharedStorePath(store);
    ModelContainer& first = sharedModelContainer();
    EXPECT_EQ(&sharedModelContainer(), &first);
    EXPECT_EQ(first.storePath(), store);
    EXPECT_THROW(StoreRecovery::setSharedStorePath(store), std::logic_error);
}
