// File-manager activation on a private X server.

#include "app/shell/ActivationWatcher.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include "QtTestMain.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

using skyloom::app::ActivationWatcher;

namespace {

class ShellActivationTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access("/usr/bin/Xvfb", X_OK) != 0)
            GTEST_SKIP() << "Xvfb is not installed";
        // A display number no other server holds.
        for (int number = 90 + static_cast<int>(::getpid() % 50); number < 200; ++number) {
            if (::access(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), F_OK) == 0)
                continue;
            display = ":" + std::to_string(number);
            break;
        }
        server.start("/usr/bin/Xvfb", {QString::fromStdString(display), "-nolisten", "tcp",
                                       "-screen", "0", "640x480x24"});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                connection = xcb_connect(display.c_str(), nullptr);
                if (!xcb_connection_has_error(connection))
                    return true;
                xcb_disconnect(connection);
                connection = nullptr;
                return false;
            },
            10000));
        root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        const char name[] = "_NET_ACTIVE_WINDOW";
        auto* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        activeAtom = reply->atom;
        std::free(reply);
    }

    void TearDown() override {
        if (connection)
            xcb_disconnect(connection);
        server.terminate();
        server.waitForFinished(5000);
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

    QProcess server;
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
    QTest::qWait(200);
    EXPECT_EQ(reapplied, 6);

    // The X server going away turns activation off without a crash.
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watcher.isWatching(); }, 3000));
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
