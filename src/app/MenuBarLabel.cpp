#include "app/MenuBarLabel.h"

#include "app/Logging.h"
#include "core/Translate.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusServiceWatcher>

namespace skyloom::app {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

QString text(const char* key) {
    return QString::fromStdString(translate(key));
}

const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

bool statusNotifierWatcherRuns() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(watcherService).value();
}

// Qt shows its icon over D-Bus only where a host has registered.
bool statusNotifierHostRuns() {
    QDBusInterface watcher(watcherService, watcherPath, watcherService,
                           QDBusConnection::sessionBus());
    return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}

} // namespace

MenuBarLabel::MenuBarLabel(QObject* parent) : QObject(parent), tray_(pinIcon()) {
    // Screen readers and hover both name the item after the app.
    tray_.setToolTip(text(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom")));
    connect(menu_.addAction(text(SKYLOOM_TRANSLATE_NOOP("Skyloom", "폴더 고정…"))),
            &QAction::triggered, this, &MenuBarLabel::pinFoldersRequested);
    connect(menu_.addAction(text(SKYLOOM_TRANSLATE_NOOP("Skyloom", "관리 창 열기"))),
            &QAction::triggered, this, &MenuBarLabel::managerRequested);
    connect(menu_.addAction(text(SKYLOOM_TRANSLATE_NOOP("Skyloom", "설정"))), &QAction::triggered,
            this, &MenuBarLabel::settingsRequested);
    menu_.addSeparator();
    connect(menu_.addAction(text(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom 종료"))),
            &QAction::triggered, this, &MenuBarLabel::quitRequested);
    tray_.setContextMenu(&menu_);
    connect(&tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // The context click shows the menu; a click or double click the panel.
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit clicked();
            });
    connect(&relay_, &StatusNotifierRelay::activated, this, [this](const QPoint& point) {
        clickPoint_ = point;
        emit clicked();
        clickPoint_ = QPoint();
    });

    // An XEmbed tray that appears later is taken up by Qt itself; a
    // StatusNotifierItem one is not, when there was none at start.
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && statusNotifierWatcherRuns()) {
        // A tray that restarts may not have taken Qt's registration, sent
        // the moment its watcher appeared: register again once it is up.
        QDBusConnection(bus).connect(watcherService, watcherPath, watcherService,
                                     QStringLiteral("StatusNotifierHostRegistered"), this,
                                     SLOT(registerAgain()));
    } else if (bus.isConnected()) {
        watcher_ = std::make_unique<QDBusServiceWatcher>(watcherService, bus,
                                                         QDBusServiceWatcher::WatchForRegistration);
        connect(watcher_.get(), &QDBusServiceWatcher::serviceRegistered, this,
                &MenuBarLabel::statusNotifierTrayChanged);
        QDBusConnection(bus).connect(watcherService, watcherPath, watcherService,
                                     QStringLiteral("StatusNotifierHostRegistered"), this,
                                     SLOT(statusNotifierTrayChanged()));
    }
}

void MenuBarLabel::registerAgain() {
    if (!tray_.isVisible() || relay_.registerWithWatcher())
        return;
    // Shown anew, Qt's item registers itself.
    tray_.hide();
    tray_.show();
    relay_.install();
}

void MenuBarLabel::statusNotifierTrayChanged() {
    // An XEmbed tray holding the icon already is enough.
    if (!watcher_ || (QSystemTrayIcon::isSystemTrayAvailable() && tray_.geometry().isValid()))
        return;
    if (statusNotifierHostRuns()) {
        watcher_.reset();
        qCInfo(lcShell) << "a StatusNotifierItem tray appeared; restarting to show the icon there";
        emit trayNeedsRestart();
    }
}

MenuBarLabel::~MenuBarLabel() = default;

QIcon MenuBarLabel::pinIcon() {
    static const QIcon icon(QStringLiteral(":/skyloom/engineering.brindle.Skyloom.svg"));
    return icon;
}

bool MenuBarLabel::isTrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void MenuBarLabel::show() {
    // Also without a tray: the icon appears once a panel starts one.
    tray_.show();
    relay_.install();
}

QRect MenuBarLabel::geometry() const {
    const QRect icon = tray_.geometry();
    if (icon.isValid() || clickPoint_.isNull())
        return icon;
    return {clickPoint_, QSize(1, 1)};
}

} // namespace skyloom::app
