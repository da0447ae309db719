#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace skyloom::app {

// Ends the app cleanly when the session ends it: SIGTERM (what a logout or
// `systemctl --user stop` sends), SIGINT and SIGHUP quit the event loop, so
// that main returns and everything closes in order. Qt itself ends the
// process at once when the X connection is lost; `cleanUp` then runs before
// the process exits with status 0, as at any other end of the session.
class SessionEnd : public QObject {
    Q_OBJECT
public:
    explicit SessionEnd(std::function<void()> cleanUp, QObject* parent = nullptr);
    // Puts the default signal actions back; `cleanUp` no longer runs.
    ~SessionEnd() override;

    // The signal that ended the app, 0 while none has.
    int receivedSignal() const { return received_; }

private:
    void signalArrived();

    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    int received_ = 0;
};

} // namespace skyloom::app
