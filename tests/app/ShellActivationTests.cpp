#include "app/shell/ActivationWatcher.h"

#include "DesktopSession.h"

#include <QApplication>
#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTest>

#include "QtTestMain.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using skyloom::app::ActivationWatcher;
using skyloom::test::DesktopSession;

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    auto* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

class ShellActivationTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xprop"})
            if (!DesktopSession::installed(tool))
                GTEST_SKIP() << tool << " is not installed";
        ASSERT_TRUE(session.startX()) << "Xvfb did not start";
        display = session.display.toStdString();
        connection = xcb_connect(display.c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(connection));
        root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        activeAtom = atom(connection, "_NET_ACTIVE_WINDOW");
    }

    void TearDown() override {
        if (connection)
            xcb_disconnect(connection);
    }

    // A window whose WM_CLASS is `instance` and `className`.
    xcb_window_t window(const std::string& instance, const std::string& className) {
        xcb_window_t id = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, id, root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        std::string value = instance + '\0' + className + '\0';
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS,
                            XCB_ATOM_STRING, 8, value.size(), value.data());
        return id;
    }

    // What a window manager does when the user switches windows; the
    // watcher reads the window when the event arrives, so a person's pace
    // is kept.
    void activate(xcb_window_t id) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, activeAtom, XCB_ATOM_WINDOW,
                            32, 1, &id);
        xcb_flush(connection);
        QTest::qWait(40);
    }

    DesktopSession session;
    std::string display;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t activeAtom = 0;
};

TEST_F(ShellActivationTest, EachSwitchToAFileManagerReappliesOnce) {
    int reapplied = 0;
    ActivationWatcher watcher([&] { ++reapplied; });
    ASSERT_TRUE(watcher.start(display.c_str()));

    const xcb_window_t files = window("org.gnome.Nautilus", "Org.gnome.Nautilus");
    const xcb_window_t thunar = window("thunar", "Thunar");
    const xcb_window_t editor = window("gedit", "Gedit");
    for (int i = 0; i < 5; ++i) {
        activate(files);
        activate(editor);
    }
    activate(editor); // rewritten without a change of window
    EXPECT_TRUE(QTest::qWaitFor([&] { return reapplied == 5; }, 3000));

    for (int i = 0; i < 3; ++i)
        activate(i % 2 ? editor : root); // other windows, or none
    activate(thunar);
    activate(thunar);
    EXPECT_TRUE(QTest::qWaitFor([&] { return reapplied == 6; }, 3000));
    // And no more: the second switch to the same window is not one.
    EXPECT_FALSE(QTest::qWaitFor([&] { return reapplied > 6; }, 200));

    // The X server going away turns activation off without a crash.
    session.processes.front()->terminate();
    ASSERT_TRUE(session.processes.front()->waitForFinished(5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watcher.isWatching(); }, 3000));
}

// The numbers xprop prints for a property, in order.
std::vector<qulonglong> numbers(const QString& xpropLine) {
    std::vector<qulonglong> result;
    const int equals = std::max(xpropLine.indexOf('#'), xpropLine.indexOf('='));
    if (equals < 0)
        return result;
    static const QRegularExpression number("0x[0-9a-fA-F]+|\\b\\d+\\b");
    for (const auto& match : number.globalMatch(xpropLine.mid(equals)))
        result.push_back(match.captured().toULongLong(nullptr, 0));
    return result;
}

class AppReopenTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "trayer", "xdotool", "xprop", "xmessage"})
            if (!DesktopSession::installed(tool))
                GTEST_SKIP() << tool << " is not installed";
        ASSERT_TRUE(session.startX()) << "Xvfb did not start";
        // openbox now and then gives up at once on a server that has just
        // come up (status 1, nothing said): it gets a second chance.
        QByteArray said;
        for (int attempt = 0; attempt < 3 && root("_NET_SUPPORTING_WM_CHECK").empty(); ++attempt) {
            QProcess& openbox = session.start("openbox", {"--sm-disable"}, false);
            if (!QTest::qWaitFor(
                    [&] {
                        return !root("_NET_SUPPORTING_WM_CHECK").empty() ||
                               openbox.state() == QProcess::NotRunning;
                    },
                    10000))
                break;
            said += openbox.readAllStandardError() + openbox.readAllStandardOutput();
        }
        ASSERT_FALSE(root("_NET_SUPPORTING_WM_CHECK").empty())
            << "openbox did not start: " << said.toStdString();
        // The XEmbed tray whose icon window must not count as a window of the app.
        session.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request",
                                 "--height", "24", "--SetDockType", "true"});
    }

    std::vector<qulonglong> root(const char* property) {
        return numbers(session.run("xprop", {"-root", property}).out);
    }
    std::vector<qulonglong> of(qulonglong window, const char* property) {
        return numbers(session.run("xprop", {"-id", QString::number(window), property}).out);
    }
    QString wmState(qulonglong window) {
        return session.run("xprop", {"-id", QString::number(window), "WM_STATE"}).out;
    }
    // The pin-list window among the window manager's clients, or 0.
    qulonglong manager() {
        for (const qulonglong window : root("_NET_CLIENT_LIST"))
            if (session.run("xprop", {"-id", QString::number(window), "_NET_WM_NAME"})
                    .out.contains("\"고정된 폴더\""))
                return window;
        return 0;
    }
    // The highest window of the stack below the panels (the tray's stays above).
    qulonglong topmost() {
        const auto stacking = root("_NET_CLIENT_LIST_STACKING");
        for (auto it = stacking.rbegin(); it != stacking.rend(); ++it)
            if (!session.run("xprop", {"-id", QString::number(*it), "_NET_WM_WINDOW_TYPE"})
                     .out.contains("DOCK"))
                return *it;
        return 0;
    }
    // Mapped, not minimised, on top, focused, on the workspace the user is on.
    bool inFront(qulonglong window) {
        return window && wmState(window).contains("Normal") && topmost() == window &&
               root("_NET_ACTIVE_WINDOW") == std::vector{window} &&
               of(window, "_NET_WM_DESKTOP") == root("_NET_CURRENT_DESKTOP");
    }
    // What the checks saw, for a failure's message.
    std::string describe(qulonglong window) {
        QString text = QString("window %1: ").arg(window) + wmState(window).simplified();
        for (const char* property :
             {"_NET_ACTIVE_WINDOW", "_NET_CLIENT_LIST_STACKING", "_NET_CURRENT_DESKTOP"})
            text += "; " + session.run("xprop", {"-root", property}).out;
        text +=
            "; " + session.run("xprop", {"-id", QString::number(window), "_NET_WM_DESKTOP"}).out;
        return text.toStdString();
    }
    void closeThroughWindowManager(qulonglong window) {
        xcb_connection_t* connection = xcb_connect(session.display.toLatin1().constData(), nullptr);
        const xcb_window_t rootWindow =
            xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = static_cast<xcb_window_t>(window);
        event.type = atom(connection, "_NET_CLOSE_WINDOW");
        event.data.data32[1] = 2;
        xcb_send_event(connection, 0, rootWindow,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(connection);
        xcb_disconnect(connection);
    }
    void startAgain() {
        const DesktopSession::Result second = session.run(SKYLOOM_APP);
        EXPECT_EQ(second.exitCode, 0);
    }

    DesktopSession session;
};

TEST_F(AppReopenTest, ASecondStartBringsThePinListForwardWhateverIsOnScreen) {
    QProcess& app = session.start(SKYLOOM_APP);
    qulonglong window = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return inFront(window = manager()); }, 15000))
        << describe(window);
    session.screenshot("xembed-1-started");

    // Minimised.
    session.run("xdotool", {"windowminimize", QString::number(window)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return wmState(window).contains("Iconic"); }, 5000));
    startAgain();
    EXPECT_TRUE(QTest::qWaitFor([&] { return inFront(window); }, 5000)) << describe(window);

    // Covered by another program's window that has the focus.
    session.start("xmessage", {"-geometry", "900x700+0+0", "a window on top"});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return root("_NET_ACTIVE_WINDOW") != std::vector{window}; }, 5000));
    session.screenshot("xembed-2-covered");
    startAgain();
    EXPECT_TRUE(QTest::qWaitFor([&] { return inFront(window); }, 5000)) << describe(window);
    session.screenshot("xembed-3-forward");

    // Closed through the window manager, as its close button does.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            closeThroughWindowManager(window);
            return QTest::qWaitFor([&] { return manager() == 0; }, 1000);
        },
        6000))
        << describe(window);
    EXPECT_EQ(app.state(), QProcess::Running) << "closing the window ended the app";
    startAgain();
    EXPECT_TRUE(QTest::qWaitFor([&] { return inFront(window = manager()); }, 5000))
        << describe(window);
    session.screenshot("xembed-4-reopened");

    // Left behind on another workspace.
    session.run("xdotool", {"set_desktop", "1"});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return root("_NET_CURRENT_DESKTOP") == std::vector{1ull}; }, 5000));
    startAgain();
    EXPECT_TRUE(QTest::qWaitFor([&] { return inFront(window); }, 5000)) << describe(window);

    // The tray icon drops the panel down; it goes on Escape, on a second
    // click and on a click elsewhere, whoever has the focus.
    const auto visibleRoles = [&] {
        QStringList roles;
        const QString ids =
            session.run("xdotool", {"search", "--onlyvisible", "--classname", "skyloom-app"}).out;
        for (const QString& id : ids.split('\n', Qt::SkipEmptyParts))
            roles << session.run("xprop", {"-id", id, "WM_WINDOW_ROLE"}).out.section('"', 1, 1);
        return roles;
    };
    const auto panelShown = [&] { return visibleRoles().contains("panel"); };
    // The icon sits in trayer at the top right corner.
    for (const auto& [how, close] : std::vector<std::pair<const char*, QStringList>>{
             {"Escape", {"key", "Escape"}},
             {"second click", {"click", "1"}},
             {"click elsewhere", {"mousemove", "100", "700", "click", "1"}}}) {
        session.run("xdotool", {"mousemove", "1012", "12", "click", "1"});
        ASSERT_TRUE(QTest::qWaitFor(panelShown, 5000)) << visibleRoles().join(",").toStdString();
        EXPECT_TRUE(visibleRoles().contains("manager"));
        session.screenshot("xembed-5-panel");
        session.run("xdotool", close);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panelShown(); }, 5000)) << how;
    }

    // The session ends with the X server: the app goes too, cleanly.
    const QString folder = session.environment.value("XDG_RUNTIME_DIR") + "/skyloom/";
    ASSERT_TRUE(QFile::exists(folder + "command.socket"));
    session.processes.front()->terminate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 5000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(folder + "command.socket"));
    EXPECT_FALSE(QFile::exists(folder + "command.socket.lock"));
}

// A StatusNotifierItem tray (what KDE, GNOME's AppIndicator extension and
// waybar speak) started after the app, as when autostart beats the panel.
TEST(AppTrayTest, AStatusNotifierTrayStartedLaterGetsTheIconWithItsMenu) {
    for (const char* tool : {"Xvfb", "dbus-launch", "gdbus", "xprop", "xdotool",
                             "status-notifier-watcher", "gtk-sni-tray-standalone"})
        if (!DesktopSession::installed(tool))
            GTEST_SKIP() << tool << " is not installed";
    DesktopSession session;
    ASSERT_TRUE(session.startX()) << "Xvfb did not start";
    ASSERT_TRUE(session.startBus()) << "no session bus";
    const auto call = [&](const QStringList& arguments) {
        return session.run("gdbus", QStringList{"call", "--session"} + arguments).out;
    };
    const auto items = [&] {
        return call({"--dest", "org.kde.StatusNotifierWatcher", "--object-path",
                     "/StatusNotifierWatcher", "--method", "org.freedesktop.DBus.Properties.Get",
                     "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"});
    };
    QProcess& app = session.start(SKYLOOM_APP, {"--login-item"});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return QFile::exists(session.environment.value("XDG_RUNTIME_DIR") +
                                 "/skyloom/command.socket");
        },
        15000));
    const qint64 pid = app.processId();

    session.start("status-notifier-watcher");
    session.start("gtk-sni-tray-standalone", {"--top"});
    QString registered;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            registered = items();
            return registered.contains("'");
        },
        10000))
        << registered.toStdString();
    EXPECT_EQ(app.processId(), pid) << "the app was replaced, not restarted in place";
    EXPECT_EQ(app.state(), QProcess::Running);
    session.screenshot("sni-1-icon");

    // The item's service name as the watcher lists it.
    const auto match = QRegularExpression("'([^'/]+)").match(registered);
    ASSERT_TRUE(match.hasMatch()) << registered.toStdString();
    QString service = match.captured(1);
    const QString menuPath =
        call({"--dest", service, "--object-path", "/StatusNotifierItem", "--method",
              "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "Menu"})
            .section("'", 1, 1)
            .section(' ', -1);
    const QString layout = call({"--dest", service, "--object-path", menuPath, "--method",
                                 "com.canonical.dbusmenu.GetLayout", "0", "10", "@as []"});
    for (const char* entry : {"폴더 고정…", "관리 창 열기", "설정", "Skyloom 종료"})
        EXPECT_TRUE(layout.contains(QString::fromUtf8(entry))) << entry << layout.toStdString();

    // Qt's properties pass through whole, the icon's pixels included.
    const QString all =
        call({"--dest", service, "--object-path", "/StatusNotifierItem", "--method",
              "org.freedesktop.DBus.Properties.GetAll", "org.kde.StatusNotifierItem"});
    for (const char* property :
         {"'IconPixmap': <[(", "'Status': <'Active'>", "'ToolTip'", "'Menu'"})
        EXPECT_TRUE(all.contains(property)) << property << all.toStdString();

    // A click in the tray drops the panel at the point the tray gives, not
    // at the pointer: below it in the upper half of the screen, above it in
    // the lower half, centred on it; a second click puts it away.
    session.run("xdotool", {"mousemove", "900", "600"});
    const auto activate = [&](int x, int y) {
        call({"--dest", service, "--object-path", "/StatusNotifierItem", "--method",
              "org.kde.StatusNotifierItem.Activate", QString::number(x), QString::number(y)});
    };
    const auto panel = [&] {
        const QString ids =
            session.run("xdotool", {"search", "--onlyvisible", "--classname", "skyloom-app"}).out;
        for (const QString& id : ids.split('\n', Qt::SkipEmptyParts)) {
            if (!session.run("xprop", {"-id", id, "WM_WINDOW_ROLE"}).out.contains("\"panel\""))
                continue;
            const auto geometry =
                QRegularExpression("Position: (\\d+),(\\d+).*Geometry: (\\d+)x(\\d+)",
                                   QRegularExpression::DotMatchesEverythingOption)
                    .match(session.run("xdotool", {"getwindowgeometry", id}).out);
            if (geometry.hasMatch())
                return QRect(geometry.captured(1).toInt(), geometry.captured(2).toInt(),
                             geometry.captured(3).toInt(), geometry.captured(4).toInt());
        }
        return QRect();
    };
    const auto dropsAt = [&](const QPoint& point, const char* shot) {
        activate(point.x(), point.y());
        QRect shown;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (shown = panel()).isValid(); }, 5000))
            << point.x() << "," << point.y();
        session.screenshot(shot);
        activate(point.x(), point.y());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel().isValid(); }, 5000));
        // A person's pace: Qt tells the app it lost the focus some 100 ms
        // after the panel went, and that late news would put away a panel
        // reopened just then, sooner than anyone clicks twice.
        QTest::qWait(300);
        return shown;
    };
    const QRect below = dropsAt({300, 20}, "sni-2-panel-top");
    EXPECT_LE(std::abs(below.center().x() - 300), 1) << below.x() << "+" << below.width();
    EXPECT_GT(below.top(), 20);
    EXPECT_LE(below.top(), 30);
    const QRect above = dropsAt({700, 700}, "sni-3-panel-bottom");
    EXPECT_LE(std::abs(above.center().x() - 700), 1) << above.x() << "+" << above.width();
    EXPECT_LT(above.bottom(), 700);
    EXPECT_GE(above.bottom(), 690);
    // (0, 0) is what a tray sends that knows no point: the pointer stands in.
    const QRect atPointer = dropsAt({0, 0}, "sni-4-panel-pointer");
    EXPECT_LT(atPointer.bottom(), 600);
    EXPECT_GE(atPointer.bottom(), 590);

    // The tray goes away and comes back (the panel restarted): the icon
    // returns, from the same process.
    for (auto& process : session.processes)
        if (process->program().startsWith("status-notifier") ||
            process->program().startsWith("gtk-sni")) {
            process->terminate();
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return process->state() == QProcess::NotRunning; }, 5000));
        }
    session.start("status-notifier-watcher");
    session.start("gtk-sni-tray-standalone", {"--top"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return (registered = items()).contains("'"); }, 10000))
        << "no icon again";
    EXPECT_EQ(app.processId(), pid);
    // The name the watcher lists now.
    service = QRegularExpression("'([^'/]+)").match(registered).captured(1);
    const QRect again = dropsAt({300, 20}, "sni-5-panel-again");
    EXPECT_LE(std::abs(again.center().x() - 300), 1) << again.x() << "+" << again.width();
}

// Wayland, where the app can neither place nor focus windows itself: the
// app runs, serves the command line and keeps pins in place.
TEST(AppWaylandTest, ServesVerbsAndPutsADriftedPinBack) {
    for (const char* tool : {"weston"})
        if (!DesktopSession::installed(tool))
            GTEST_SKIP() << tool << " is not installed";
    if (!QFile::exists("/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so") &&
        !QFile::exists("/usr/lib/qt6/plugins/platforms/libqwayland-generic.so"))
        GTEST_SKIP() << "Qt's Wayland plugin (qt6-wayland) is not installed";
    DesktopSession session;
    const QString runtime = session.environment.value("XDG_RUNTIME_DIR");
    session.environment.remove("DISPLAY");
    session.environment.insert("WAYLAND_DISPLAY", "wayland-skyloom");
    session.environment.insert("QT_QPA_PLATFORM", "wayland");
    // Qt's Wayland plugin and libwayland keep a few allocations to the end,
    // which a leak-checking build would report as the app's exit status.
    session.environment.insert("ASAN_OPTIONS",
                               qEnvironmentVariable("ASAN_OPTIONS") + ":detect_leaks=0");
    // --debug lets the screenshot tool in; pixman draws what it takes.
    session.start("weston",
                  {"--backend=headless-backend.so", "--use-pixman", "--socket=wayland-skyloom",
                   "--idle-time=0", "--width=1024", "--height=768", "--debug"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(runtime + "/wayland-skyloom"); }, 10000))
        << "weston did not start";
    QProcess& app = session.start(SKYLOOM_APP);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QFile::exists(runtime + "/skyloom/command.socket"); }, 15000));

    const std::string folder = session.temp.makeFolder("work/Projects");
    const auto accessTime = [&] { return skyloom::test::accessTime(folder).seconds; };
    constexpr std::int64_t year2100 = 4102444800;
    EXPECT_EQ(session.run(SKYLOOM_CLI, {"pin", QString::fromStdString(folder)}).exitCode, 0);
    EXPECT_GE(accessTime(), year2100);
    // Something reads the folder and its date drifts back to now.
    const timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_OMIT}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), now, 0), 0);
    EXPECT_EQ(session.run(SKYLOOM_CLI, {"reapply"}).exitCode, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return accessTime() >= year2100; }, 5000));
    // A second start brings the window without a crash, also with a stale token.
    session.environment.insert("XDG_ACTIVATION_TOKEN", "stale-token");
    EXPECT_EQ(session.run(SKYLOOM_APP).exitCode, 0);
    session.environment.remove("XDG_ACTIVATION_TOKEN");
    if (!qEnvironmentVariableIsEmpty("SKYLOOM_SHOTS") &&
        DesktopSession::installed("weston-screenshooter")) {
        const QString shots = qEnvironmentVariable("SKYLOOM_SHOTS");
        QProcess shooter;
        shooter.setProcessEnvironment(session.environment);
        shooter.setWorkingDirectory(shots);
        shooter.start("weston-screenshooter");
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return shooter.state() == QProcess::NotRunning; }, 10000));
    }
    EXPECT_EQ(app.state(), QProcess::Running);
    // A process that already ended has no id: kill(0) would hit this whole
    // process group, the test runner included.
    const auto pid = static_cast<pid_t>(app.processId());
    ASSERT_GT(pid, 0) << "the app is not running";
    ::kill(pid, SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 5000));
    EXPECT_EQ(app.exitCode(), 0);
}

TEST(ShellActivationClassTest, KnownFileManagersOnly) {
    using namespace std::string_literals;
    EXPECT_TRUE(ActivationWatcher::isFileManagerClass("dolphin\0dolphin\0"s));
    EXPECT_TRUE(ActivationWatcher::isFileManagerClass("pcmanfm-qt\0pcmanfm-qt\0"s));
    EXPECT_TRUE(ActivationWatcher::isFileManagerClass("caja\0Caja"s)); // no final NUL
    EXPECT_FALSE(ActivationWatcher::isFileManagerClass("nautilus-preview\0X\0"s));
    EXPECT_FALSE(ActivationWatcher::isFileManagerClass(""s));
    EXPECT_FALSE(ActivationWatcher::isFileManagerClass("\0\0"s));
}

} // namespace

int main(int argc, char** argv) {
    return runQtTests(argc, argv);
}
