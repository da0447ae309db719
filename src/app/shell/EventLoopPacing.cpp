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

int openToInput = 0;

QEventLoop::ProcessEventsFlags letIn() {
    return openToInput > 0 ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
}

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
        QCoreApplication::processEvents(letIn());
        sinceEvents->restart();
    };
    pacing.runAside = [sinceEvents](const std::function<void()>& step) {
        if (!onGuiThread()) {
            step();
            return;
        }
        std::exception_ptr failure;
        QEventLoop loop;
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
        loop.exec(letIn());
        // The loop also ends early when the app is asked to quit; the step
        // still finishes first.
        worker.join();
        sinceEvents->restart();
        if (failure)
            std::rethrow_exception(failure);
    };
    return pacing;
}

EventLoopPacing::OpenToInput::OpenToInput() {
    ++openToInput;
}

EventLoopPacing::OpenToInput::~OpenToInput() {
    --openToInput;
}

} // namespace skyloom::app
