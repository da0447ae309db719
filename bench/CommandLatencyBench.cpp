// How long the app's window goes without answering while the app serves a
// big command: a 1,000-folder pin and the unpin-all after it, sent over the
// command channel as `skyloom` sends them, with the pin-list window open and
// following every change. A timer on the GUI thread ticks every 5 ms; the
// longest gap between two ticks is how long a click or a repaint waited.
// The goal is under 100 ms. Runs offscreen on a temporary store.
//
//   CommandLatencyBench [folders=1000]

#include "AppBenchHome.h"
#include "app/SkyloomApp.h"
#include "app/shell/AppDelegate.h"
#include "core/command/CommandChannel.h"
#include "core/engine/PinService.h"
#include "core/store/PinStore.h"
#include "core/store/StoreRecovery.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace skyloom;

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XCTestConfigurationFilePath", "1"); // no update check, no welcome window

    bench::AppBenchHome home(count);
    const std::string& root = home.root;
    const std::vector<std::string>& folders = home.folders;
    StoreRecovery::resetForTesting();

    QApplication app(argc, argv);
    auto container = openStore(root + "/data/s.store");
    PinStore store(container->mainContext(), PinService::makeDefault(),
                   std::make_shared<HeadlessDesktop>());
    app::AppDelegate delegate(store);
    app::SkyloomApp skyloom(store, {});
    delegate.applicationWillFinishLaunching(app.arguments());
    delegate.applicationDidFinishLaunching();
    skyloom.openWindowAndActivate(QStringLiteral("manager"));

    // The longest gap between ticks while a command is in flight.
    std::atomic<bool> inFlight = false;
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (inFlight)
            longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
    });
    ticker.start();

    struct Figure {
        const char* what;
        double wallMs = 0;
        qint64 gapMs = 0;
        int exitStatus = -1;
    };
    std::vector<Figure> figures{{"pin"}, {"unpin-all"}};
    std::thread client([&] {
        const std::string socket = CommandChannel::socketPath();
        for (auto& figure : figures) {
            CommandRequest request;
            request.arguments = {figure.what};
            if (std::string(figure.what) == "pin")
                request.arguments.insert(request.arguments.end(), folders.begin(), folders.end());
            QMetaObject::invokeMethod(
                &app,
                [&] {
                    longestGap = 0;
                    sinceTick.restart();
                    inFlight = true;
                },
                Qt::BlockingQueuedConnection);
            const auto started = std::chrono::steady_clock::now();
            auto result = CommandChannel::send(socket, request, std::chrono::minutes(5),
                                               "CommandLatencyBench");
            figure.wallMs = std::chrono::duration<double, std::milli>(
                                std::chrono::steady_clock::now() - started)
                                .count();
            figure.exitStatus = result ? result->exitStatus : -1;
            QMetaObject::invokeMethod(
                &app,
                [&] {
                    // A loop blocked to the end of the command never ticked.
                    longestGap = std::max(longestGap, sinceTick.elapsed());
                    inFlight = false;
                    figure.gapMs = longestGap;
                },
                Qt::BlockingQueuedConnection);
        }
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    client.join();

    for (const auto& figure : figures)
        std::printf("%-9s %d folders: exit %d, %.0f ms, window unanswered at most %lld ms\n",
                    figure.what, count, figure.exitStatus, figure.wallMs,
                    static_cast<long long>(figure.gapMs));
    return 0;
}
