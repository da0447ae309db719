#pragma once

// A private desktop session for tests of the real app: its own X server (or
// Wayland compositor), session bus and home, and the real skyloom-app
// started in it as the user would start it.

#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include <csignal>
#include <unistd.h>

namespace skyloom::test {

class DesktopSession {
public:
    DesktopSession() {
        const QString home = QString::fromStdString(temp.path());
        environment.insert("HOME", home);
        environment.insert("XDG_CONFIG_HOME", home + "/config");
        environment.insert("XDG_DATA_HOME", home + "/data");
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(temp.makeFolder("run", 0700)));
        environment.insert("LANG", "ko_KR.UTF-8");
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "WAYLAND_DISPLAY",
                                 "DBUS_SESSION_BUS_ADDRESS", "DESKTOP_STARTUP_ID"})
            environment.remove(name);
        // Neither the welcome window nor the update checker.
        environment.insert("XCTestConfigurationFilePath", "/dev/null");
        QDir().mkpath(home + "/config/brindle-engineering");
        QFile settings(home + "/config/brindle-engineering/Skyloom.ini");
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[General]\nhasSeenOnboarding=true\n");
    }

    ~DesktopSession() {
        // The app first, the desktop's programs after it, the server last.
        for (auto it = processes.rbegin(); it != processes.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(3000))
                (*it)->kill();
            (*it)->waitForFinished(3000);
        }
        if (busPid > 0)
            ::kill(busPid, SIGTERM);
    }

    static bool installed(const QString& program) {
        return !QStandardPaths::findExecutable(program).isEmpty();
    }

    // Xvfb on a display number it picks itself (free of every other
    // test's); false when it does not come up.
    bool startX(const QString& size = "1024x768x24") {
        QProcess& server =
            start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", size});
        QByteArray number;
        if (!QTest::qWaitFor(
                [&] {
                    number += server.readAllStandardOutput();
                    return number.endsWith('\n') || server.state() == QProcess::NotRunning;
                },
                10000))
            return false;
        if (number.trimmed().isEmpty())
            return false;
        display = ":" + QString::fromLatin1(number.trimmed());
        environment.insert("DISPLAY", display);
        environment.insert("QT_QPA_PLATFORM", "xcb");
        for (auto& process : processes) // the server itself, started before
            process->setProcessEnvironment(environment);
        return run("xprop", {"-root", "-len", "0"}).exitCode == 0;
    }

    // A session bus of its own.
    bool startBus() {
        const Result bus = run("dbus-launch", {"--sh-syntax"});
        const auto match = QRegularExpression("DBUS_SESSION_BUS_ADDRESS='([^']+)'").match(bus.out);
        const auto pid = QRegularExpression("DBUS_SESSION_BUS_PID=(\\d+)").match(bus.out);
        if (!match.hasMatch())
            return false;
        environment.insert("DBUS_SESSION_BUS_ADDRESS", match.captured(1));
        busPid = pid.captured(1).toInt();
        return true;
    }

    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    QProcess& start(const QString& program, const QStringList& arguments = {},
                    bool forwardErrors = true) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        if (forwardErrors)
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, arguments);
        processes.push_back(std::move(process));
        return *processes.back();
    }

    struct Result {
        int exitCode = -1;
        QString out;
    };
    Result run(const QString& program, const QStringList& arguments = {}, int ms = 20000) {
        QProcess process;
        // The tools read UTF-8 window titles only in a UTF-8 locale.
        QProcessEnvironment tool = environment;
        tool.insert("LC_ALL", "C.UTF-8");
        process.setProcessEnvironment(tool);
        process.start(program, arguments);
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, ms)) {
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()).trimmed()};
    }

    // A picture of the whole screen under $SKYLOOM_SHOTS, when it is set.
    void screenshot(const QString& name) {
        const QString folder = qEnvironmentVariable("SKYLOOM_SHOTS");
        if (folder.isEmpty() || !installed("xwd") || !installed("convert"))
            return;
        QDir().mkpath(folder);
        run("sh",
            {"-c", QString("xwd -root -silent | convert xwd:- '%1/%2.png'").arg(folder, name)});
    }

    TempDir temp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString display;
    int busPid = 0;
    std::vector<std::unique_ptr<QProcess>> processes;
};

} // namespace skyloom::test
