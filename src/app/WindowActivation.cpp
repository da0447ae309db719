#include "app/WindowActivation.h"

#include "app/Logging.h"

#include <QGuiApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QWidget>
#include <QWindow>

#include <cstdint>

#ifdef SKYLOOM_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace skyloom::app {

namespace {

#ifdef SKYLOOM_HAVE_XCB

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

void sendToRoot(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window,
                xcb_atom_t type, const std::uint32_t (&data)[5]) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::memcpy(event.data.data32, data, sizeof data);
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

// Ends the launcher's "starting…" feedback for this token: the message
// "remove: ID=…" of the X startup-notification protocol, in 20-byte pieces.
void completeStartup(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window,
                     const QByteArray& token) {
    QByteArray message = "remove: ID=";
    for (const char c : token) {
        if (c == ' ' || c == '"' || c == '\\')
            message += '\\';
        message += c;
    }
    message += '\0';
    const xcb_atom_t begin = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(connection, "_NET_STARTUP_INFO");
    for (qsizetype offset = 0; offset < message.size(); offset += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = window;
        event.type = offset == 0 ? begin : more;
        std::memcpy(event.data.data8, message.constData() + offset,
                    std::min<qsizetype>(20, message.size() - offset));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
    }
}

// The user's time of the start, which launchers put in the token
// ("…_TIME<timestamp>"); the current time when it has none.
std::uint32_t startTime(const QByteArray& token) {
    static const QRegularExpression time(QStringLiteral("_TIME(\\d+)$"));
    const auto match = time.match(QString::fromLatin1(token));
    return match.hasMatch() ? match.captured(1).toUInt() : XCB_CURRENT_TIME;
}

void activateOnX11(QWidget* widget, const QByteArray& token) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t window = widget->winId();
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    if (!token.isEmpty())
        completeStartup(connection, root, window, token);

    // To the workspace the user is on, not the user to the window's.
    const xcb_atom_t current = atom(connection, "_NET_CURRENT_DESKTOP");
    xcb_get_property_reply_t* desktop = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, current, XCB_ATOM_CARDINAL, 0, 1),
        nullptr);
    if (desktop && xcb_get_property_value_length(desktop) == 4) {
        const std::uint32_t number =
            *static_cast<const std::uint32_t*>(xcb_get_property_value(desktop));
        sendToRoot(connection, root, window, atom(connection, "_NET_WM_DESKTOP"),
                   {number, 2, 0, 0, 0});
    }
    std::free(desktop);
    // Source 2: asked for by the user through another program.
    sendToRoot(connection, root, window, atom(connection, "_NET_ACTIVE_WINDOW"),
               {2, startTime(token), 0, 0, 0});
    xcb_flush(connection);
}

#endif

// Activates once the window manager has the window: a message about a
// window it has not mapped yet would be ignored.
class ActivateWhenExposed : public QObject {
public:
    ActivateWhenExposed(QWidget* widget, QByteArray token)
        : QObject(widget), widget_(widget), token_(std::move(token)) {
        widget->windowHandle()->installEventFilter(this);
    }

    static void activate(QWidget* widget, const QByteArray& token) {
        widget->activateWindow();
#ifdef SKYLOOM_HAVE_XCB
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            activateOnX11(widget, token);
#endif
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Expose && widget_ && widget_->windowHandle()->isExposed()) {
            activate(widget_, token_);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> widget_;
    QByteArray token_;
};

} // namespace

void bringToFront(QWidget* window, const QByteArray& token) {
    qCDebug(lcShell) << "bringing" << window->windowRole() << "forward, token" << token;
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    // Qt's Wayland plugin hands this token to the compositor at the next
    // activation request.
    if (wayland && !token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token);
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    if (!window->windowHandle())
        return;
    // A minimised window comes back through the activation itself; a new
    // one is activated again once the window manager has mapped it.
    ActivateWhenExposed::activate(window, token);
    if (!window->windowHandle()->isExposed())
        new ActivateWhenExposed(window, token);
}

} // namespace skyloom::app
