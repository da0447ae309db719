#include "QtTestMain.h"
#include "ViewStoreFixture.h"
#include "app/views/MessageBanner.h"
#include "app/views/PinListView.h"
#include "app/views/PinRowListView.h"
#include "app/views/SettingsView.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QToolButton>

#include <cmath>
#include <iostream>
#include <map>
#include <vector>

using namespace skyloom;
using namespace skyloom::app;

namespace {

double luminance(QRgb rgb) {
    auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
           0.0722 * channel(qBlue(rgb));
}

double ratio(QRgb a, QRgb b) {
    double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// The contrast of what a widget draws, from its pixels: the commonest colour
// is its background, the pixel that differs most from it is its ink. Written
// out for the record of both themes.
double renderedContrast(QWidget* widget, QRect area = {}) {
    QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (area.isNull())
        area = image.rect();
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                          return a.second < b.second;
                      })->first;
    double best = 1;
    for (const auto& [color, count] : counts)
        best = std::max(best, ratio(color, background));
    const QString name =
        widget->accessibleName().isEmpty() ? widget->objectName() : widget->accessibleName();
    std::cout << "contrast " << name.toStdString() << ": " << best << "\n";
    return best;
}

class ThemeTest : public test::ViewStoreFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        QApplication::setPalette(GetParam() ? test::darkerPalette()
                                            : QApplication::style()->standardPalette());
    }
    void TearDown() override { QApplication::setPalette(QApplication::style()->standardPalette()); }
};

TEST_P(ThemeTest, TextAndSymbolsStandOutFromTheirBackground) {
    pinFolders({"Work"});
    PinListView panel(store, PinListView::Style::menuBar, {});
    store.setErrorMessage("error");
    store.setNoticeMessage("notice");
    panel.resize(360, 560);
    panel.show();
    QApplication::processEvents();

    for (auto* button : panel.findChildren<QToolButton*>()) {
        if (!button->isVisible())
            continue;
        EXPECT_GE(renderedContrast(button), 3.0) << button->accessibleName().toStdString();
        // Crisp at 2x: the icon has an image of twice the pixels.
        const QPixmap sharp = button->icon().pixmap(QSize(18, 18), 2.0);
        EXPECT_EQ(std::max(sharp.width(), sharp.height()), 36)
            << button->accessibleName().toStdString();
    }
    auto* add = panel.addButton();
    // The face without its rounded border: text on the accent.
    EXPECT_GE(renderedContrast(add, add->rect().adjusted(3, 3, -3, -3)), 4.5);
    EXPECT_GE(renderedContrast(panel.hint()), 4.5);
    for (auto* banner : {panel.errorBanner(), panel.noticeBanner()}) {
        auto* symbol = banner->findChildren<QLabel*>().value(0);
        ASSERT_NE(symbol, nullptr);
        EXPECT_GE(renderedContrast(banner, symbol->geometry()), 3.0);
        EXPECT_GE(renderedContrast(banner, banner->findChildren<QLabel*>().value(1)->geometry()),
                  4.5);
    }

    SettingsView settings(store, {});
    settings.show();
    QApplication::processEvents();
    EXPECT_GE(renderedContrast(settings.unpinAllButton(),
                               settings.unpinAllButton()->rect().adjusted(3, 3, -3, -3)),
              4.5);
}

// How much the keyboard focus changes a widget's pixels: the strongest
// contrast of a changed pixel against what that pixel showed before.
double focusRingContrast(QWidget* widget) {
    widget->clearFocus();
    QApplication::processEvents();
    const QImage before = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    widget->setFocus(Qt::TabFocusReason);
    // What a Tab key press marks on its window: styles show focus only then.
    widget->window()->setAttribute(Qt::WA_KeyboardFocusChange);
    QApplication::processEvents();
    const QImage after = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    double best = 1;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            best = std::max(best, ratio(after.pixel(x, y), before.pixel(x, y)));
    std::cout << "focus ring " << widget->accessibleName().toStdString() << ": " << best
              << (widget->hasFocus() ? "" : " (no focus)") << "\n";
    return best;
}

TEST_P(ThemeTest, EveryButtonLinkAndRowShowsTheKeyboardFocus) {
    pinFolders({"Work"});
    PinListView panel(store, PinListView::Style::menuBar, {});
    SettingsView settings(store, {});
    panel.show();
    QApplication::setActiveWindow(&panel);
    QApplication::processEvents();
    EXPECT_GE(focusRingContrast(panel.addButton()), 3.0);
    for (auto* button : panel.findChildren<QToolButton*>()) {
        if (button->isVisible()) {
            EXPECT_GE(focusRingContrast(button), 3.0);
        }
    }
    EXPECT_GE(focusRingContrast(panel.rowsView()), 3.0);
    settings.show();
    QApplication::setActiveWindow(&settings);
    QApplication::processEvents();
    for (auto* label : settings.findChildren<QLabel*>()) {
        if (label->textInteractionFlags() & Qt::LinksAccessibleByKeyboard) {
            EXPECT_GE(focusRingContrast(label), 3.0);
        }
    }
    EXPECT_GE(focusRingContrast(settings.unpinAllButton()), 3.0);
}

INSTANTIATE_TEST_SUITE_P(LightAndDark, ThemeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "dark" : "light"; });

} // namespace

int main(int argc, char** argv) {
    return runQtTests(argc, argv);
}
