#pragma once

#include "core/UniqueFd.h"
#include "core/command/CommandMessage.h"
#include "core/command/CommandServer.h"

#include <QObject>

#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <string>

class QSocketNotifier;
class QWidget;

namespace skyloom::app {

// Serves the command channel on the event loop. Every client is read and
// answered only as its socket becomes ready, so a client that stalls, sends
// garbage or never reads its answer never holds up the user interface or the
// next client. Complete requests run one at a time, in the order they
// arrived; while a modal dialog or a menu is open they wait until it closes.
class CommandService : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<CommandResult(const CommandRequest&)>;

    // Clients held at once. A further one pushes out the oldest client that
    // has still not sent its whole request, so idle connections cannot pile
    // up, and no timer is needed to bound them; else one that has stopped
    // taking its answer for CommandServer::clientDeadline. A command line pushed out
    // (or refused when every slot holds a taken request) connects again: it
    // knows its request was not taken, since it got no accepted frame.
    static constexpr std::size_t maxClients = 32;

    explicit CommandService(Handler handler, QObject* parent = nullptr);
    ~CommandService() override;

    // Listens at `path` with the socket file, lock and takeover rules of
    // CommandServer: a live app is never displaced, a socket left by a
    // crashed one is taken over. False when that is refused.
    bool listen(const std::string& path);
    bool isListening() const;
    void close();

    // Requests wait while this says no (the store is busy with a change
    // asked for in the window); resume() runs them once it says yes.
    void setReady(std::function<bool()> isReady) { isReady_ = std::move(isReady); }
    void resume();

    // Connections currently held (reading, waiting or being answered).
    std::size_t clientCount() const { return clients_.size(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Client;

    void acceptPending();
    void readFrom(Client& client);
    // False when the client is gone (dropped, or answered in full).
    bool writeTo(Client& client);
    void drop(Client& client);
    void makeRoom();
    void processQueue();
    void waitForModal(QWidget* modal);

    Handler handler_;
    CommandServer server_;
    std::unique_ptr<QSocketNotifier> listenNotifier_;
    std::list<std::unique_ptr<Client>> clients_;
    std::deque<Client*> queue_;
    std::function<bool()> isReady_;
    bool running_ = false;
    QWidget* awaitedModal_ = nullptr;
};

} // namespace skyloom::app
