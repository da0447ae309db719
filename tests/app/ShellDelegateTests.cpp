// The delegate serving real command lines over a real socket, the launch
// steps, and the folder watch, on real folders and a real store file.

#include "app/shell/AppDelegate.h"
#include "app/shell/CommandService.h"
#include "core/Date.h"
#include "core/command/CommandChannel.h"
#include "core/command/CommandCodec.h"
#include "core/engine/PinService.h"
#include "core/store/PinStore.h"
#include "core/store/StoreRecovery.h"
#include "support/Sockets.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QProcess>
#include <QTest>

#include "DesktopSession.h"
#include "QtTestMain.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace skyloom;
using namespace skyloom::app;
using skyloom::test::accessTime;
using skyloom::test::TempDir;
using DesktopResult = skyloom::test::DesktopSession::Result;

namespace {

class ShellDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(temp.makeFolder("run")));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(temp.makeFolder("data")));
        // The app runs inside this test program, which the command line must trust.
        qputenv("SKYLOOM_TEST_APP_PROGRAM", "ShellDelegateTests");
        store.openManager = [this] { ++managerOpened; };
    }

    // Runs the real command line while this event loop keeps serving.
    QProcess& runCli(const QStringList& arguments) {
        auto* process = new QProcess(&processes);
        process->start(QStringLiteral(SKYLOOM_CLI), arguments);
        return *process;
    }
    static bool finished(QProcess& process, int ms = 20000) {
        return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, ms);
    }

    TempDir temp;
    std::unique_ptr<ModelContainer> container = openStore(temp.makeFolder("store") + "/s.store");
    PinStore store{container->mainContext(), PinService::makeDefault(),
                   std::make_shared<HeadlessDesktop>()};
    AppDelegate delegate{store};
    QObject processes;
    int managerOpened = 0;
};

TEST_F(ShellDelegateTest, CommandLinePinsThroughTheRunningAppDespiteStalledAndHostileClients) {
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(delegate.isServingCommands());
    const std::string socket = CommandChannel::socketPath();

    // One client that never sends, one that declares an absurd length, one
    // that sends garbage: none of them keeps the next one from an answer.
    int silent = test::unixSocket(socket, false);
    int huge = test::unixSocket(socket, false);
    ::send(huge, "\xff\xff\xff\xff", 4, MSG_NOSIGNAL);
    int garbage = test::unixSocket(socket, false);
    ::send(garbage, "\0\0\0\x05hello", 9, MSG_NOSIGNAL);

    const std::string a = temp.makeFolder("a"), b = temp.makeFolder("b");
    const std::string file = temp.makeFile("notes.txt");
    QProcess& pin = runCli({"pin", QString::fromStdString(a), QString::fromStdString(file),
                            QString::fromStdString(b)});
    ASSERT_TRUE(finished(pin));
    EXPECT_EQ(pin.exitCode(), 1);
    const QString error = QString::fromUtf8(pin.readAllStandardError());
    EXPECT_TRUE(error.startsWith(QStringLiteral("notes.txt \u2014 "))) << error.toStdString();
    EXPECT_EQ(error.count(u'\n'), 1);
    EXPECT_EQ(store.fetchPins().size(), 2u);
    EXPECT_TRUE(isPinTime(accessTime(a)));
    EXPECT_EQ(managerOpened, 1);
    // Asked from a terminal, the failure is printed there and the window
    // stays shut; afterwards the window opens for failures again.
    CommandRequest fromTerminal{{"pin", file}, "", true};
    EXPECT_EQ(delegate.handle(fromTerminal).exitStatus, 1);
    EXPECT_EQ(managerOpened, 1);
    store.showMessagesIfNeeded();
    EXPECT_EQ(managerOpened, 2);

    // A second start with odd arguments is a reopen; with the login-item flag it is quiet.
    auto reopen = std::async(std::launch::async, [] {
        return AppDelegate::handOffToRunningApp({"skyloom-app", "--bogus", "x"});
    });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return reopen.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        20000));
    EXPECT_TRUE(reopen.get());
    auto quiet = std::async(std::launch::async, [] {
        return AppDelegate::handOffToRunningApp({"skyloom-app", "--login-item"});
    });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return quiet.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        20000));
    EXPECT_TRUE(quiet.get());
    EXPECT_EQ(managerOpened, 3);

    // A live app is never displaced.
    CommandService rival([](const CommandRequest&) { return CommandResult{}; });
    EXPECT_FALSE(rival.listen(socket));
    for (int fd : {silent, huge, garbage})
        ::close(fd);
}

TEST_F(ShellDelegateTest, RequestsWaitWhileAModalDialogIsOpenOrTheWindowChangesTheStore) {
    // A socket file left by a crashed app is taken over.
    const std::string socket = CommandChannel::socketPath();
    int dead = test::unixSocket(socket, true);
    ASSERT_GE(dead, 0);
    ::close(dead);
    EXPECT_FALSE(AppDelegate::handOffToRunningApp({"skyloom-app"}));
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(delegate.isServingCommands());

    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    const std::string folder = temp.makeFolder("c");
    QProcess& pin = runCli({"pin", QString::fromStdString(folder)});
    EXPECT_FALSE(finished(pin, 700)); // expected to run out: the command must wait
    EXPECT_TRUE(store.fetchPins().empty());
    dialog.close();
    ASSERT_TRUE(finished(pin));
    EXPECT_EQ(pin.exitCode(), 0);
    EXPECT_EQ(store.fetchPins().size(), 1u);
    EXPECT_EQ(managerOpened, 0);

    // An open tray panel is a popup without a loop of its own: nothing waits.
    QWidget panel(nullptr, Qt::Popup);
    panel.show();
    ASSERT_EQ(QApplication::activePopupWidget(), &panel);
    QProcess& underPanel = runCli({"list"});
    ASSERT_TRUE(finished(underPanel));
    panel.close();

    // But while a menu is open, as a row's context menu is, commands wait.
    QMenu menu;
    menu.addAction(QStringLiteral("x"));
    menu.popup(QPoint(0, 0));
    ASSERT_EQ(QApplication::activePopupWidget(), &menu);
    QProcess& list = runCli({"list"});
    EXPECT_FALSE(finished(list, 700)); // expected to run out: the menu is open
    menu.close();
    ASSERT_TRUE(finished(list));
    EXPECT_EQ(list.exitCode(), 0);

    // The same while a change asked for in the window holds the store: the
    // command runs once that change is done, never in the middle of it.
    auto windowChange = std::make_unique<PinStore::Hold>(store);
    QProcess& unpin = runCli({"unpin", QString::fromStdString(folder)});
    EXPECT_FALSE(finished(unpin, 700)); // as above
    EXPECT_EQ(store.fetchPins().size(), 1u);
    windowChange.reset();
    ASSERT_TRUE(finished(unpin));
    EXPECT_EQ(unpin.exitCode(), 0);
    EXPECT_TRUE(store.fetchPins().empty());
}

TEST_F(ShellDelegateTest, PinsChangedOutsideTheAppAreFollowedAtOnce) {
    delegate.applicationDidFinishLaunching();
    if (!delegate.isWatchingFolders())
        GTEST_SKIP() << "this system gives no folder notifications";
    const std::string folder = temp.makeFolder("drift");
    delegate.pinFolders({folder});
    ASSERT_EQ(store.fetchPins().size(), 1u);
    const TimeSpec pinned = accessTime(folder);

    // Someone else sets the date, as `touch -a` does.
    timespec times[2] = {{1'000'000'000, 0}, {0, UTIME_OMIT}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return accessTime(folder) == pinned; }, 10000));

    const std::string renamed = temp.path() + "/drift-renamed";
    ASSERT_EQ(::rename(folder.c_str(), renamed.c_str()), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return store.fetchPins()[0]->path() == renamed; }, 10000));

    ::rmdir(renamed.c_str());
    EXPECT_TRUE(QTest::qWaitFor([&] { return store.fetchPins()[0]->isMissing(); }, 10000));

    // Unpinning writes the old date back without the watch pinning it again.
    const std::string other = temp.makeFolder("other");
    const TimeSpec before = accessTime(other);
    delegate.pinFolders({other});
    delegate.unpinFolders({other});
    // Nothing to wait for: the date must stay put for as long as the watch
    // had to answer the folders above.
    EXPECT_FALSE(QTest::qWaitFor([&] { return accessTime(other) != before; }, 300));
}

// Logout, Ctrl+C and a closed terminal end the real app cleanly: status 0,
// the channel's socket and lock gone, the store usable by the command line.
TEST(ShellSessionEndTest, EndingSignalsQuitCleanly) {
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        skyloom::test::DesktopSession session;
        session.environment.insert("QT_QPA_PLATFORM", "offscreen");
        const QString folder = session.environment.value("XDG_RUNTIME_DIR") + "/skyloom/";
        // In an English session the app finds its translation from the build
        // tree; diagnostics are turned on by area.
        if (number == SIGHUP)
            session.environment.insert("LANG", "en_US.UTF-8");
        if (number == SIGINT)
            session.environment.insert("QT_LOGGING_RULES", "skyloom.shell.info=true");
        QProcess& app = session.start(SKYLOOM_APP, {}, false);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return QFile::exists(folder + "command.socket"); }, 15000));
        // A command on its way while the signal arrives is answered or refused, never lost.
        QProcess pin;
        pin.setProcessEnvironment(session.environment);
        pin.start(SKYLOOM_CLI, {"pin", QString::fromStdString(session.temp.makeFolder("work"))});
        // A process that already ended has no id: kill(0) would hit this whole
        // process group, the test runner included.
        const auto pid = static_cast<pid_t>(app.processId());
        ASSERT_GT(pid, 0) << "the app is not running";
        ::kill(pid, number);
        ASSERT_TRUE(QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 20000));
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0);
        const QByteArray errors = app.readAllStandardError();
        EXPECT_FALSE(errors.contains("translation")) << errors.toStdString();
        EXPECT_EQ(errors.contains("skyloom.shell: ending on signal 2"), number == SIGINT)
            << errors.toStdString();
        EXPECT_FALSE(QFile::exists(folder + "command.socket"));
        EXPECT_FALSE(QFile::exists(folder + "command.socket.lock"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return pin.state() == QProcess::NotRunning; }, 20000));
        // Pinned and said so, or refused with a reason and nothing changed.
        const DesktopResult list = session.run(SKYLOOM_CLI, {"list", "--json"});
        EXPECT_EQ(list.exitCode, 0);
        if (pin.exitCode() == 0)
            EXPECT_TRUE(list.out.contains("/work\""));
        else
            EXPECT_FALSE(pin.readAllStandardError().isEmpty());
        EXPECT_EQ(pin.exitCode() == 0, list.out.contains("/work\""));
    }
}

TEST(ShellLaunchTest, LaunchCheckAndResetNotice) {
    TempDir temp;
    const std::string path = temp.makeFolder("store") + "/s.store";
    std::ofstream(path) << std::string(8192, 'x');
    auto container = openStore(path);
    ASSERT_TRUE(storeWasReset());
    PinStore store{container->mainContext(), PinService::makeDefault(),
                   std::make_shared<HeadlessDesktop>()};
    AppDelegate delegate(store);

    delegate.applicationWillFinishLaunching({"skyloom-app", "--login-item"});
    EXPECT_FALSE(delegate.wasLaunchedByUser());
    delegate.applicationWillFinishLaunching({"skyloom-app"});
    EXPECT_TRUE(delegate.wasLaunchedByUser());

    delegate.performLaunchTasks();
    EXPECT_EQ(store.noticeMessage(), storeResetMessage());
    EXPECT_EQ(delegate.updater().controller(), nullptr); // not started under XCTest
    StoreRecovery::resetForTesting();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("XCTestConfigurationFilePath", "1");
    return runQtTests(argc, argv);
}
