#include "app/views/PinRow.h"

#include "app/views/IconLabel.h"
#include "app/views/ThemeColors.h"
#include "app/views/ViewText.h"
#include "core/store/PinStore.h"

#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionViewItem>

#include <utility>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace skyloom::app {
namespace {

constexpr int padding = 4;
constexpr int margin = 8;
constexpr int spacing = 12;
constexpr int iconSide = 32;
constexpr int symbolSide = 12;

QFont captionFont(const QWidget* widget) {
    QFont font = widget ? widget->font() : QApplication::font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    return font;
}

QFont bodyFont(const QWidget* widget) {
    return widget ? widget->font() : QApplication::font();
}

// The height of one line as drawn: Hangul falls back to a CJK font whose
// lines are taller than those of the primary font.
int lineHeight(const QFont& font) {
    // Asked for every row at every layout: a font's key is costly to build,
    // so the fonts seen are compared as they are (a row uses two).
    static std::vector<std::pair<QFont, int>> heights;
    for (const auto& [seen, height] : heights)
        if (seen == font)
            return height;
    QFontMetrics metrics(font);
    const QRect sample =
        metrics.boundingRect(QRect(0, 0, 10000, 10000), Qt::AlignLeft, QStringLiteral("한글 Ag"));
    const int height = std::max(metrics.lineSpacing(), sample.height());
    heights.emplace_back(font, height);
    return height;
}

QColor secondaryColor(const QPalette& palette, bool selected) {
    if (selected)
        return palette.color(QPalette::HighlightedText);
    QPalette onBase = palette;
    onBase.setColor(QPalette::WindowText, palette.color(QPalette::Text));
    return secondaryText(onBase, palette.color(QPalette::Base));
}

QString regrantTitle() {
    return localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "다시 허용"));
}

QSize regrantSize(const QWidget* widget) {
    QFontMetrics metrics(captionFont(widget));
    return {metrics.horizontalAdvance(regrantTitle()) + 16, metrics.height() + 8};
}

// The flagged text over at most two lines, shortened in the middle when even
// two lines cannot hold it.
QString fitTwoLines(const QString& text, const QFont& font, int width) {
    QFontMetrics metrics(font);
    QRect bounds = metrics.boundingRect(QRect(0, 0, width, 1000), Qt::TextWordWrap, text);
    if (bounds.height() <= lineHeight(font) * 2)
        return text;
    return metrics.elidedText(text, Qt::ElideMiddle, width * 2 - metrics.averageCharWidth() * 4);
}

} // namespace

void PinRow::regrantOrCheck(const PinnedFolderPtr& pin, PinStore& store) {
#if defined(Q_OS_MACOS)
    store.regrantAccess(pin);
#else
    // Here access comes from the owner, the permissions or the mount, never
    // from a chooser: look at the folder again and say how it went.
    store.reapplyAll();
    const std::string name = pin->displayName();
    if (pin->needsAccess())
        store.setNoticeMessage(
            translate(SKYLOOM_TRANSLATE_NOOP(
                          "Skyloom", "'%1' 폴더를 다시 확인했지만 아직 날짜를 바꿀 수 없어요."),
                      name));
    else
        store.setNoticeMessage(
            translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "'%1' 폴더를 다시 고정했어요."), name));
#endif
}

QString PinRow::secondLine(const PinnedFolder& pin) {
    const auto current = status(pin);
    if (current == Status::normal)
        return abbreviatedPath(pin.path());
    return QString::fromStdString(pinStatusText(pin));
}

std::string PinRow::homeDirectory() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && *entry->pw_dir)
        return entry->pw_dir;
    return QDir::homePath().toStdString();
}

QString PinRow::abbreviatedPath(const std::string& path) {
    return abbreviatedPath(path, homeDirectory());
}

QString PinRow::abbreviatedPath(const std::string& path, const std::string& home) {
    std::string result = path;
    if (!home.empty() && path.size() > home.size() + 1 && path.compare(0, home.size(), home) == 0 &&
        path[home.size()] == '/')
        result = "~" + path.substr(home.size());
    return QString::fromStdString(result).normalized(QString::NormalizationForm_C);
}

QIcon PinRow::icon(const PinnedFolder& pin) {
    if (pin.isMissing())
        return symbolImage("questionmark.folder");
    static const QFileIconProvider provider;
    QFileInfo info(QString::fromStdString(pin.path()));
    if (info.exists())
        return provider.icon(info);
    return provider.icon(QFileIconProvider::Folder);
}

std::vector<PinRow::Button> PinRow::buttons(const PinnedFolder& pin) {
    std::vector<Button> result;
    if (pin.needsAccess())
        result.push_back(Button::regrant);
    if (!pin.isMissing())
        result.push_back(Button::reveal);
    result.push_back(Button::unpin);
    return result;
}

QString PinRow::buttonTitle(Button button, const PinnedFolder& pin) {
    switch (button) {
    case Button::regrant:
        return regrantTitle();
    case Button::reveal:
        return localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Finder에서 보기"));
    case Button::unpin:
        return pin.isMissing() ? localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "목록에서 지우기"))
                               : localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정 해제"));
    }
    return {};
}

QString PinRow::buttonIdentifier(Button button) {
    switch (button) {
    case Button::regrant:
        return "pins.regrant";
    case Button::reveal:
        return {};
    case Button::unpin:
        return "pins.unpin";
    }
    return {};
}

void PinRow::trigger(Button button, const PinnedFolderPtr& pin, PinStore& store) {
    switch (button) {
    case Button::regrant:
        regrantOrCheck(pin, store);
        break;
    case Button::reveal:
        store.reveal(*pin);
        break;
    case Button::unpin:
        store.removeFromList(pin);
        break;
    }
}

int PinRow::height(bool flagged, const QWidget* widget) {
    const int text =
        lineHeight(bodyFont(widget)) + 2 + lineHeight(captionFont(widget)) * (flagged ? 2 : 1);
    return std::max(iconSide, text) + 2 * padding;
}

PinRow::Geometry PinRow::geometry(const PinnedFolder& pin, const QRect& rect,
                                  const QWidget* widget) {
    Geometry result;
    const int centre = rect.center().y();
    result.icon = QRect(rect.left() + margin, centre - iconSide / 2, iconSide, iconSide);

    int right = rect.right() - margin + 1;
    auto kinds = buttons(pin);
    for (auto it = kinds.rbegin(); it != kinds.rend(); ++it) {
        QSize size =
            *it == Button::regrant ? regrantSize(widget) : QSize(iconLabelSide, iconLabelSide);
        QRect button(right - size.width(), centre - size.height() / 2, size.width(), size.height());
        result.buttons.insert(result.buttons.begin(), {*it, button});
        right = button.left() - spacing;
    }

    const bool flagged = status(pin) != Status::normal;
    const int body = lineHeight(bodyFont(widget));
    const int caption = lineHeight(captionFont(widget)) * (flagged ? 2 : 1);
    const int left = result.icon.right() + 1 + spacing;
    const int width = std::max(0, right - left);
    const int top = centre - (body + 2 + caption) / 2;
    result.name = QRect(left, top, width, body);
    result.secondLine = QRect(left, top + body + 2, width, caption);
    return result;
}

void PinRow::paint(QPainter* painter, const QStyleOptionViewItem& option, const PinnedFolder& pin,
                   int pressedButton) {
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, widget);

    const bool selected = option.state & QStyle::State_Selected;
    const auto rowStatus = status(pin);
    const bool flagged = rowStatus != Status::normal;
    const Geometry parts = geometry(pin, option.rect, widget);
    painter->save();

    icon(pin).paint(painter, parts.icon, Qt::AlignCenter,
                    pin.isMissing() ? QIcon::Disabled : QIcon::Normal);

    const QPalette& palette = option.palette;
    painter->setFont(bodyFont(widget));
    painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    QString name = QString::fromStdString(pin.displayName());
    painter->drawText(parts.name, Qt::AlignLeft | Qt::AlignVCenter,
                      painter->fontMetrics().elidedText(name, Qt::ElideRight, parts.name.width()));

    QFont caption = captionFont(widget);
    painter->setFont(caption);
    QFontMetrics metrics(caption);
    QRect line = parts.secondLine;
    QString text = secondLine(pin);
    if (flagged) {
        const QColor background = palette.color(selected ? QPalette::Highlight : QPalette::Base);
        QColor tint = selected ? palette.color(QPalette::HighlightedText)
                      : rowStatus == Status::missing
                          ? errorInk(palette, background, 3.0)
                          : withContrast(QColor(0xc6, 0x6a, 0x00), background, 3.0);
        // A warning sign, not a question mark in a shape: that reads as the
        // replacement glyph of broken text.
        QString symbol =
            rowStatus == Status::missing ? "exclamationmark.triangle.fill" : "lock.fill";
        const int symbolTop = line.top() + (lineHeight(caption) - symbolSide) / 2;
        painter->drawPixmap(QRect(line.left(), symbolTop, symbolSide, symbolSide),
                            tintedSymbol(symbol, symbolSide * 2, tint));
        line.setLeft(line.left() + symbolSide + 4);
        painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(line, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                          fitTwoLines(text, caption, line.width()));
    } else {
        painter->setPen(secondaryColor(palette, selected));
        painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(text, Qt::ElideMiddle, line.width()));
    }

    for (std::size_t i = 0; i < parts.buttons.size(); ++i) {
        const auto& [kind, rect] = parts.buttons[i];
        const bool pressed = static_cast<int>(i) == pressedButton;
        if (kind == Button::regrant) {
            QStyleOptionButton button;
            button.initFrom(widget);
            button.rect = rect;
            button.text = regrantTitle();
            button.fontMetrics = metrics;
            button.state =
                QStyle::State_Enabled | (pressed ? QStyle::State_Sunken : QStyle::State_Raised);
            painter->setFont(caption);
            style->drawControl(QStyle::CE_PushButton, &button, painter, widget);
            continue;
        }
        if (pressed) {
            QStyleOptionToolButton panel;
            panel.initFrom(widget);
            panel.rect = rect;
            panel.state = QStyle::State_Enabled | QStyle::State_Sunken | QStyle::State_AutoRaise;
            style->drawPrimitive(QStyle::PE_PanelButtonTool, &panel, painter, widget);
        }
        QString symbol = kind == Button::reveal ? "magnifyingglass" : "pin.slash";
        QColor ink = selected ? palette.color(QPalette::HighlightedText)
                              : withContrast(palette.color(QPalette::Text),
                                             palette.color(QPalette::Base), 4.5);
        painter->drawPixmap(rect.adjusted(5, 5, -5, -5), tintedSymbol(symbol, 36, ink));
    }

    // The keyboard's place: a ring in the highlight colour, or on a selected
    // (highlighted) row in the colour of its text.
    if (option.state & QStyle::State_HasFocus) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(
            QPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Highlight), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option.rect).adjusted(2, 2, -2, -2), 4, 4);
    }
    painter->restore();
}

} // namespace skyloom::app
