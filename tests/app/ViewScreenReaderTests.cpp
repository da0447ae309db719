#include "QtTestMain.h"
#include "ViewStoreFixture.h"
#include "app/views/MessageBanner.h"
#include "app/views/OnboardingView.h"
#include "app/views/PinListView.h"
#include "app/views/PinRow.h"
#include "app/views/QtDesktop.h"
#include "app/views/SettingsView.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <functional>

using namespace skyloom;
using namespace skyloom::app;

namespace {

// What a screen reader is told: every alert (what most platforms speak,
// from a closed window too), and the name changes and appearances of alerts
// on screen (what AT-SPI readers follow), each as "object kind: text".
QStringList told;

void record(QAccessibleEvent* event) {
    static const std::map<QAccessible::Event, QString> kinds{{QAccessible::Alert, "alert"},
                                                             {QAccessible::NameChanged, "name"},
                                                             {QAccessible::ObjectShow, "show"}};
    auto* face = event->accessibleInterface();
    auto kind = kinds.find(event->type());
    if (!face || kind == kinds.end() || face->role() != QAccessible::AlertMessage ||
        (face->state().invisible && event->type() != QAccessible::Alert))
        return;
    const QString object = event->object()->objectName().isEmpty()
                               ? event->object()->metaObject()->className()
                               : event->object()->objectName();
    told << object + " " + kind->second + ": " + face->text(QAccessible::Name);
}

// Offscreen, with no bridge listening: Qt's accessibility is switched on
// through its platform layer, as a screen reader on the bus would, and every
// event goes to `record`.
class ScreenReaderTest : public test::ViewStoreFixture {
protected:
    QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");

    void SetUp() override {
        auto* platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
        if (!platform)
            GTEST_SKIP() << "this Qt platform has no accessibility";
        platform->setActive(true);
        QAccessible::installUpdateHandler(record);
        told.clear();
    }
    void TearDown() override {
        QAccessible::installUpdateHandler(nullptr);
        qputenv("XDG_CONFIG_HOME", savedConfig);
    }

    // What was told since the last look, a line each.
    std::string heard() { return std::exchange(told, {}).join("\n").toStdString(); }
};

TEST_F(ScreenReaderTest, ErrorsAndNoticesAreSaidOnceWhenTheyAppear) {
    PinListView panel(store, PinListView::Style::menuBar, {});
    // A window that is not open says nothing.
    PinListView closed(store, PinListView::Style::window, {});
    panel.show();
    heard();

    store.setErrorMessage("디스크가 가득 찼어요");
    auto* banner = QAccessible::queryAccessibleInterface(panel.errorBanner());
    EXPECT_EQ(banner->role(), QAccessible::AlertMessage);
    EXPECT_EQ(banner->text(QAccessible::Name), "디스크가 가득 찼어요");
    // The store's announcement after it, through the desktop, adds nothing.
    QtDesktop().announce("디스크가 가득 찼어요");
    EXPECT_EQ(heard(), "pins.error show: 디스크가 가득 찼어요\n"
                       "pins.error alert: 디스크가 가득 찼어요");

    store.setErrorMessage("다른 오류");
    store.setNoticeMessage("알림");
    store.setErrorMessage(std::nullopt);
    EXPECT_EQ(heard(), "pins.error name: 다른 오류\npins.error alert: 다른 오류\n"
                       "pins.notice show: 알림\npins.notice alert: 알림");

    // The settings' own outcome lines: said on each press, the same text too.
    const auto config = temp.makeFolder("config");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    temp.makeFile("config/autostart"); // refuses the autostart entry, even to root
    AppActions actions;
    actions.integrateFileManagers = [](bool) { return QString("폴더에 쓸 수 없어요"); };
    SettingsView settings(store, actions, LaunchAtLogin("/opt/skyloom/bin"));
    settings.show();
    heard();
    for (int press = 0; press < 2; ++press)
        for (auto* button : settings.findChildren<QPushButton*>())
            if (button->text() == "메뉴 넣기")
                button->click();
    settings.launchAtLoginToggle()->click();
    const QString refusal = settings.launchError()->text();
    EXPECT_FALSE(refusal.isEmpty());
    EXPECT_EQ(heard(), "settings.integrationResult show: 폴더에 쓸 수 없어요\n"
                       "settings.integrationResult alert: 폴더에 쓸 수 없어요\n"
                       "settings.integrationResult name: 폴더에 쓸 수 없어요\n"
                       "settings.integrationResult alert: 폴더에 쓸 수 없어요\n"
                       "settings.launchError show: " +
                           refusal.toStdString() +
                           "\nsettings.launchError alert: " + refusal.toStdString());
}

TEST_F(ScreenReaderTest, ARowInTroubleIsSaidOnce) {
    pinFolders({"Photos", "Music", "Docs"});
    PinListView window(store, PinListView::Style::window, {});
    PinListView closed(store, PinListView::Style::menuBar, {}); // says nothing
    window.show();
    auto pins = store.fetchPins();
    heard();

    pins[0]->setIsMissing(true);
    pins[1]->setIsLocked(true);
    const QString locked = PinRow::secondLine(*pins[1]);
    pins[2]->setNeedsAccess(true);
    pins[1]->setIsLocked(false); // well again: nothing to say
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window.rowAnnouncer())->role(),
              QAccessible::AlertMessage);
    QString expected;
    for (const auto& [row, status] : std::initializer_list<std::pair<int, QString>>{
             {0, "찾을 수 없음 \u2014 목록에서 지울 수 있어요"},
             {1, locked},
             {2, PinRow::secondLine(*pins[2])}}) {
        const QString line = QString::fromStdString(pins[row]->displayName()) + " \u2014 " + status;
        expected += "QLabel name: " + line + "\nQLabel alert: " + line + "\n";
    }
    expected.chop(1);
    EXPECT_EQ(heard(), expected.toStdString());
}

// Each window as a screen reader walks it: the headings, the default button,
// and no text read twice.
TEST_F(ScreenReaderTest, WindowsHaveHeadingsADefaultAndEachTextOnce) {
    const auto config = temp.makeFolder("config");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    PinListView empty(store, PinListView::Style::window, {});
    empty.show();
    auto walk = [](QWidget& window) {
        QStringList headings, defaults, texts;
        std::function<void(QAccessibleInterface*)> visit = [&](QAccessibleInterface* face) {
            if (face->state().invisible)
                return;
            for (auto which : {QAccessible::Name, QAccessible::Description})
                if (const QString text = face->text(which).trimmed(); !text.isEmpty())
                    texts << text;
            if (face->role() == QAccessible::Heading)
                headings << face->text(QAccessible::Name);
            if (face->state().defaultButton)
                defaults << face->text(QAccessible::Name);
            for (int i = 0; i < face->childCount(); ++i)
                visit(face->child(i));
        };
        visit(QAccessible::queryAccessibleInterface(&window));
        // The same text twice, or a label said again at the start of another.
        for (const QString& text : texts)
            for (const QString& other : texts)
                EXPECT_FALSE(&text != &other && (text == other || other.startsWith(text + " ")))
                    << text.toStdString() << " / " << other.toStdString();
        return headings.join("|") + " / " + defaults.join("|");
    };
    EXPECT_EQ(walk(empty), "고정된 폴더가 없어요 / 폴더 고정…");

    pinFolders({"Photos"});
    PinListView panel(store, PinListView::Style::menuBar, {});
    SettingsView settings(store, {});
    OnboardingView welcome(store, {});
    for (QWidget* window : std::initializer_list<QWidget*>{&panel, &settings, &welcome})
        window->show();
    EXPECT_EQ(walk(panel), " / 폴더 고정…");
    EXPECT_EQ(walk(settings), "고정 관리|파일 관리자 메뉴|동작 방식|정보 / ");
    EXPECT_EQ(walk(welcome), "Skyloom에 오신 걸 환영해요 / 폴더 고정…");
}

} // namespace

int main(int argc, char** argv) {
    return runQtTests(argc, argv, /*ownSettings=*/true);
}
