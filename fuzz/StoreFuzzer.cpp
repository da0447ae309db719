// Writes each input as the store file and opens it the way the app does.
// Whatever the bytes, opening never crashes and ends with the store opened,
// with the input moved aside unchanged and a new store opened, or, for a
// store a newer Skyloom (or SQLite) may have written, with the input left
// exactly as it was and the process on the in-memory store.

#include "core/store/ModelContainer.h"
#include "core/store/StoreRecovery.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using namespace skyloom;
namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "StoreFuzzer: %s\n", what);
    std::abort();
}

// A private folder, on tmpfs where there is one: creating a new store syncs.
// Kept for the whole run (never destroyed) and removed at exit.
const std::string& workspace() {
    static const std::string* dir = [] {
        std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = base + "/skyloom-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            fail("mkdtemp failed");
        return new std::string(pattern);
    }();
    static const bool removedAtExit = [] {
        std::atexit([] { fs::remove_all(*dir); });
        return true;
    }();
    (void)removedAtExit;
    return *dir;
}

// The lock file goes too: its note of how the last store was closed could
// match an input written at once on a reused inode, and skip the check.
void clear(const std::string& dir) {
    for (const auto& entry : fs::directory_iterator(dir))
        fs::remove(entry.path());
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A sound store with a few records, so the fuzzer starts from the real format.
void writeSeed(const std::string& seedDir) {
    if (!fs::is_directory(seedDir) || !fs::is_empty(seedDir))
        return;
    const std::string store = workspace() + "/default.store";
    {
        auto container = ModelContainer::open(store);
        auto& context = container->mainContext();
        context.insert(std::make_shared<PinnedFolder>("/home/a", Bytes{1, 2, 3}, 1.5, 0, 4e9));
        context.insert(
            std::make_shared<PinnedFolder>("/home/b", std::nullopt, std::nullopt, 1, -2.25));
        context.save();
    }
    std::ofstream(seedDir + "/sound.store", std::ios::binary) << readFile(store);
    clear(workspace());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* seedDir = std::getenv("SKYLOOM_FUZZ_SEED_DIR"))
        writeSeed(seedDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = workspace();
    const std::string store = dir + "/default.store";
    clear(dir);
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::ofstream(store, std::ios::binary) << input;

    StoreRecovery::resetForTesting();
    auto container = openStore(store);
    switch (storeState()) {
    case StoreState::opened:
        break;
    case StoreState::reset: {
        const fs::path moved = [&] {
            for (const auto& entry : fs::directory_iterator(dir))
                if (entry.path().filename().string().starts_with("default.store.corrupt-"))
                    return entry.path();
            fail("nothing was moved aside");
        }();
        if (readFile(moved) != input)
            fail("the moved-aside store lost bytes");
        break;
    }
    case StoreState::unavailable: {
        auto reason = storeUnavailableReason();
        if (reason != StoreOpenError::Reason::newerSchema &&
            reason != StoreOpenError::Reason::unknown)
            fail("content was taken for an unreachable store");
        if (readFile(store) != input)
            fail("a store left alone was changed");
        return 0;
    }
    }
    if (container->isStoredInMemoryOnly())
        fail("running in memory");

    // The opened store must also take a write.
    auto& context = container->mainContext();
    auto records = context.fetchAll();
    context.insert(std::make_shared<PinnedFolder>(
        "/new", std::nullopt, std::nullopt, records.empty() ? 0 : records.back()->order(), 0.0));
    if (!records.empty())
        records.front()->setIsLocked(!records.front()->isLocked());
    try {
        context.save();
    } catch (const StoreError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        fail("an opened store refused a save");
    }
    return 0;
}
