// The model store on a real file: opening and fetching 10,000 records,
// saving 10,000 inserts or changes in one transaction, the cost of one
// small save under synchronous FULL and NORMAL, what folding the log into
// the store file at the end of an operation adds to it (nothing now),
// finding one folder's record by its path or by its identity, and what the
// command line does with the store for one folder, at 10 and 10,000 records.

#include "core/engine/Bookmark.h"
#include "core/engine/PinService.h"
#include "core/store/ModelContainer.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

using namespace skyloom;
namespace fs = std::filesystem;

namespace {

constexpr int recordCount = 10'000;

class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "skyloom-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
    }
    ~Scratch() { fs::remove_all(dir_); }
    std::string store() const { return dir_ + "/default.store"; }
    void clear() const {
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(store() + suffix);
    }

private:
    std::string dir_;
};

void insertRecords(ModelContext& context, int count) {
    for (int i = 0; i < count; ++i)
        context.insert(std::make_shared<PinnedFolder>(
            "/home/user/Projects/folder-" + std::to_string(i), Bytes(120, std::uint8_t(i)),
            1.7e9 + i, i, 1.7e9 + i * 0.5));
}

ModelContainer::Options withSync(ModelContainer::Options::Synchronous synchronous) {
    ModelContainer::Options options;
    options.synchronous = synchronous;
    return options;
}

void BM_InsertAndSave(benchmark::State& state) {
    Scratch scratch;
    for (auto _ : state) {
        state.PauseTiming();
        scratch.clear();
        state.ResumeTiming();
        auto container = ModelContainer::open(scratch.store());
        insertRecords(container->mainContext(), recordCount);
        container->mainContext().save();
    }
}
BENCHMARK(BM_InsertAndSave)->Unit(benchmark::kMillisecond);

void BM_OpenAndFetch(benchmark::State& state) {
    Scratch scratch;
    {
        auto container = ModelContainer::open(scratch.store());
        insertRecords(container->mainContext(), recordCount);
        container->mainContext().save();
    }
    for (auto _ : state) {
        auto container = ModelContainer::open(scratch.store());
        benchmark::DoNotOptimize(container->mainContext().fetchAll());
    }
}
BENCHMARK(BM_OpenAndFetch)->Unit(benchmark::kMillisecond);

// Open, fetch, change every record, save: the heaviest pass the pin store makes.
void BM_OpenFetchChangeAllAndSave(benchmark::State& state) {
    Scratch scratch;
    {
        auto container = ModelContainer::open(scratch.store());
        insertRecords(container->mainContext(), recordCount);
        container->mainContext().save();
    }
    bool missing = false;
    for (auto _ : state) {
        missing = !missing;
        auto container = ModelContainer::open(scratch.store());
        for (const auto& record : container->mainContext().fetchAll())
            record->setIsMissing(missing);
        container->mainContext().save();
    }
}
BENCHMARK(BM_OpenFetchChangeAllAndSave)->Unit(benchmark::kMillisecond);

// Fetching again is served from memory; this is what each folder of an
// "add" costs.
void BM_FetchFromMemory(benchmark::State& state) {
    auto container = ModelContainer::inMemory();
    insertRecords(container->mainContext(), recordCount);
    for (auto _ : state)
        benchmark::DoNotOptimize(container->mainContext().fetchAll());
}
BENCHMARK(BM_FetchFromMemory)->Unit(benchmark::kMicrosecond);

// One changed record per save, as a single pin or unpin makes. Argument 1
// is synchronous FULL, 0 NORMAL.
void BM_SaveOneChange(benchmark::State& state) {
    Scratch scratch;
    auto sync = state.range(0) ? ModelContainer::Options::Synchronous::full
                               : ModelContainer::Options::Synchronous::normal;
    auto container = ModelContainer::open(scratch.store(), withSync(sync));
    insertRecords(container->mainContext(), 100);
    container->mainContext().save();
    auto record = container->mainContext().fetchAll().front();
    std::int64_t order = 0;
    for (auto _ : state) {
        record->setOrder(--order);
        container->mainContext().save();
    }
    state.SetLabel(state.range(0) ? "synchronous=FULL" : "synchronous=NORMAL");
}
BENCHMARK(BM_SaveOneChange)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// One changed record, saved and then folded into the store file, as every
// pin store operation ends; the argument is the number of records stored.
// The save itself folds its commit into the store file; the later call
// finds nothing left to fold.
void BM_SaveOneChangeAndCheckpoint(benchmark::State& state) {
    Scratch scratch;
    auto container = ModelContainer::open(scratch.store());
    insertRecords(container->mainContext(), int(state.range(0)));
    container->mainContext().save();
    container->mainContext().checkpoint();
    auto record = container->mainContext().fetchAll().front();
    bool missing = false;
    for (auto _ : state) {
        record->setIsMissing(missing = !missing);
        container->mainContext().save();
        container->mainContext().checkpoint();
    }
}
BENCHMARK(BM_SaveOneChangeAndCheckpoint)->Arg(100)->Arg(recordCount)->Unit(benchmark::kMicrosecond);

// Finding the record of one folder among `range(0)` records: by comparing
// every stored path, as before, and by the folder's identity.
void storeIdentified(ModelContext& context, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string path = "/home/user/Projects/folder-" + std::to_string(i);
        context.insert(std::make_shared<PinnedFolder>(
            path,
            Bookmark::encode({64769, std::uint64_t(1000 + i), TimeSpec{1'700'000'000, i}, {}},
                             path),
            1.7e9, i, 1.7e9));
    }
}

void BM_FindByPathScan(benchmark::State& state) {
    auto container = ModelContainer::inMemory();
    const int count = int(state.range(0));
    storeIdentified(container->mainContext(), count);
    const std::string wanted = "/home/user/Projects/folder-" + std::to_string(count / 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            PinService::matchingPin(container->mainContext().fetchAll(), wanted));
}
BENCHMARK(BM_FindByPathScan)->Arg(10)->Arg(recordCount)->Unit(benchmark::kMicrosecond);

void BM_FindByIdentity(benchmark::State& state) {
    auto container = ModelContainer::inMemory();
    const int count = int(state.range(0));
    storeIdentified(container->mainContext(), count);
    const platform::FolderIdentity wanted{
        64769, std::uint64_t(1000 + count / 2), TimeSpec{1'700'000'000, count / 2}, {}};
    for (auto _ : state)
        benchmark::DoNotOptimize(container->mainContext().fetchByIdentity(wanted));
}
BENCHMARK(BM_FindByIdentity)->Arg(10)->Arg(recordCount)->Unit(benchmark::kMicrosecond);

// What the command line does with the store for one folder, from opening
// to closing: find the folder's record by its identity, take the next order,
// insert and save, then delete and save again (a pin and its unpin), so the
// store keeps `range(0)` records.
void BM_OpenPinAndUnpinOne(benchmark::State& state) {
    Scratch scratch;
    const int count = int(state.range(0));
    {
        auto container = ModelContainer::open(scratch.store());
        storeIdentified(container->mainContext(), count);
        container->mainContext().save();
    }
    std::uint64_t inode = 1'000'000;
    for (auto _ : state) {
        auto container = ModelContainer::open(scratch.store());
        auto& context = container->mainContext();
        const platform::FolderIdentity wanted{64769, ++inode, TimeSpec{1'700'000'000, 0}, {}};
        if (!context.fetchByIdentity(wanted).empty())
            state.SkipWithError("a new folder was found among the records");
        const std::string path = "/home/user/new-" + std::to_string(inode);
        auto record =
            std::make_shared<PinnedFolder>(path, Bookmark::encode(wanted, path), 1.7e9,
                                           context.highestOrder().value_or(-1) + 1, 1.7e9);
        context.insert(record);
        context.save();
        context.remove(record);
        context.save();
    }
}
BENCHMARK(BM_OpenPinAndUnpinOne)->Arg(10)->Arg(recordCount)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
