// Timed driver: re-applying 10,000 intact pins, and adding 1,000 folders in
// one call, on real folders and a real store file; then the cost of pinning
// and unpinning one folder, and removing one by the remove command, in a
// store of 10 pins against one of 10,000: as the command line holds the
// store (records read when asked for) and as the app does (every record
// read at its start for the views).
// Usage: PinStoreBench [intact pins] [added folders] [rounds per size]

#include "core/command/CommandHandler.h"
#include "core/engine/Bookmark.h"
#include "core/engine/FileSystemAddedDate.h"
#include "core/store/ModelContainer.h"
#include "core/store/PinStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace skyloom;
namespace fs = std::filesystem;

namespace {

// Counts writes so that the run can show an intact pin is never written.
class CountingDates final : public AddedDateAccessing {
public:
    mutable long writes = 0;
    Date readAddedDate(const std::string& path) const override { return real_.readAddedDate(path); }
    bool identityGivesAddedDate() const override { return real_.identityGivesAddedDate(); }
    void writeAddedDate(Date date, const std::string& path) const override {
        ++writes;
        real_.writeAddedDate(date, path);
    }

private:
    FileSystemAddedDate real_;
};

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::vector<std::string> makeFolders(const fs::path& root, const char* prefix, int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        auto path = root / (std::string(prefix) + std::to_string(i));
        fs::create_directories(path);
        paths.push_back(path.string());
    }
    return paths;
}

std::uintmax_t fileSize(const std::string& path) {
    std::error_code error;
    auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

// A real store file and the real file system, with writes counted.
struct Setup {
    explicit Setup(const std::string& storePath)
        : dates(std::make_shared<CountingDates>()), container(ModelContainer::open(storePath)),
          store(container->mainContext(),
                PinService(dates, std::make_shared<FileManager>(), readFolderTraits),
                std::make_shared<HeadlessDesktop>()) {}

    std::shared_ptr<CountingDates> dates;
    std::unique_ptr<ModelContainer> container;
    PinStore store;
};

double processorSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct PerPin {
    double pin = 0, unpin = 0, pinCpu = 0, unpinCpu = 0, remove = 0, removeCpu = 0;
};

// A store that already holds `existing` pins of real folders (written
// straight into the store, one save), then `rounds` times: pin one new
// folder, unpin it again; pin it once more and remove it with the command.
// The store is opened afresh first, and with `readsEveryRecord` every record
// is read before the rounds, as the app does. Medians of wall-clock and
// processor time.
PerPin perPinCost(const fs::path& root, int existing, int rounds, bool readsEveryRecord) {
    const std::string storePath = (root / "default.store").string();
    if (!fs::exists(storePath)) {
        fs::create_directories(root);
        Setup filling(storePath);
        auto& context = filling.container->mainContext();
        std::int64_t order = 0;
        for (const auto& path : makeFolders(root / "kept", "pin-", existing))
            context.insert(
                std::make_shared<PinnedFolder>(path, Bookmark::make(path), 1.7e9, order++, 1.7e9));
        context.save();
    }
    Setup setup(storePath);
    if (readsEveryRecord && setup.store.fetchPins().size() != std::size_t(existing))
        std::printf("  the store does not hold %d pins\n", existing);
    CommandHandler handler(setup.store);
    std::vector<double> pins, unpins, pinCpu, unpinCpu, removes, removeCpu;
    const char* probe = readsEveryRecord ? "probe-whole-" : "probe-";
    for (const auto& folder : makeFolders(root / "probe", probe, rounds)) {
        auto start = std::chrono::steady_clock::now();
        double cpu = processorSeconds();
        setup.store.add({folder});
        pinCpu.push_back(processorSeconds() - cpu);
        pins.push_back(seconds(std::chrono::steady_clock::now() - start));
        start = std::chrono::steady_clock::now();
        cpu = processorSeconds();
        setup.store.unpin({folder});
        unpinCpu.push_back(processorSeconds() - cpu);
        unpins.push_back(seconds(std::chrono::steady_clock::now() - start));
        if (setup.store.errorMessage())
            std::printf("  error: %s\n", setup.store.errorMessage()->c_str());
        setup.store.add({folder});
        const auto command = CommandHandler::parse({"remove", folder});
        start = std::chrono::steady_clock::now();
        cpu = processorSeconds();
        const auto result = handler.run(command);
        removeCpu.push_back(processorSeconds() - cpu);
        removes.push_back(seconds(std::chrono::steady_clock::now() - start));
        if (result.exitStatus != 0)
            std::printf("  remove: %s\n", result.standardError.c_str());
    }
    return {median(pins),     median(unpins),  median(pinCpu),
            median(unpinCpu), median(removes), median(removeCpu)};
}

} // namespace

int main(int argc, char** argv) {
    const int intactPins = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int addedFolders = argc > 2 ? std::atoi(argv[2]) : 1000;
    char pattern[] = "/tmp/skyloom-bench-XXXXXX";
    fs::path root = mkdtemp(pattern);
    const std::string storePath = (root / "default.store").string();

    {
        Setup setup(storePath);
        auto& [dates, container, store] = setup;

        auto folders = makeFolders(root / "many", "folder-", addedFolders);
        auto start = std::chrono::steady_clock::now();
        store.add(folders);
        double addTime = seconds(std::chrono::steady_clock::now() - start);
        std::printf("add(_:) of %d folders: %.3f s (%.1f us per folder)%s\n", addedFolders, addTime,
                    addTime * 1e6 / addedFolders, store.errorMessage() ? " WITH ERRORS" : "");
        store.unpinAll();
    }

    {
        Setup setup(storePath);
        auto& [dates, container, store] = setup;
        auto folders = makeFolders(root / "intact", "pin-", intactPins);
        store.add(folders);
        store.reapplyAll(); // settles every flag once

        const auto walBefore = fileSize(storePath + "-wal");
        const auto storeBefore = fileSize(storePath);
        dates->writes = 0;
        const int rounds = 5;
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i)
            store.reapplyAll();
        double reapplyTime = seconds(std::chrono::steady_clock::now() - start) / rounds;
        std::printf("reapplyAll() over %d intact pins: %.2f ms (%.2f us per pin), %ld writes, "
                    "store %s\n",
                    intactPins, reapplyTime * 1e3, reapplyTime * 1e6 / intactPins, dates->writes,
                    fileSize(storePath + "-wal") == walBefore && fileSize(storePath) == storeBefore
                        ? "unchanged"
                        : "CHANGED");
    }

    const int rounds = argc > 3 ? std::atoi(argv[3]) : 50;
    auto line = [](const char* what, double at10, double at10000) {
        std::printf("%-34s %8.3f ms at 10 pins, %8.3f ms at 10,000 pins: x%.2f\n", what, at10 * 1e3,
                    at10000 * 1e3, at10000 / at10);
    };
    for (bool readsEveryRecord : {false, true}) {
        const PerPin small = perPinCost(root / "small", 10, rounds, readsEveryRecord);
        const PerPin large = perPinCost(root / "large", 10000, rounds, readsEveryRecord);
        std::printf("one folder, medians of %d rounds, %s:\n", rounds,
                    readsEveryRecord ? "every record read first (the app)"
                                     : "records read when asked for (the command line)");
        line("add(_:) wall", small.pin, large.pin);
        line("add(_:) processor", small.pinCpu, large.pinCpu);
        line("unpin(_:) wall", small.unpin, large.unpin);
        line("unpin(_:) processor", small.unpinCpu, large.unpinCpu);
        line("remove command wall", small.remove, large.remove);
        line("remove command processor", small.removeCpu, large.removeCpu);
    }

    fs::remove_all(root);
    return 0;
}
