#include "QtTestMain.h"
#include "ViewStoreFixture.h"
#include "app/views/OnboardingView.h"
#include "app/views/Preferences.h"
#include "app/views/SettingsView.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace skyloom;
using namespace skyloom::app;
using skyloom::test::ViewStoreFixture;

namespace {

class SettingsTest : public ViewStoreFixture {
protected:
    QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    void TearDown() override { qputenv("XDG_CONFIG_HOME", savedConfig); }

    void confirmUnpinAll(SettingsView& view) {
        view.unpinAllButton()->click();
        ASSERT_TRUE(view.unpinAllConfirmation()->isVisible());
        for (auto* button : view.unpinAllConfirmation()->buttons())
            if (button->text() == "모두 해제")
                button->click();
    }
};

TEST_F(SettingsTest, LaunchAtLoginSnapsBackAfterARefusedWrite) {
    const auto config = temp.makeFolder("config");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    // A file where the autostart folder belongs refuses the write, even to root.
    const auto blocker = temp.makeFile("config/autostart");
    SettingsView view(store, {}, LaunchAtLogin("/opt/sky loom/bin"));
    auto* toggle = view.launchAtLoginToggle();
    ASSERT_FALSE(toggle->isChecked());

    toggle->click();
    EXPECT_FALSE(toggle->isChecked());
    // A second attempt (removing an absent entry) would have cleared the error.
    EXPECT_FALSE(view.launchError()->text().isEmpty());
    EXPECT_FALSE(view.launchError()->isHidden());

    QFile::remove(QString::fromStdString(blocker));
    toggle->click();
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(view.launchError()->text().isEmpty());
    QFile entry(LaunchAtLogin::entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("\nExec=\"/opt/sky loom/bin/skyloom\" --login-item\n"));
    entry.close();
    EXPECT_TRUE(SettingsView(store, {}).launchAtLoginToggle()->isChecked());

    toggle->click();
    EXPECT_FALSE(entry.exists());
}

TEST_F(SettingsTest, UnpinAllKeepsTheRecordsWhoseFoldersFailed) {
    SettingsView view(store, {});
    EXPECT_FALSE(view.unpinAllButton()->isEnabled());
    auto paths = pinFolders({"free", "stuck"});
    EXPECT_TRUE(view.unpinAllButton()->isEnabled());
    if (!skyloom::test::setImmutable(paths[1], true))
        GTEST_SKIP() << "the file system of /tmp has no immutable flag";

    confirmUnpinAll(view);
    skyloom::test::setImmutable(paths[1], false);
    ASSERT_EQ(store.fetchPins().size(), 1u);
    EXPECT_EQ(store.fetchPins()[0]->path(), paths[1]);
    EXPECT_TRUE(view.message()->text().startsWith("stuck — "));
    EXPECT_TRUE(view.unpinAllButton()->isEnabled());

    confirmUnpinAll(view);
    EXPECT_TRUE(store.fetchPins().empty());
    EXPECT_FALSE(view.unpinAllButton()->isEnabled());
    EXPECT_FALSE(view.message()->isVisibleTo(&view));
}

TEST_F(SettingsTest, MessageSectionShowsTheErrorBeforeTheNotice) {
    SettingsView view(store, {});
    store.setNoticeMessage("notice");
    EXPECT_EQ(view.message()->text(), "notice");
    store.setErrorMessage("error");
    EXPECT_EQ(view.message()->text(), "error");
}

// The things a user does in the settings show that they happened.
TEST_F(SettingsTest, EscapeClosesAndEveryActionShowsItsOutcome) {
    bool running = false;
    int checks = 0;
    AppActions actions;
    actions.checkForUpdates = [&] {
        ++checks;
        running = true;
    };
    actions.isCheckingForUpdates = [&] { return running; };
    actions.integrateFileManagers = [](bool remove) {
        return remove ? QString("폴더에 쓸 수 없어요") : QString();
    };
    QWidget window;
    auto* view = new SettingsView(store, actions, &window);
    window.show();
    QApplication::setActiveWindow(&window);

    auto* update = view->findChild<QPushButton*>("settings.checkForUpdates");
    update->click();
    update->click(); // disabled while running: no second check
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(update->text(), "업데이트 확인 중…");
    running = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return update->isEnabled(); }, 10000));
    EXPECT_EQ(update->text(), "업데이트 확인…");

    auto* result = view->findChild<QLabel*>("settings.integrationResult");
    for (auto* button : view->findChildren<QPushButton*>())
        if (button->text() == "메뉴 넣기")
            button->click();
    EXPECT_EQ(result->text(), "파일 관리자 메뉴를 넣었어요. 파일 관리자를 다시 열면 보여요.");
    for (auto* button : view->findChildren<QPushButton*>())
        if (button->text() == "메뉴 빼기")
            button->click();
    EXPECT_EQ(result->text(), "폴더에 쓸 수 없어요");

    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

TEST(SettingsValues, VersionAndLinksByPreferredLanguage) {
    EXPECT_EQ(SettingsView::versionString("1.2", "7"), "1.2 (7)");
    EXPECT_EQ(SettingsView::versionString("", ""), "1.0 (1)");
    for (const QStringList& languages :
         {QStringList{"ko-KR", "en-US"}, QStringList{"en-US", "ko-KR"}, QStringList{}}) {
        const bool korean = !languages.isEmpty() && languages[0] == "ko-KR";
        for (const QUrl& url :
             {SettingsView::privacyPolicyURL(languages), SettingsView::supportURL(languages)}) {
            EXPECT_TRUE(url.isValid() && !url.isRelative() && url.scheme() == "https");
            EXPECT_EQ(url.path().startsWith("/skyloom/ko/"), korean)
                << url.toString().toStdString();
        }
    }
}

class OnboardingTest : public ViewStoreFixture {
protected:
    void SetUp() override { setHasSeenOnboarding(false); }
};

TEST_F(OnboardingTest, EveryWayOutRecordsTheWelcomeAsSeen) {
    {
        OnboardingView view(store, {});
        QSignalSpy finished(&view, &OnboardingView::finished);
        view.laterButton()->click();
        EXPECT_TRUE(hasSeenOnboarding());
        EXPECT_TRUE(QFile::exists(qgetenv("XDG_CONFIG_HOME") + "/brindle-engineering/Skyloom.ini"));
        EXPECT_EQ(finished.count(), 1);
        EXPECT_TRUE(desktop->choosers.empty());
    }
    setHasSeenOnboarding(false);
    {
        auto folder = temp.makeFolder("chosen");
        desktop->choice = std::vector<std::string>{folder};
        OnboardingView view(store, {});
        QSignalSpy finished(&view, &OnboardingView::finished);
        view.chooseButton()->click();
        EXPECT_TRUE(hasSeenOnboarding());
        EXPECT_EQ(finished.count(), 1);
        ASSERT_EQ(desktop->choosers.size(), 1u);
        EXPECT_TRUE(desktop->choosers[0].allowsMultipleSelection);
        EXPECT_EQ(store.fetchPins().size(), 1u);
    }
    setHasSeenOnboarding(false);
    {
        OnboardingView view(store, {});
        view.show();
        EXPECT_FALSE(hasSeenOnboarding());
        view.close();
        EXPECT_TRUE(hasSeenOnboarding());
    }
}

TEST_F(OnboardingTest, EscapeLeavesAndReturnChooses) {
    OnboardingView view(store, {});
    QSignalSpy finished(&view, &OnboardingView::finished);
    view.show();
    QApplication::setActiveWindow(&view);
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(desktop->choosers.empty());
    // Return on the focused "나중에" means later, not the default button.
    view.laterButton()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(finished.count(), 2);
    EXPECT_TRUE(desktop->choosers.empty());
    // With the focus on no button, Return presses the default one.
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(finished.count(), 3);
    EXPECT_EQ(desktop->choosers.size(), 1u);
}

} // namespace

int main(int argc, char** argv) {
    return runQtTests(argc, argv, /*ownSettings=*/true);
}
