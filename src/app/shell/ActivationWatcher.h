#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

class QSocketNotifier;
struct xcb_connection_t;

namespace skyloom::app {

// Tells when a file manager becomes the active window. On X11 it follows the
// window manager's _NET_ACTIVE_WINDOW property on the root window through a
// connection of its own, read on the event loop: no timer, no polling, no
// debounce. Each time the active window changes to one whose WM_CLASS names
// a known file manager, the callback runs once; other windows are ignored.
// Not available on Wayland, which does not say which window is active.
class ActivationWatcher : public QObject {
    Q_OBJECT
public:
    explicit ActivationWatcher(std::function<void()> fileManagerActivated,
                               QObject* parent = nullptr);
    ~ActivationWatcher() override;

    // Connects to `display` (the session's DISPLAY when null) and starts
    // watching. False on Wayland, without an X server, or when the window
    // manager does not publish the active window's changes.
    bool start(const char* display = nullptr);
    bool isWatching() const { return notifier_ != nullptr; }

    // True when a WM_CLASS value (instance and class, each ending in a NUL)
    // names a known file manager: Dolphin, Nautilus, Thunar, Nemo, Caja,
    // PCManFM-Qt.
    static bool isFileManagerClass(std::string_view wmClass);

private:
    void eventsArrived();
    void activeWindowChanged();
    void stop();

    std::function<void()> fileManagerActivated_;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t activeWindowAtom_ = 0;
    std::uint32_t lastActive_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace skyloom::app
