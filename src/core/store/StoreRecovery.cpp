#include "core/store/StoreRecovery.h"

#include "core/Date.h"
#include "core/Translate.h"
#include "core/platform/ApplicationSupport.h"
#include "core/store/StoreSchema.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace skyloom {
namespace {

namespace fs = std::filesystem;

constexpr const char* bundleIdentifier = "brindle-engineering.Skyloom.direct";
constexpr const char* storeFileName = "default.store";
// The rollback journal goes with them: one left behind would be played into
// the new store.
constexpr const char* suffixes[] = {"", "-shm", "-wal", "-journal"};

struct ProcessState {
    std::mutex mutex;
    std::unique_ptr<ModelContainer> shared;
    std::chrono::milliseconds lockWait = StoreLock::defaultWait;
    std::function<void()> whileWaiting;
    std::function<bool()> stopWaiting;
    bool wasReset = false;
    StoreState state = StoreState::opened;
    std::optional<StoreOpenError::Reason> unavailableReason;
};

ProcessState& process() {
    static ProcessState state;
    return state;
}

// The folder holds what the user pinned: theirs alone, whatever the umask.
void makePrivateDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0)
        return;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
        (info.st_mode & 077) != 0)
        ::chmod(path.c_str(), 0700);
}

std::unique_ptr<ModelContainer> runInMemory(StoreOpenError::Reason reason) {
    process().state = StoreState::unavailable;
    process().unavailableReason = reason;
    return ModelContainer::inMemory();
}

} // namespace

std::string defaultStoreURL() {
    fs::path directory = fs::path(platform::applicationSupportDirectory()) / bundleIdentifier;
    std::error_code ignored;
    fs::create_directories(directory.parent_path(), ignored);
    makePrivateDirectory(directory.string());
    return (directory / storeFileName).string();
}

std::unique_ptr<ModelContainer> openStore(const std::string& storePath,
                                          std::chrono::milliseconds lockWait,
                                          const std::function<void()>& whileWaiting,
                                          const std::function<bool()>& stopWaiting) {
    std::shared_ptr<StoreLock> lock;
    ModelContainer::Options options;
    try {
        // The lock is held from the first attempt through moving aside to the
        // second, so no other process sees the files in between.
        const auto start = std::chrono::steady_clock::now();
        lock = StoreLock::acquire(storePath, lockWait, whileWaiting, stopWaiting);
        // A program that ignores the lock file but keeps the database locked
        // is waited for as long as what is left of the wait.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            lockWait - (std::chrono::steady_clock::now() - start));
        options.busyTimeout = std::max(options.busyTimeout, left);
        auto container = ModelContainer::open(storePath, lock, options);
        process().state = StoreState::opened;
        process().unavailableReason.reset();
        return container;
    } catch (const StoreOpenError& error) {
        // Only known damage is moved aside: the records behind any other
        // failure may be intact, and a newer Skyloom can still read them.
        if (!error.isDamagedContent())
            return runInMemory(error.reason());
    }

    StoreRecovery::moveAside(storePath);
    process().wasReset = true;
    try {
        auto container = ModelContainer::open(storePath, lock, options);
        process().state = StoreState::reset;
        process().unavailableReason.reset();
        return container;
    } catch (const StoreOpenError& error) {
        return runInMemory(error.reason());
    }
}

ModelContainer& sharedModelContainer() {
    auto& state = process();
    std::lock_guard guard(state.mutex);
    if (!state.shared)
        state.shared =
            openStore(defaultStoreURL(), state.lockWait, state.whileWaiting, state.stopWaiting);
    return *state.shared;
}

bool storeWasReset() {
    return process().wasReset;
}

StoreState storeState() {
    return process().state;
}

std::optional<StoreOpenError::Reason> storeUnavailableReason() {
    return process().unavailableReason;
}

std::string storeResetMessage() {
    return translate(SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                            "저장된 고정 목록을 읽지 못해 새로 시작했어요. "
                                            "2100년으로 남은 폴더는 Finder 우클릭 › Skyloom "
                                            "고정 해제로 되돌릴 수 있어요."));
}

std::string storeUnavailableMessage() {
    if (process().unavailableReason == StoreOpenError::Reason::newerSchema)
        return translate(SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "저장된 고정 목록이 더 새 버전의 Skyloom에서 만들어져 열지 않았어요. 새 "
                       "버전의 Skyloom으로 다시 실행해 주세요."));
    return translate(SKYLOOM_TRANSLATE_NOOP(
        "Skyloom", "저장된 고정 목록을 열지 못해 임시 목록으로 시작했어요. 이번에 바꾼 내용은 "
                   "종료하면 사라져요. 다른 Skyloom을 닫거나 저장 공간과 권한을 확인한 뒤 다시 "
                   "실행해 주세요."));
}

std::int64_t StoreRecovery::moveAside(const std::string& storePath) {
    auto stamp = static_cast<std::int64_t>(currentDate());
    auto target = [&](const char* suffix) {
        return storePath + ".corrupt-" + std::to_string(stamp) + suffix;
    };
    for (;;) {
        bool taken = false;
        for (const char* suffix : suffixes)
            taken = taken || StoreSchema::exists(target(suffix));
        if (!taken)
            break;
        ++stamp;
    }
    for (const char* suffix : suffixes) {
        std::string source = storePath + suffix;
        if (StoreSchema::exists(source))
            std::rename(source.c_str(), target(suffix).c_str()); // a failed move is skipped
    }
    StoreSchema::makePrivate(storePath + ".corrupt-" + std::to_string(stamp));
    return stamp;
}

void StoreRecovery::setLockWait(std::chrono::milliseconds wait, std::function<void()> whileWaiting,
                                std::function<bool()> stopWaiting) {
    auto& state = process();
    std::lock_guard guard(state.mutex);
    if (state.shared)
        throw std::logic_error("the shared store is already open");
    state.lockWait = wait;
    state.whileWaiting = std::move(whileWaiting);
    state.stopWaiting = std::move(stopWaiting);
}

void StoreRecovery::resetForTesting() {
    auto& state = process();
    std::lock_guard guard(state.mutex);
    state.shared.reset();
    state.lockWait = StoreLock::defaultWait;
    state.whileWaiting = nullptr;
    state.stopWaiting = nullptr;
    state.wasReset = false;
    state.state = StoreState::opened;
    state.unavailableReason.reset();
}

} // namespace skyloom
