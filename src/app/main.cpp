#include "app/AppTranslations.h"
#include "app/FileManagerIntegration.h"
#include "app/MenuBarLabel.h"
#include "app/SessionEnd.h"
#include "app/SkyloomApp.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/DirectUpdater.h"
#include "app/views/Preferences.h"
#include "app/views/QtDesktop.h"
#include "core/store/PinStore.h"

#include <QApplication>
#include <QFile>
#include <QSettings>

#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_MACOS
#include "app/macos/MacBridge.h"
#endif

using namespace skyloom;
using namespace skyloom::app;

int main(int argc, char** argv) {
    // Nothing Skyloom writes (settings, entries, the store) may be writable
    // by others, whatever the umask it was started with.
    ::umask(::umask(0) | 022);
#ifdef Q_OS_MACOS
    // An agent app: Qt must not turn it into a Dock application.
    qputenv("QT_MAC_DISABLE_FOREGROUND_APPLICATION_TRANSFORM", "1");
#endif
    // Qt takes the X11 token from the environment as it starts.
    const std::string activationToken = AppDelegate::launcherActivationToken();
    // Each line says whose it is; QT_MESSAGE_PATTERN still overrides it.
    qSetMessagePattern(QStringLiteral("%{appname}: %{if-category}%{category}: %{endif}%{message}"));
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("brindle-engineering"));
    QApplication::setApplicationName(QStringLiteral("Skyloom"));
    QApplication::setApplicationVersion(QStringLiteral(SKYLOOM_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("engineering.brindle.Skyloom"));
    QApplication::setWindowIcon(MenuBarLabel::pinIcon());
    // The app lives in the tray: closing its windows does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    installTranslations(application);
    // One settings file for every part of the app, Skyloom.ini.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    Preferences::migrate();

    const QStringList arguments = QApplication::arguments();
    if (AppDelegate::handOffToRunningApp(arguments, activationToken))
        return 0;

    // Before anything can announce or ask for folders.
    PinStore& store = PinStore::shared();
    store.setDesktop(std::make_shared<QtDesktop>());

    AppDelegate delegate(store);
    delegate.applicationWillFinishLaunching(arguments);
    SkyloomApp::Options options;
    options.wasLaunchedByUser = [&delegate] { return delegate.wasLaunchedByUser(); };
    SkyloomApp app(store, options);
    app.setCheckForUpdates([&delegate] { delegate.updater().checkForUpdates(); });
    app.setIntegrateFileManagers(&integrateFileManagers);
    delegate.bringManagerForward = [&app](const std::string& token) {
        app.openWindowAndActivate(QStringLiteral("manager"), QByteArray::fromStdString(token));
    };
    delegate.applicationDidFinishLaunching();
#ifdef Q_OS_MACOS
    macos::provideServices(
        [&store](const std::vector<std::string>& paths) {
            store.add(paths);
            store.showMessagesIfNeeded();
        },
        [&store](const std::vector<std::string>& paths) {
            store.unpin(paths);
            store.showMessagesIfNeeded();
        });
    macos::observeFinderActivation([&store] { store.reapplyAll(); });
#endif

    SessionEnd sessionEnd([&delegate] { delegate.applicationWillTerminate(); });

    // A tray that started after the app (autostart before the panel) gets
    // the icon from a fresh process, once no window of the app is open.
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
    const auto restartForTray = [&delegate, program] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && widget->isWindow())
                return false;
        delegate.applicationWillTerminate();
        std::vector<char*> arguments{const_cast<char*>(program.constData()),
                                     const_cast<char*>("--login-item"), nullptr};
        ::execv(program.constData(), arguments.data());
        return false;
    };
    QObject::connect(&app.label(), &MenuBarLabel::trayNeedsRestart, &application,
                     [&application, restartForTray] {
                         if (!restartForTray())
                             QObject::connect(&application, &QGuiApplication::lastWindowClosed,
                                              restartForTray);
                     });

    app.label().show();
    integrateOnFirstStart();
    app.openInitialWindows();
    const int status = application.exec();
    delegate.applicationWillTerminate();
    return status;
}
