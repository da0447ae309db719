// Timed driver: re-applying 10,000 intact pins, and adding 1,000 folders in
// one call, on real folders and a real store file.

#include "core/engine/FileSystemAddedDate.h"
#include "core/store/ModelContainer.h"
#include "core/store/PinStore.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

    fs::remove_all(root);
    return 0;
}
