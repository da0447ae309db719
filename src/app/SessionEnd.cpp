#include "app/SessionEnd.h"

#include "app/Logging.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace skyloom::app {
namespace {

constexpr int endingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written only by the signal handler: the pipe's end it writes to.
volatile std::sig_atomic_t signalPipe = -1;
// Run by exit() when Qt ends the process from under the event loop.
std::function<void()>* abruptCleanUp = nullptr;

void onSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (signalPipe >= 0) [[maybe_unused]]
        const auto written = ::write(signalPipe, &byte, 1);
    errno = saved;
}

void onExit() {
    if (!abruptCleanUp)
        return;
    auto* cleanUp = std::exchange(abruptCleanUp, nullptr);
    qCInfo(lcShell) << "the session ended under the app; closing the command channel";
    (*cleanUp)();
    // The session is gone; there is nothing left to report a failure to.
    std::_Exit(0);
}

} // namespace

SessionEnd::SessionEnd(std::function<void()> cleanUp, QObject* parent) : QObject(parent) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) == 0) {
        signalPipe = pipe_[1];
        notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &SessionEnd::signalArrived);
        struct sigaction action {};
        action.sa_handler = onSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (const int number : endingSignals)
            ::sigaction(number, &action, nullptr);
    }
    static const bool registered = std::atexit(onExit) == 0;
    if (registered)
        abruptCleanUp = new std::function<void()>(std::move(cleanUp));
    // Autostart starts the app at the next login; a session manager that
    // restarted it as well would only start a second one that hands off.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this, [](QSessionManager& manager) {
            manager.setRestartHint(QSessionManager::RestartNever);
        });
        connect(gui, &QGuiApplication::saveStateRequest, this, [](QSessionManager& manager) {
            manager.setRestartHint(QSessionManager::RestartNever);
        });
    }
}

SessionEnd::~SessionEnd() {
    delete std::exchange(abruptCleanUp, nullptr);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : endingSignals)
        ::sigaction(number, &action, nullptr);
    signalPipe = -1;
    notifier_.reset();
    for (int fd : pipe_)
        if (fd >= 0)
            ::close(fd);
}

void SessionEnd::signalArrived() {
    unsigned char byte = 0;
    while (::read(pipe_[0], &byte, 1) == 1)
        received_ = byte;
    qCInfo(lcShell) << "ending on signal" << received_;
    // Also leaves a modal dialog's loop; a request being answered finishes first.
    QCoreApplication::quit();
}

} // namespace skyloom::app
