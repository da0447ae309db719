#include "app/shell/EventLoopPacing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

#include <exception>
#include <memory>
#include <thread>

namespace skyloom::app {

namespace {

bool onGuiThread() {
    return QCoreApplication::instance() &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace

PinStore::Pacing EventLoopPacing::make() {
    PinStore::Pacing pacing;
    auto sinceEvents = std::make_shared<QElapsedTimer>();
    sinceEvents->start();
    pacing.breathe = [sinceEvents] {
        if (!onGuiThread() || sinceEvents->elapsed() < intervalMs)
            return;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        sinceEvents->restart();
    };
    pacing.runAside = [sinceEvents](const std::function<void()>& step) {
        if (!onGuiThread()) {
            step();
            return;
        }
        QEventLoop loop;
        std::exception_ptr failure;
        // Posted to this thread, so it runs inside loop.exec() even when the
        // step ends before the loop has started.
        std::thread worker([&step, &loop, &failure] {
            try {
                step();
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        // The loop also ends early when the app is asked to quit; the step
        // still finishes first.
        worker.join();
        sinceEvents->restart();
        if (failure)
            std::rethrow_exception(failure);
    };
    return pacing;
}

} // namespace skyloom::app
