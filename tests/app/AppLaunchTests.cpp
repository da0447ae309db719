#include "app/AppTranslations.h"
#include "app/FileManagerIntegration.h"
#include "app/SkyloomApp.h"
#include "app/TrayPanel.h"
#include "app/views/Preferences.h"
#include "cli/CommandLineLanguage.h"
#include "core/store/ModelContainer.h"
#include "core/store/PinStore.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace skyloom;
using namespace skyloom::app;

namespace {

class AppLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "brindle-engineering", "Skyloom")
            .clear();
        qunsetenv("XCTestConfigurationFilePath");
    }
    void TearDown() override {
        qunsetenv("XCTestConfigurationFilePath");
        for (QWidget* widget : QApplication::topLevelWidgets())
            delete widget;
    }

    std::unique_ptr<SkyloomApp> start(bool byUser, bool hasTray = true) {
        SkyloomApp::Options options;
        options.wasLaunchedByUser = [byUser] { return byUser; };
        options.hasTray = hasTray;
        auto app = std::make_unique<SkyloomApp>(store, options);
        QObject::connect(app.get(), &SkyloomApp::windowOpened,
                         [this](const QString& id) { opened << id; });
        return app;
    }

    std::unique_ptr<ModelContainer> container = ModelContainer::inMemory();
    PinStore store{container->mainContext(), PinService::makeDefault(),
                   std::make_shared<HeadlessDesktop>()};
    QStringList opened;
};

TEST_F(AppLaunch, OpensWhatEachKindOfStartCallsFor) {
    struct Case {
        const char* name;
        bool seenWelcome, byUser, pendingNotice, underXCTest;
        QStringList expected;
    };
    const Case cases[] = {
        {"first start by the user", false, true, false, false, {"welcome"}},
        {"later start by the user", true, true, false, false, {"manager"}},
        {"login item", true, false, false, false, {}},
        {"login item, first run", false, false, false, false, {"welcome"}},
        {"login item, message pending", true, false, true, false, {"manager"}},
        {"first start under XCTest", false, true, false, true, {"manager"}},
        {"first start with message pending", false, true, true, false, {"manager", "welcome"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setHasSeenOnboarding(c.seenWelcome);
        if (c.underXCTest)
            qputenv("XCTestConfigurationFilePath", "/dev/null");
        store.setNoticeMessage(c.pendingNotice ? PinStore::Message("notice") : std::nullopt);
        opened.clear();
        auto app = start(c.byUser);
        app->openInitialWindows();
        app->openInitialWindows(); // runs once
        EXPECT_EQ(opened, c.expected);
        for (const QString& id : c.expected) {
            ASSERT_NE(app->window(id), nullptr);
            EXPECT_TRUE(app->window(id)->isVisible());
        }
        qunsetenv("XCTestConfigurationFilePath");
    }
    setHasSeenOnboarding(true);
}

TEST_F(AppLaunch, WindowsAreSingleAndComeBackAfterClosing) {
    setHasSeenOnboarding(true);
    auto app = start(false);
    app->openInitialWindows();
    ASSERT_TRUE(opened.isEmpty());
    store.openManager(); // installed by the launch routine
    QWidget* manager = app->window("manager");
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->windowTitle(), QStringLiteral("고정된 폴더"));
    EXPECT_EQ(manager->size(), QSize(520, 440));
    app->openWindowAndActivate("manager");
    app->openSettings();
    app->openSettings();
    EXPECT_EQ(app->window("manager"), manager);
    // The settings window grows with a message and is never squeezed below
    // the width its content asks for.
    QWidget* settings = app->window("settings");
    ASSERT_NE(settings, nullptr);
    const int before = settings->height();
    store.setErrorMessage("Projects — error");
    EXPECT_TRUE(QTest::qWaitFor([&] { return settings->height() > before; }, 10000));
    EXPECT_GE(settings->width(), settings->minimumSizeHint().width());
    int managers = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        managers += widget->isVisible() && widget->windowTitle() == manager->windowTitle();
    EXPECT_EQ(managers, 1);

    manager->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app->window("manager"), nullptr);
    app->actions().openWindowAndActivate("manager");
    ASSERT_NE(app->window("manager"), nullptr);
    EXPECT_TRUE(app->window("manager")->isVisible());
}

TEST_F(AppLaunch, WelcomeClosesWhenDoneAndWithoutTrayThePinListFollows) {
    auto app = start(true, false);
    app->openInitialWindows();
    QWidget* welcome = app->window("welcome");
    ASSERT_NE(welcome, nullptr);
    EXPECT_EQ(welcome->windowTitle(), QStringLiteral("Skyloom"));
    EXPECT_EQ(app->window("manager"), nullptr);
    // No tray, so no word of a tray icon.
    QWidget* trayRow = welcome->findChild<QWidget*>("onboarding.tray");
    ASSERT_NE(trayRow, nullptr);
    EXPECT_TRUE(trayRow->isHidden());
    QMetaObject::invokeMethod(welcome, "finished");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app->window("welcome"), nullptr);
    EXPECT_TRUE(hasSeenOnboarding());
    EXPECT_EQ(opened, QStringList({"welcome", "manager"}));
}

TEST_F(AppLaunch, TrayClickDropsThePanelDownOnScreen) {
    setHasSeenOnboarding(true);
    auto app = start(false);
    app->openInitialWindows();
    emit app->label().trayIcon().activated(QSystemTrayIcon::Trigger);
    QWidget* panel = app->window("panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(opened, QStringList{"panel"});
    EXPECT_TRUE(panel->isWindow());
    EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(panel->frameGeometry())) << panel->frameGeometry().x();
    emit app->label().trayIcon().activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(app->window("panel"), nullptr);
}

TEST(TrayPanelPlacement, BelowATopIconAboveABottomOneAlwaysOnScreen) {
    const QRect screen(0, 0, 1000, 800);
    const QSize size(340, 320);
    // Icon in a top panel near the right edge: below it, pushed left.
    EXPECT_EQ(TrayPanel::placement({980, 0, 20, 20}, {}, size, screen), QPoint(660, 24));
    // Icon in a bottom panel: above it.
    EXPECT_EQ(TrayPanel::placement({100, 780, 20, 20}, {}, size, screen), QPoint(0, 456));
    // Geometry unknown: at the cursor, kept on screen.
    EXPECT_EQ(TrayPanel::placement({}, {500, 790}, size, screen), QPoint(330, 466));
    // A screen smaller than the panel: its top-left corner.
    EXPECT_EQ(TrayPanel::placement({}, {50, 50}, size, {0, 0, 200, 200}), QPoint(0, 0));
}

TEST(AppTranslation, TheSessionLanguageRuleOfLinuxPrograms) {
    struct Case {
        const char *language, *all, *messages, *lang, *expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, "ko_KR.UTF-8", "ko"},
        {nullptr, nullptr, nullptr, "en_US.UTF-8", "en"},
        {nullptr, nullptr, nullptr, "C.UTF-8", "en"},
        {nullptr, nullptr, nullptr, "POSIX", "en"},
        {nullptr, nullptr, nullptr, "C", "en"},
        {nullptr, nullptr, nullptr, "de_DE.UTF-8", "en"},
        {nullptr, nullptr, nullptr, "kok_IN", "en"}, // Konkani, not Korean
        {nullptr, nullptr, nullptr, nullptr, "en"},
        {nullptr, nullptr, "ko_KR", "en_US", "ko"},
        {nullptr, "C", "ko_KR", "ko_KR", "en"},
        {nullptr, "", "", "ko_KR@euro", "ko"}, // empty counts as unset
        {"ko:en", nullptr, nullptr, "en_US.UTF-8", "ko"},
        {"de:fr:ko_KR:en", "en_US", nullptr, nullptr, "ko"}, // first with a translation
        {"de_AT:en_GB", nullptr, nullptr, "ko_KR", "en"},
        {"de", nullptr, nullptr, "ko_KR", "en"},
        {"", nullptr, nullptr, "ko_KR", "ko"},
    };
    for (const Case& c : cases) {
        const auto environment = [&c](const char* name) -> const char* {
            const std::string_view variable(name);
            return variable == "LANGUAGE"      ? c.language
                   : variable == "LC_ALL"      ? c.all
                   : variable == "LC_MESSAGES" ? c.messages
                   : variable == "LANG"        ? c.lang
                                               : nullptr;
        };
        EXPECT_EQ(sessionTranslation(environment), c.expected)
            << (c.language ? c.language : "-") << " " << (c.all ? c.all : "-") << " "
            << (c.messages ? c.messages : "-") << " " << (c.lang ? c.lang : "-");
    }
}

TEST(AppSettings, OneFileWithTheOldSettingsMovedIn) {
    const QString ini = Preferences::filePath();
    EXPECT_TRUE(ini.endsWith("/brindle-engineering/Skyloom.ini")) << ini.toStdString();
    const QString conf = QFileInfo(ini).path() + "/Skyloom.conf";
    QDir().mkpath(QFileInfo(ini).path());
    {
        QSettings old(conf, QSettings::IniFormat);
        old.setValue("updates/lastCheck", 1700000000);
        old.setValue("hasSeenOnboarding", false);
    }
    Preferences::setHasSeenOnboarding(true);
    Preferences::migrate();
    EXPECT_FALSE(QFile::exists(conf));
    EXPECT_EQ(Preferences::lastUpdateCheck(), 1700000000);
    EXPECT_TRUE(Preferences::hasSeenOnboarding()); // the newer value stays
    Preferences::migrate();                        // nothing left to move
    EXPECT_EQ(Preferences::updateCheckInterval(86400), 86400);
}

TEST(AppFirstStart, WritesTheFileManagerEntriesOnce) {
    const QString scripts = qEnvironmentVariable("XDG_DATA_HOME") + "/nautilus/scripts";
    integrateOnFirstStart();
    const QStringList written = QDir(scripts).entryList(QDir::Files);
    ASSERT_EQ(written.size(), 2) << written.join(", ").toStdString();
    for (const QString& name : written)
        ASSERT_TRUE(QFile::remove(scripts + "/" + name));
    // The user's removal sticks at the next start.
    integrateOnFirstStart();
    EXPECT_TRUE(QDir(scripts).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(integrateFileManagers(false).isEmpty());
    EXPECT_EQ(QDir(scripts).entryList(QDir::Files).size(), 2);
    EXPECT_TRUE(integrateFileManagers(true).isEmpty());
    EXPECT_TRUE(QDir(scripts).entryList(QDir::Files).isEmpty());
}

} // namespace

int main(int argc, char** argv) {
    // The session's folders, private to this run and set before Qt reads them.
    test::TempDir home;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        setenv(name, (home.path() + "/" + name).c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0); // also when ctest lists the tests
    QApplication application(argc, argv);
    QApplication::setOrganizationName("brindle-engineering");
    QApplication::setApplicationName("Skyloom");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
