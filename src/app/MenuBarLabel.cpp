#include "app/MenuBarLabel.h"

#include "core/Translate.h"

namespace skyloom::app {

MenuBarLabel::MenuBarLabel(QObject* parent) : QObject(parent), tray_(pinIcon()) {
    // Screen readers and hover both name the item after the app.
    tray_.setToolTip(
        QString::fromStdString(translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom"))));
    connect(&tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick ||
                    reason == QSystemTrayIcon::Context)
                    emit clicked();
            });
}

QIcon MenuBarLabel::pinIcon() {
    static const QIcon icon(QStringLiteral(":/skyloom/engineering.brindle.Skyloom.svg"));
    return icon;
}

bool MenuBarLabel::isTrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void MenuBarLabel::show() {
    // Also without a tray for now: the icon appears once a panel starts one.
    tray_.show();
}

} // namespace skyloom::app
