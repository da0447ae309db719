#include "QtTestMain.h"
#include "ViewStoreFixture.h"
#include "app/views/MessageBanner.h"
#include "app/views/PinListModel.h"
#include "app/views/PinListView.h"
#include "app/views/PinRowListView.h"
#include "app/views/SettingsView.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QUrl>

#include <cmath>
#include <csignal>
#include <iostream>
#include <map>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
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

std::vector<std::pair<QAccessible::Event, QString>> events;

using AccessibilityTest = test::ViewStoreFixture;

TEST_F(AccessibilityTest, ScreenReadersHearAlertsHeadingsAndTheDefault) {
    // Events flow only while a bridge listens (a screen reader on the
    // accessibility bus); the roles and names are checked either way.
    const bool listening = QAccessible::isActive();
    if (!listening)
        std::cout << "no accessibility bridge: alert events not checked\n";
    QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
        if (auto* face = event->accessibleInterface())
            events.emplace_back(event->type(), face->text(QAccessible::Name));
    });
    auto heard = [listening](const QString& text) {
        return !listening || std::any_of(events.begin(), events.end(), [&](const auto& event) {
            return (event.first == QAccessible::Alert || event.first == QAccessible::NameChanged) &&
                   event.second.contains(text);
        });
    };
    PinListView panel(store, PinListView::Style::window, {});
    panel.show();
    auto* empty =
        QAccessible::queryAccessibleInterface(panel.emptyState()->findChildren<QLabel*>().value(1));
    EXPECT_EQ(empty->role(), QAccessible::Heading);
    EXPECT_EQ(empty->text(QAccessible::Name), "고정된 폴더가 없어요");

    auto paths = pinFolders({"Photos"});
    store.setErrorMessage("디스크가 가득 찼어요");
    auto* banner = QAccessible::queryAccessibleInterface(panel.errorBanner());
    EXPECT_EQ(banner->role(), QAccessible::AlertMessage);
    EXPECT_EQ(banner->text(QAccessible::Name), "디스크가 가득 찼어요");
    EXPECT_TRUE(heard("디스크가 가득 찼어요"));

    // A row turning missing is said, with its name.
    store.fetchPins()[0]->setIsMissing(true);
    EXPECT_TRUE(heard("Photos \u2014 찾을 수 없음"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(panel.rowAnnouncer())->role(),
              QAccessible::AlertMessage);

    EXPECT_TRUE(QAccessible::queryAccessibleInterface(panel.addButton())->state().defaultButton);

    SettingsView settings(store, {});
    QStringList headings;
    for (auto* label : settings.findChildren<QLabel*>())
        if (QAccessible::queryAccessibleInterface(label)->role() == QAccessible::Heading)
            headings << label->text();
    EXPECT_EQ(headings.join("|"), "고정 관리|파일 관리자 메뉴|동작 방식|정보");

    // A dropped network address is refused by name, not looked for as a path.
    QMimeData mime;
    mime.setUrls({QUrl("smb://server/share/Docs"),
                  QUrl::fromLocalFile(QString::fromStdString(temp.makeFolder("Docs")))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel.dropArea(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel.dropArea(), &drop);
    EXPECT_EQ(store.fetchPins().size(), 2u);
    EXPECT_EQ(store.errorMessage().value_or(""),
              "smb://server/share/Docs \u2014 이 컴퓨터의 폴더만 고정할 수 있어요. 네트워크 "
              "주소는 고정할 수 없어요.");
    // The new pin is selected and in view, once the batch is in.
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.rowsView()->currentIndex().row(), 1);

    // A folder name that looks like markup is shown as it is, tooltips included.
    pinFolders({"<h1>Big"});
    const QString tip = panel.model().data(panel.model().index(2), Qt::ToolTipRole).toString();
    EXPECT_TRUE(QTextDocumentFragment::fromHtml(tip).toPlainText().endsWith("/<h1>Big"))
        << tip.toStdString();
    QAccessible::installUpdateHandler(nullptr);
}

} // namespace

// Accessibility events flow only where the platform has a bridge: under an
// X server of its own (Xvfb), else offscreen, where that test is skipped.
int main(int argc, char** argv) {
    pid_t server = -1;
    int ready[2];
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && ::access("/usr/bin/Xvfb", X_OK) == 0 &&
        ::pipe(ready) == 0) {
        server = ::fork();
        if (server == 0) {
            ::close(ready[0]);
            const std::string fd = std::to_string(ready[1]);
            ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp",
                    "-screen", "0", "800x900x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ready[1]);
        // Xvfb writes its display number once it is ready (given up after ten seconds).
        pollfd wait{ready[0], POLLIN, 0};
        char number[16] = {};
        if (server > 0 && ::poll(&wait, 1, 10000) == 1 &&
            ::read(ready[0], number, sizeof number - 1) > 1) {
            qputenv("DISPLAY", ":" + QByteArray(number).trimmed());
            qputenv("QT_QPA_PLATFORM", "xcb");
            qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        }
        ::close(ready[0]);
    }
    const int result = runQtTests(argc, argv);
    if (server > 0) {
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
    }
    return result;
}
