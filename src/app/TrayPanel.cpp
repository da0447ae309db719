#include "app/TrayPanel.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace skyloom::app {

namespace {
constexpr int gap = 4;
}

TrayPanel::TrayPanel(QWidget* content, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint), content_(content) {
    setObjectName(QStringLiteral("panel"));
    setWindowRole(QStringLiteral("panel"));
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(content_);
    // A thin edge, since there is no frame to tell the panel from what lies below.
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("skyloom--app--TrayPanel { border: 1px solid palette(mid); }"));
}

QPoint TrayPanel::placement(const QRect& icon, const QPoint& cursor, const QSize& size,
                            const QRect& available) {
    const QRect anchor = icon.isValid() ? icon : QRect(cursor, QSize(1, 1));
    int x = anchor.center().x() - size.width() / 2;
    int y = anchor.center().y() < available.center().y() ? anchor.bottom() + 1 + gap
                                                         : anchor.top() - gap - size.height();
    x = std::clamp(x, available.left(),
                   std::max(available.left(), available.right() + 1 - size.width()));
    y = std::clamp(y, available.top(),
                   std::max(available.top(), available.bottom() + 1 - size.height()));
    return {x, y};
}

void TrayPanel::popUp(const QRect& iconGeometry) {
    const QPoint cursor = QCursor::pos();
    const QPoint probe = iconGeometry.isValid() ? iconGeometry.center() : cursor;
    QScreen* screen = QGuiApplication::screenAt(probe);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    adjustSize();
    const QSize size = sizeHint().expandedTo(minimumSizeHint());
    resize(size);
    if (screen)
        move(placement(iconGeometry, cursor, size, screen->availableGeometry()));
    show();
    raise();
    activateWindow();
}

void TrayPanel::toggle(const QRect& iconGeometry) {
    // While the panel is up it holds the pointer: a click on the icon
    // closes it as a click elsewhere does and never reaches the icon, so the
    // icon's click always means "open".
    if (isVisible())
        hide();
    else
        popUp(iconGeometry);
}

bool TrayPanel::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowDeactivate:
        // Like a menu: a click elsewhere, or another window taking the
        // focus, puts the panel away.
        if (isVisible())
            hide();
        break;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            hide();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

} // namespace skyloom::app
