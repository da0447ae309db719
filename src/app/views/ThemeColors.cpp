#include "app/views/ThemeColors.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <cmath>

namespace skyloom::app {
namespace {

double channel(double value) {
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& color) {
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

QColor mixed(const QColor& from, const QColor& to, double amount) {
    auto mix = [&](double a, double b) { return a + (b - a) * amount; };
    return QColor::fromRgbF(static_cast<float>(mix(from.redF(), to.redF())),
                            static_cast<float>(mix(from.greenF(), to.greenF())),
                            static_cast<float>(mix(from.blueF(), to.blueF())));
}

bool isDark(const QPalette& palette) {
    return luminance(palette.color(QPalette::Window)) < 0.2;
}

// The focus ring Fusion and friends draw in the highlight colour vanishes on
// a button whose face is that colour; this one draws its own in the text's.
class ProminentButton final : public QPushButton {
public:
    ProminentButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
        applyColors();
    }

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::PaletteChange && !applying_)
            applyColors();
        QPushButton::changeEvent(event);
    }
    // Drawn here rather than by the style: styles lighten or desaturate a
    // button's colour, which would undo the contrast chosen for it.
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette& colors = palette();
        QColor face = colors.color(QPalette::Button);
        if (isDown())
            face = face.darker(115);
        else if (!isEnabled())
            face.setAlphaF(0.5f);
        painter.setPen(QPen(face.darker(120), 1));
        painter.setBrush(face);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);

        QStyleOptionButton option;
        initStyleOption(&option);
        option.state &= ~QStyle::State_HasFocus;
        const QRect contents =
            style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        const QColor ink = colors.color(QPalette::ButtonText);
        const QString label = text();
        const QFontMetrics metrics = fontMetrics();
        const int gap = icon().isNull() ? 0 : 6;
        const QSize glyph = icon().isNull() ? QSize() : iconSize();
        const int width = glyph.width() + gap + metrics.horizontalAdvance(label);
        int x = contents.center().x() - width / 2;
        if (!icon().isNull()) {
            icon().paint(&painter, QRect(x, contents.center().y() - glyph.height() / 2,
                                         glyph.width(), glyph.height()));
            x += glyph.width() + gap;
        }
        painter.setPen(ink);
        painter.drawText(QRect(x, contents.top(), contents.right() - x + 1, contents.height()),
                         Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, label);
        if (hasFocus()) {
            painter.setPen(QPen(ink, 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5), 3, 3);
        }
    }

private:
    void applyColors() {
        applying_ = true;
        QPalette base = parentWidget() ? parentWidget()->palette() : palette();
        QColor text = base.color(QPalette::HighlightedText);
        QColor face = withContrast(base.color(QPalette::Highlight), text, 4.5);
        QPalette prominent = base;
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            prominent.setColor(group, QPalette::Button, face);
            prominent.setColor(group, QPalette::ButtonText, text);
        }
        setPalette(prominent);
        applying_ = false;
    }

    bool applying_ = false;
};

class FocusRing final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || painting_)
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        // The widget paints itself first, then the ring goes on top.
        painting_ = true;
        QCoreApplication::sendEvent(widget, event);
        painting_ = false;
        if (widget->hasFocus())
            paintFocusRing(widget, widget->rect().adjusted(1, 1, -1, -1));
        return true;
    }

private:
    bool painting_ = false;
};

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    double x = luminance(a), y = luminance(b);
    if (x < y)
        std::swap(x, y);
    return (x + 0.05) / (y + 0.05);
}

QColor withContrast(const QColor& wanted, const QColor& background, double ratio) {
    QColor color = wanted.toRgb();
    color.setAlpha(255);
    if (contrastRatio(color, background) >= ratio)
        return color;
    // Towards the end that stands out more from the background.
    const QColor end = contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background)
                           ? QColor(Qt::black)
                           : QColor(Qt::white);
    for (int step = 1; step <= 20; ++step) {
        QColor candidate = mixed(color, end, step / 20.0);
        if (contrastRatio(candidate, background) >= ratio)
            return candidate;
    }
    return end;
}

QColor errorInk(const QPalette& palette, const QColor& background, double ratio) {
    return withContrast(isDark(palette) ? QColor(0xff, 0x7b, 0x72) : QColor(0xc0, 0x1c, 0x28),
                        background, ratio);
}

QColor noticeInk(const QPalette& palette, const QColor& background, double ratio) {
    return withContrast(palette.color(QPalette::Highlight), background, ratio);
}

QColor accentInk(const QPalette& palette, const QColor& background) {
    return withContrast(palette.color(QPalette::Highlight), background, 3.0);
}

QColor secondaryText(const QPalette& palette, const QColor& background) {
    // As quiet as the palette's placeholder, as long as it still reads.
    QColor quiet = mixed(palette.color(QPalette::WindowText), background, 0.45);
    return withContrast(quiet, background, 4.5);
}

QColor styledButtonFace(const QPalette& palette) {
    const QColor button = palette.color(QPalette::Button);
    return isDark(palette) ? button.lighter(135) : button.darker(108);
}

QColor bannerBackground(const QPalette& palette, bool error) {
    const QColor window = palette.color(QPalette::Window);
    const QColor tint = error ? errorInk(palette, window) : palette.color(QPalette::Highlight);
    return mixed(window, tint, isDark(palette) ? 0.16 : 0.1);
}

void paintFocusRing(QWidget* widget, const QRect& rect) {
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colors = widget->palette();
    // 3:1 against the window and against a button's face, which styles
    // draw lighter or darker than the window.
    QColor ring =
        withContrast(colors.color(QPalette::Highlight), colors.color(QPalette::Window), 3.0);
    ring = withContrast(ring, styledButtonFace(colors), 3.0);
    ring = withContrast(ring, colors.color(QPalette::Button).lighter(110), 3.0);
    painter.setPen(QPen(ring, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), 4, 4);
}

void showFocusRing(QWidget* widget) {
    widget->installEventFilter(new FocusRing(widget));
}

void makeSecondary(QWidget* label) {
    QPalette palette = label->palette();
    const QColor color = secondaryText(palette, palette.color(QPalette::Window));
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::WindowText, color);
    label->setPalette(palette);
}

QPushButton* prominentButton(const QString& text, QWidget* parent) {
    return new ProminentButton(text, parent);
}

} // namespace skyloom::app
