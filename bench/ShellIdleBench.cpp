// The app shell with 1,000 pins: how long launch takes (re-applying every
// pin, serving the channel, watching every folder), what it holds in memory,
// and how often it wakes up while nothing happens. Runs the delegate the way
// skyloom-app does, offscreen, on a temporary store and folders.
//
//   ShellIdleBench [pins=1000] [idle seconds=10]

#include "AppBenchHome.h"
#include "app/shell/AppDelegate.h"
#include "core/engine/PinService.h"
#include "core/store/PinStore.h"
#include "core/store/StoreRecovery.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace skyloom;

namespace {

long statusField(const std::string& file, const std::string& key) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + ":", 0) == 0)
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
    return -1;
}

// Context switches of every thread of this process but `except`.
long contextSwitches(pid_t except) {
    long total = 0;
    DIR* tasks = ::opendir("/proc/self/task");
    while (dirent* entry = tasks ? ::readdir(tasks) : nullptr) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == except)
            continue;
        std::string status = std::string("/proc/self/task/") + entry->d_name + "/status";
        total += statusField(status, "voluntary_ctxt_switches") +
                 statusField(status, "nonvoluntary_ctxt_switches");
    }
    if (tasks)
        ::closedir(tasks);
    return total;
}

} // namespace

int main(int argc, char** argv) {
    const int pins = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XCTestConfigurationFilePath", "1"); // no update check over the network

    bench::AppBenchHome home(pins);
    const std::string& root = home.root;
    const std::vector<std::string>& folders = home.folders;
    {
        // The pins exist before the app starts, as after an earlier session.
        auto container = openStore(root + "/data/s.store");
        PinStore store(container->mainContext(), PinService::makeDefault(),
                       std::make_shared<HeadlessDesktop>());
        store.add(folders);
        std::printf("pinned: %zu folders\n", store.fetchPins().size());
    }
    StoreRecovery::resetForTesting();

    QApplication app(argc, argv);
    const auto started = std::chrono::steady_clock::now();
    auto container = openStore(root + "/data/s.store");
    PinStore store(container->mainContext(), PinService::makeDefault(),
                   std::make_shared<HeadlessDesktop>());
    app::AppDelegate delegate(store);
    delegate.applicationWillFinishLaunching(app.arguments());
    delegate.applicationDidFinishLaunching();
    const double launchMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();

    long switches = 0;
    std::thread meter([&] {
        const pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
        std::this_thread::sleep_for(std::chrono::seconds(1)); // let start-up settle
        const long before = contextSwitches(self);
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        switches = contextSwitches(self) - before;
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    meter.join();

    std::printf("launch (open store, re-apply, serve, watch): %.1f ms\n", launchMs);
    std::printf("serving commands: %s, watching folders: %s\n",
                delegate.isServingCommands() ? "yes" : "no",
                delegate.isWatchingFolders() ? "yes" : "no");
    std::printf("idle wake-ups over %d s (context switches, all app threads): %ld\n", idleSeconds,
                switches);
    std::printf("resident memory: %.1f MB (peak %.1f MB)\n",
                statusField("/proc/self/status", "VmRSS") / 1024.0,
                statusField("/proc/self/status", "VmHWM") / 1024.0);
    return 0;
}
