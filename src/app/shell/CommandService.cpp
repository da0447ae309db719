#include "app/shell/CommandService.h"

#include "core/command/CommandCodec.h"
#include "core/platform/LocalSocket.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sys/socket.h>
#include <unistd.h>

namespace skyloom::app {
namespace {

constexpr int acceptBatch = 64;

} // namespace

struct CommandService::Client {
    enum class State { reading, queued, writing };

    UniqueFd socket;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
    State state = State::reading;
    std::string inbox;
    CommandRequest request;
    std::string answer;
    std::size_t written = 0;
    // When the client last took part of its answer.
    std::chrono::steady_clock::time_point progressed;
};

CommandService::CommandService(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

CommandService::~CommandService() {
    close();
}

bool CommandService::listen(const std::string& path) {
    close();
    if (!server_.listen(path))
        return false;
    listenNotifier_ =
        std::make_unique<QSocketNotifier>(server_.fileDescriptor(), QSocketNotifier::Read, this);
    connect(listenNotifier_.get(), &QSocketNotifier::activated, this,
            &CommandService::acceptPending);
    return true;
}

bool CommandService::isListening() const {
    return server_.fileDescriptor() >= 0;
}

void CommandService::close() {
    listenNotifier_.reset();
    queue_.clear();
    clients_.clear();
    server_.close();
    if (awaitedModal_) {
        awaitedModal_->removeEventFilter(this);
        awaitedModal_ = nullptr;
    }
}

void CommandService::acceptPending() {
    // A bounded batch per wake-up: a flood of connections must not keep the
    // event loop (the window, the queue) from running; the rest wait in the
    // backlog for the next wake-up.
    for (int batch = 0; batch < acceptBatch; ++batch) {
        int fd =
            ::accept4(server_.fileDescriptor(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: nothing more waiting; other errors: try on the next wake-up
        }
        UniqueFd socket(fd);
        // Only our own user may drive the app.
        if (platform::peerUserId(fd) != ::geteuid())
            continue;
        makeRoom();
        if (clients_.size() >= maxClients)
            continue; // every slot holds a request already taken: refuse this one

        auto client = std::make_unique<Client>();
        client->socket = std::move(socket);
        client->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read, this);
        client->writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write, this);
        client->writable->setEnabled(false);
        Client* raw = client.get();
        connect(client->readable.get(), &QSocketNotifier::activated, this,
                [this, raw] { readFrom(*raw); });
        connect(client->writable.get(), &QSocketNotifier::activated, this,
                [this, raw] { writeTo(*raw); });
        clients_.push_back(std::move(client));
        // A command line sends its request right after connecting: taken at
        // once, it is queued before a flood of idle connections can push it
        // out.
        readFrom(*raw);
    }
}

void CommandService::makeRoom() {
    if (clients_.size() < maxClients)
        return;
    auto oldest = std::find_if(clients_.begin(), clients_.end(), [](const auto& client) {
        return client->state == Client::State::reading;
    });
    // A client taking its answer is never pushed out while it keeps taking
    // it: its command has run, and losing the answer would fail it. One that
    // stopped reading gives way.
    const auto stalled = std::chrono::steady_clock::now() - CommandServer::clientDeadline;
    if (oldest == clients_.end())
        oldest = std::find_if(clients_.begin(), clients_.end(), [&](const auto& client) {
            return client->state == Client::State::writing && client->progressed < stalled;
        });
    if (oldest != clients_.end())
        drop(**oldest);
}

void CommandService::readFrom(Client& client) {
    char buffer[64 * 1024];
    for (;;) {
        // Never read past the frame the prefix declares: a peer that sends
        // more than one request is malformed, and memory stays bounded.
        std::size_t wanted = sizeof buffer;
        if (client.inbox.size() >= CommandCodec::prefixSize) {
            auto length = CommandCodec::payloadLength(client.inbox);
            if (!length)
                return drop(client);
            std::size_t whole = CommandCodec::prefixSize + *length;
            wanted = std::min(wanted, whole - client.inbox.size() + 1);
        }
        ssize_t got = ::recv(client.socket.get(), buffer, wanted, 0);
        if (got > 0) {
            client.inbox.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        return drop(client); // hung up or failed before a whole request
    }

    auto length = CommandCodec::payloadLength(client.inbox);
    if (client.inbox.size() >= CommandCodec::prefixSize && !length)
        return drop(client);
    if (!length || client.inbox.size() < CommandCodec::prefixSize + *length)
        return; // more to come
    auto request = CommandCodec::decodeRequest(client.inbox);
    if (!request)
        return drop(client);

    // A current command line is told at once that its request is taken, so
    // that it retries only connections pushed out before this point.
    const bool acknowledge = CommandCodec::requestVersion(client.inbox) >= 2;
    client.request = std::move(*request);
    client.inbox.clear();
    client.inbox.shrink_to_fit();
    client.state = Client::State::queued;
    client.readable->setEnabled(false);
    queue_.push_back(&client);
    if (acknowledge) {
        client.answer = CommandCodec::acceptedFrame();
        if (!writeTo(client))
            return; // gone
    }
    processQueue();
}

void CommandService::processQueue() {
    if (running_)
        return;
    running_ = true;
    while (!queue_.empty()) {
        // A modal dialog or an open menu runs an event loop of its own, with
        // its caller on the stack beneath: a command run inside it could
        // change the store under that caller. (The tray panel is a popup
        // too, but one without a loop of its own: commands go on.)
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            modal = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (modal) {
            waitForModal(modal);
            break;
        }
        if (isReady_ && !isReady_())
            break;
        Client* client = queue_.front();
        queue_.pop_front();
        std::optional<std::string> answer;
        try {
            answer = CommandCodec::encode(handler_(client->request));
        } catch (...) {
            // Nothing may escape into the event loop; the client sees the
            // connection close without an answer.
        }
        // The handler may have run an event loop of its own, in which the
        // client went away.
        auto held = std::find_if(clients_.begin(), clients_.end(),
                                 [client](const auto& c) { return c.get() == client; });
        if (held == clients_.end())
            continue;
        if (!answer) {
            drop(*client);
            continue;
        }
        client->answer += *answer;
        client->state = Client::State::writing;
        client->progressed = std::chrono::steady_clock::now();
        writeTo(*client);
    }
    running_ = false;
}

void CommandService::resume() {
    if (!queue_.empty())
        QMetaObject::invokeMethod(this, &CommandService::processQueue, Qt::QueuedConnection);
}

void CommandService::waitForModal(QWidget* modal) {
    if (awaitedModal_ == modal)
        return;
    if (awaitedModal_)
        awaitedModal_->removeEventFilter(this);
    awaitedModal_ = modal;
    modal->installEventFilter(this);
    connect(modal, &QObject::destroyed, this, [this, modal] {
        if (awaitedModal_ != modal)
            return;
        awaitedModal_ = nullptr;
        QMetaObject::invokeMethod(this, &CommandService::processQueue, Qt::QueuedConnection);
    });
}

bool CommandService::eventFilter(QObject* watched, QEvent* event) {
    if (watched == awaitedModal_ && event->type() == QEvent::Hide) {
        awaitedModal_->removeEventFilter(this);
        awaitedModal_ = nullptr;
        // After the dialog's own loop has returned, or another modal took over.
        QMetaObject::invokeMethod(this, &CommandService::processQueue, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

bool CommandService::writeTo(Client& client) {
    while (client.written < client.answer.size()) {
        ssize_t sent =
            platform::sendWithoutSignal(client.socket.get(), client.answer.data() + client.written,
                                        client.answer.size() - client.written);
        if (sent >= 0) {
            client.written += static_cast<std::size_t>(sent);
            client.progressed = std::chrono::steady_clock::now();
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            client.writable->setEnabled(true); // the rest when the client reads
            return true;
        } else if (errno != EINTR) {
            drop(client); // the client went away
            return false;
        }
    }
    if (client.state != Client::State::writing) {
        // Only the accepted frame so far; the answer follows once it runs.
        client.writable->setEnabled(false);
        return true;
    }
    drop(client);
    return false;
}

void CommandService::drop(Client& client) {
    std::erase(queue_, &client);
    // Notifiers are silenced before the descriptor they watch closes, and
    // deleted later: this may run inside one of their own signals.
    for (QSocketNotifier* notifier : {client.readable.release(), client.writable.release()}) {
        notifier->setEnabled(false);
        notifier->disconnect(this);
        notifier->deleteLater();
    }
    clients_.remove_if([&client](const auto& c) { return c.get() == &client; });
}

} // namespace skyloom::app
