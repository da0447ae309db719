// Not a test: renders each view with real records for the README. Run it by
// hand (under Xvfb with a Korean font) with
//   SKYLOOM_SCREENSHOT_DIR=docs/screenshots QT_QPA_PLATFORM=xcb ViewScreenshotTests
//   --gtest_also_run_disabled_tests
#include "QtTestMain.h"
#include "ViewStoreFixture.h"
#include "app/views/OnboardingView.h"
#include "app/views/PinListModel.h"
#include "app/views/PinListView.h"
#include "app/views/PinRowListView.h"
#include "app/views/SettingsView.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QStyleFactory>
#include <QTimer>

using namespace skyloom;
using namespace skyloom::app;

namespace {

class Screenshots : public skyloom::test::ViewStoreFixture {
protected:
    QString directory = qEnvironmentVariable("SKYLOOM_SCREENSHOT_DIR", "screenshots");

    void save(QWidget& widget, const QString& name) {
        widget.show();
        QApplication::processEvents();
        QDir().mkpath(directory);
        ASSERT_TRUE(widget.grab().save(directory + "/" + name));
    }
};

TEST_F(Screenshots, DISABLED_Views) {
    // SKYLOOM_SCREENSHOT_DARK=1: Fusion with a dark palette (qt6ct's "darker").
    if (qEnvironmentVariableIntValue("SKYLOOM_SCREENSHOT_DARK")) {
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        QApplication::setPalette(test::darkerPalette());
    }
    auto paths = pinFolders({"Documents/회의록", "Projects/skyloom", "Downloads",
                             "Photos/2024 여름 여행/편집본/최종 선택/인화할 사진 모음", "Archive",
                             "Shared"});
    auto pins = store.fetchPins();
    pins[3]->setIsLocked(true);
    pins[4]->setIsMissing(true);
    pins[5]->setNeedsAccess(true);
    store.add({temp.makeFile("notes.txt")});
    store.setNoticeMessage("Skyloom으로 고정한 폴더가 아니라 바꾸지 않았어요: Music");

    PinListView list(store, PinListView::Style::window, {});
    list.resize(list.sizeHint().width(), 560);
    list.rowsView()->setCurrentIndex(list.model().index(1));
    save(list, "pin-list.png");

    PinListView panel(store, PinListView::Style::menuBar, {});
    store.setErrorMessage(std::nullopt);
    store.setNoticeMessage(std::nullopt);
    panel.resize(panel.sizeHint());
    save(panel, "tray-panel.png");

    store.setErrorMessage("Archive — 폴더를 찾을 수 없어요.");
    SettingsView settings(store, {});
    settings.resize(settings.sizeHint());
    save(settings, "settings.png");

    OnboardingView welcome(store, {});
    welcome.resize(welcome.sizeHint());
    save(welcome, "welcome.png");

    // SKYLOOM_SCREENSHOT_HOLD=seconds keeps the windows open, to look at them
    // through AT-SPI.
    if (int hold = qEnvironmentVariableIntValue("SKYLOOM_SCREENSHOT_HOLD"); hold > 0) {
        QTimer::singleShot(hold * 1000, qApp, &QCoreApplication::quit);
        QApplication::exec();
    }
}

} // namespace

int main(int argc, char** argv) {
    return runQtTests(argc, argv);
}
