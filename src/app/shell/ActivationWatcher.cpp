#include "app/shell/ActivationWatcher.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace skyloom::app {
namespace {

// Lower-case WM_CLASS names (instance or class) of the file managers whose
// list can sort by the date the app sets.
constexpr std::array<std::string_view, 9> fileManagerClasses{
    "dolphin", "org.kde.dolphin", "nautilus",     "org.gnome.nautilus", "thunar", "nemo",
    "caja",    "pcmanfm-qt",      "org.nemo.nemo"};

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool onWayland() {
    const char* session = std::getenv("XDG_SESSION_TYPE");
    return (session && std::strcmp(session, "wayland") == 0) ||
           QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

ActivationWatcher::ActivationWatcher(std::function<void()> fileManagerActivated, QObject* parent)
    : QObject(parent), fileManagerActivated_(std::move(fileManagerActivated)) {}

ActivationWatcher::~ActivationWatcher() {
    stop();
}

bool ActivationWatcher::isFileManagerClass(std::string_view wmClass) {
    while (!wmClass.empty()) {
        std::size_t end = wmClass.find('\0');
        std::string_view name = wmClass.substr(0, end);
        if (std::find(fileManagerClasses.begin(), fileManagerClasses.end(), lowered(name)) !=
            fileManagerClasses.end())
            return true;
        if (end == std::string_view::npos)
            break;
        wmClass.remove_prefix(end + 1);
    }
    return false;
}

bool ActivationWatcher::start(const char* display) {
    if (notifier_)
        return true;
    if (onWayland() && !display)
        return false;
    int screenNumber = 0;
    connection_ = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        stop();
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        stop();
        return false;
    }
    root_ = screens.data->root;

    const char name[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, sizeof name - 1, name), nullptr);
    if (!atom) {
        stop();
        return false;
    }
    activeWindowAtom_ = atom->atom;
    std::free(atom);

    // Property changes on the root window only; nothing else is asked for.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_void_cookie_t selected =
        xcb_change_window_attributes_checked(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    if (xcb_generic_error_t* error = xcb_request_check(connection_, selected)) {
        std::free(error);
        stop();
        return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_),
                                                  QSocketNotifier::Read, this);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &ActivationWatcher::eventsArrived);
    // The window active now is where the user already is, not a return to it.
    xcb_get_property_reply_t* current = xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, root_, activeWindowAtom_, XCB_ATOM_WINDOW, 0, 1), nullptr);
    if (current && xcb_get_property_value_length(current) >= 4)
        std::memcpy(&lastActive_, xcb_get_property_value(current), 4);
    std::free(current);
    eventsArrived(); // anything that came with the replies
    return notifier_ != nullptr;
}

void ActivationWatcher::stop() {
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_.release()->deleteLater();
    }
    if (connection_) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
    }
}

void ActivationWatcher::eventsArrived() {
    if (!connection_)
        return;
    // Replies read while handling one event queue the events behind them, so
    // the loop runs until xcb holds none.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        bool relevant =
            (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
            reinterpret_cast<xcb_property_notify_event_t*>(event)->atom == activeWindowAtom_ &&
            reinterpret_cast<xcb_property_notify_event_t*>(event)->window == root_;
        std::free(event);
        if (relevant)
            activeWindowChanged();
        if (!connection_)
            return;
    }
    if (xcb_connection_has_error(connection_))
        stop(); // the X server went away; activation is off from now on
}

void ActivationWatcher::activeWindowChanged() {
    xcb_get_property_reply_t* active = xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, root_, activeWindowAtom_, XCB_ATOM_WINDOW, 0, 1), nullptr);
    std::uint32_t window = 0;
    if (active && xcb_get_property_value_length(active) >= 4)
        std::memcpy(&window, xcb_get_property_value(active), 4);
    std::free(active);
    // Window managers rewrite the property without a change of window;
    // only a change of window is a window becoming active.
    if (window == lastActive_)
        return;
    lastActive_ = window;
    if (window == 0)
        return;

    xcb_get_property_reply_t* wmClass = xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
        nullptr);
    bool fileManager = false;
    if (wmClass) {
        int length = xcb_get_property_value_length(wmClass);
        fileManager = isFileManagerClass(
            std::string_view(static_cast<const char*>(xcb_get_property_value(wmClass)),
                             length > 0 ? static_cast<std::size_t>(length) : 0));
        std::free(wmClass);
    }
    if (fileManager && fileManagerActivated_)
        fileManagerActivated_();
}

} // namespace skyloom::app
