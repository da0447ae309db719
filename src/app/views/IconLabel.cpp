#include "app/views/IconLabel.h"

#include "app/views/ThemeColors.h"

#include <QApplication>
#include <QEvent>

#include <QHash>
#include <QHelpEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QToolButton>
#include <QToolTip>
#include <cmath>

namespace skyloom::app {
namespace {

struct Symbol {
    const char* themeName;
    QStyle::StandardPixmap fallback;
};

const QHash<QString, Symbol>& symbols() {
    static const QHash<QString, Symbol> table{
        {"pin", {"view-pin-symbolic", QStyle::SP_ArrowUp}},
        {"pin.fill", {"view-pin-symbolic", QStyle::SP_ArrowUp}},
        {"xmark", {"window-close-symbolic", QStyle::SP_TitleBarCloseButton}},
        {"exclamationmark.triangle.fill",
         {"dialog-warning-symbolic", QStyle::SP_MessageBoxWarning}},
        {"info.circle.fill", {"dialog-information-symbolic", QStyle::SP_MessageBoxInformation}},
        {"questionmark.circle.fill", {"dialog-question-symbolic", QStyle::SP_MessageBoxQuestion}},
        {"lock.fill", {"changes-prevent-symbolic", QStyle::SP_MessageBoxWarning}},
        {"magnifyingglass", {"system-search-symbolic", QStyle::SP_FileDialogContentsView}},
        {"macwindow", {"window-new-symbolic", QStyle::SP_TitleBarNormalButton}},
        {"gearshape", {"emblem-system-symbolic", QStyle::SP_FileDialogDetailedView}},
        {"power", {"system-shutdown-symbolic", QStyle::SP_DialogCloseButton}},
        {"folder", {"folder", QStyle::SP_DirIcon}},
        {"arrow.up.arrow.down", {"view-sort-descending-symbolic", QStyle::SP_ArrowDown}},
        {"arrow.uturn.backward", {"edit-undo-symbolic", QStyle::SP_ArrowBack}},
        {"calendar.badge.clock", {"x-office-calendar-symbolic", QStyle::SP_FileDialogInfoView}},
        {"arrow.down", {"go-down-symbolic", QStyle::SP_ArrowDown}},
        {"contextualmenu.and.cursorarrow", {"open-menu-symbolic", QStyle::SP_TitleBarMenuButton}},
    };
    return table;
}

// Desktops set their theme through the platform theme; elsewhere (a bare X
// server, offscreen) fall back to the theme every GTK desktop installs.
void ensureThemeFallback() {
    static const bool done = [] {
        if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor")
            QIcon::setFallbackThemeName("Adwaita");
        return true;
    }();
    (void)done;
}

QIcon withOverlay(const QIcon& base, bool slash, bool question) {
    QIcon result;
    for (int side : {16, 24, 32, 48, 64, 96, 128}) {
        QPixmap pixmap = base.pixmap(QSize(side, side), 1.0);
        pixmap.setDevicePixelRatio(1.0);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor ink(0x3d, 0x3d, 0x3d);
        if (slash) {
            // A gap cut out of the pin, then the stroke inside it.
            const QPointF from(side * 0.1, side * 0.1), to(side * 0.9, side * 0.9);
            painter.setCompositionMode(QPainter::CompositionMode_Clear);
            painter.setPen(QPen(Qt::transparent, side / 5.0, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(from, to);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter.setPen(QPen(ink, side / 12.0 + 0.5, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(from, to);
        }
        if (question) {
            // A badge in the corner, not a mark over the middle: a centred
            // "?" reads as the replacement glyph of broken text.
            const QRectF badge(side * 0.46, side * 0.46, side * 0.54, side * 0.54);
            painter.setPen(QPen(ink, std::max(1.0, side / 24.0)));
            painter.setBrush(QColor(Qt::white));
            painter.drawEllipse(badge.adjusted(0.5, 0.5, -0.5, -0.5));
            QFont font = painter.font();
            font.setBold(true);
            font.setPixelSize(std::max(6, side * 7 / 16));
            painter.setFont(font);
            painter.setPen(ink);
            painter.drawText(badge, Qt::AlignCenter, "?");
        }
        result.addPixmap(pixmap);
    }
    return result;
}

// Shows the help tag of an icon-only button without setting its tooltip,
// which screen readers would also speak as its description.
class HelpTag final : public QObject {
public:
    HelpTag(QString help, QObject* parent) : QObject(parent), help_(std::move(help)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip)
            return false;
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), help_,
                           static_cast<QWidget*>(watched));
        return true;
    }

private:
    QString help_;
};

// The theme's symbolic icons come in a fixed grey that vanishes on a dark
// panel; this button draws its symbol in its palette's text colour.
class SymbolButton final : public QToolButton {
public:
    SymbolButton(QString systemName, QWidget* parent)
        : QToolButton(parent), systemName_(std::move(systemName)) {
        tint();
    }

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::PaletteChange)
            tint();
        QToolButton::changeEvent(event);
    }
    // Styles draw no focus on a borderless tool button; the keyboard needs one.
    void paintEvent(QPaintEvent* event) override {
        QToolButton::paintEvent(event);
        if (hasFocus())
            paintFocusRing(this, rect());
    }

private:
    void tint() {
        const QPalette& colors = palette();
        setIcon(tintedIcon(
            systemName_, 18,
            withContrast(colors.color(QPalette::ButtonText), colors.color(QPalette::Window), 4.5)));
    }

    QString systemName_;
};

} // namespace

QIcon symbolImage(const QString& systemName) {
    ensureThemeFallback();
    if (systemName == "pin.slash")
        return withOverlay(symbolImage("pin"), true, false);
    if (systemName == "questionmark.folder")
        return withOverlay(symbolImage("folder"), false, true);
    auto found = symbols().find(systemName);
    if (found == symbols().end())
        return {};
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(found->themeName));
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(found->fallback);
    return icon;
}

QPixmap tintedSymbol(const QString& systemName, int side, const QColor& color) {
    // Rows draw these on every paint; keep the coloured copies.
    const QString key =
        QStringLiteral("skyloom-symbol/%1/%2/%3").arg(systemName).arg(side).arg(color.rgba());
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    // Asked for at ratio 1: `side` is in device pixels here.
    pixmap = symbolImage(systemName).pixmap(QSize(side, side), 1.0);
    pixmap.setDevicePixelRatio(1.0);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    painter.end();
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QPixmap symbolPixmap(const QString& systemName, int side, const QColor& color, qreal ratio) {
    const int pixels = static_cast<int>(std::ceil(side * ratio));
    QPixmap pixmap = tintedSymbol(systemName, pixels, color);
    if (pixmap.width() != pixels)
        pixmap = pixmap.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon tintedIcon(const QString& systemName, int side, const QColor& color) {
    QIcon icon;
    for (qreal ratio : {1.0, 2.0, 3.0})
        icon.addPixmap(symbolPixmap(systemName, side, color, ratio));
    return icon;
}

QToolButton* iconLabel(const QString& systemName, const QString& help, QWidget* parent) {
    auto* button = new SymbolButton(systemName, parent);
    button->setAutoRaise(true);
    button->setIconSize(QSize(18, 18));
    button->setFixedSize(iconLabelSide, iconLabelSide);
    button->installEventFilter(new HelpTag(help, button));
    button->setAccessibleName(help);
    return button;
}

} // namespace skyloom::app
