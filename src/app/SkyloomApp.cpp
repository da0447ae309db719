#include "app/SkyloomApp.h"

#include "app/WindowActivation.h"
#include "app/views/OnboardingView.h"
#include "app/views/PinListView.h"
#include "app/views/Preferences.h"
#include "app/views/SettingsView.h"
#include "core/Translate.h"
#include "core/store/PinStore.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace skyloom::app {

namespace {

QString text(const char* key) {
    return QString::fromStdString(translate(key));
}

// The height a widget needs at its width, wrapped text included.
int contentHeight(const QWidget* widget) {
    const int height = widget->hasHeightForWidth() ? widget->heightForWidth(widget->width()) : -1;
    return height > 0 ? height : widget->sizeHint().height();
}

// Keeps a window as high as its content whenever the content changes (a
// message appearing in the settings), and as wide as the content asks.
class HeightFollowsContent : public QObject {
public:
    explicit HeightFollowsContent(QWidget* window) : QObject(window) {
        if (window->minimumWidth() != window->maximumWidth())
            window->setFixedWidth(window->sizeHint().width());
        window->setFixedHeight(contentHeight(window));
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) {
            auto* window = static_cast<QWidget*>(watched);
            QTimer::singleShot(0, this,
                               [window] { window->setFixedHeight(contentHeight(window)); });
        }
        return false;
    }
};

} // namespace

SkyloomApp::SkyloomApp(PinStore& store, Options options, QObject* parent)
    : QObject(parent), store_(store), options_(std::move(options)) {
    if (!options_.content)
        options_.content = &SkyloomApp::makeSceneContent;
    actions_.openWindowAndActivate = [this](const QString& id) { openWindowAndActivate(id); };
    actions_.openSettings = [this] { openSettings(); };
    actions_.quit = [] { QCoreApplication::quit(); };
    actions_.checkForUpdates = [this] {
        if (checkForUpdates_)
            checkForUpdates_();
    };
    actions_.integrateFileManagers = [this](bool remove) {
        return integrateFileManagers_ ? integrateFileManagers_(remove) : QString();
    };
    connect(&label_, &MenuBarLabel::clicked, this, &SkyloomApp::togglePanel);
    connect(&label_, &MenuBarLabel::managerRequested, this,
            [this] { openWindowAndActivate(QStringLiteral("manager")); });
    connect(&label_, &MenuBarLabel::pinFoldersRequested, this, [this] {
        // The folder chooser opens over the pin list, which then shows the result.
        openWindowAndActivate(QStringLiteral("manager"));
        QTimer::singleShot(0, this, [this] { store_.chooseFoldersToPin(); });
    });
    connect(&label_, &MenuBarLabel::settingsRequested, this, &SkyloomApp::openSettings);
    connect(&label_, &MenuBarLabel::quitRequested, this, [] { QCoreApplication::quit(); });
}

SkyloomApp::~SkyloomApp() {
    store_.openManager = [] {};
    delete panel_;
    for (const auto& window : std::as_const(windows_))
        delete window;
}

QWidget* SkyloomApp::makeSceneContent(const QString& scene, PinStore& store,
                                      const AppActions& actions) {
    if (scene == QLatin1String("panel"))
        return new PinListView(store, PinListView::Style::menuBar, actions);
    if (scene == QLatin1String("manager"))
        return new PinListView(store, PinListView::Style::window, actions);
    if (scene == QLatin1String("welcome"))
        return new OnboardingView(store, actions);
    return new SettingsView(store, actions);
}

bool SkyloomApp::shouldShowOnboarding() {
    if (qEnvironmentVariableIsSet("XCTestConfigurationFilePath"))
        return false;
    return !hasSeenOnboarding();
}

void SkyloomApp::openInitialWindows() {
    if (launched_)
        return;
    launched_ = true;
    store_.openManager = [this] { openWindowAndActivate(QStringLiteral("manager")); };
    store_.showMessagesIfNeeded();
    const bool byUser = options_.wasLaunchedByUser();
    if (shouldShowOnboarding()) {
        openWindowAndActivate(QStringLiteral("welcome"));
        // Without a tray icon the welcome window is the only way in; once it
        // is gone the pin list takes its place.
        if (!options_.hasTray && byUser) {
            connect(window(QStringLiteral("welcome")), &QObject::destroyed, this,
                    [this] { openWindowAndActivate(QStringLiteral("manager")); });
        }
    } else if (byUser) {
        openWindowAndActivate(QStringLiteral("manager"));
    }
}

QWidget* SkyloomApp::window(const QString& id) const {
    if (id == QLatin1String("panel"))
        return panel_ && panel_->isVisible() ? panel_.data() : nullptr;
    return windows_.value(id).data();
}

void SkyloomApp::openWindowAndActivate(const QString& id, const QByteArray& activationToken) {
    QWidget* window = windows_.value(id).data();
    if (!window) {
        window = makeWindow(id);
        if (!window)
            return;
        windows_.insert(id, window);
    }
    bringToFront(window, activationToken);
    emit windowOpened(id);
}

QWidget* SkyloomApp::makeWindow(const QString& id) {
    QString title;
    if (id == QLatin1String("manager"))
        title = text(SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정된 폴더"));
    else if (id == QLatin1String("welcome"))
        title = text(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom"));
    else if (id == QLatin1String("settings"))
        title = text(SKYLOOM_TRANSLATE_NOOP("Skyloom", "설정"));
    else
        return nullptr;

    QWidget* content = options_.content(id, store_, actions_);
    // The welcome window tells of the tray icon only where there is a tray.
    if (!options_.hasTray && !MenuBarLabel::isTrayAvailable())
        if (QWidget* trayRow = content->findChild<QWidget*>(QStringLiteral("onboarding.tray")))
            trayRow->hide();
    QWidget* window = content;
    if (id == QLatin1String("manager")) {
        window->setParent(nullptr, Qt::Window);
        window->resize(520, 440);
        if (!options_.hasTray) {
            // No tray means no quit button in a panel: the window offers it.
            auto* quit = new QAction(window);
            quit->setShortcut(QKeySequence::Quit);
            connect(quit, &QAction::triggered, this, [] { QCoreApplication::quit(); });
            window->addAction(quit);
        }
    } else {
        // Sized to its content and not resizable beyond it; on a screen too
        // low for the content it scrolls instead of running off the screen.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const int room = screen ? screen->availableGeometry().height() - 64 : 0;
        if (room > 0 && contentHeight(content) > room) {
            auto* scroll = new QScrollArea;
            scroll->setWidget(content);
            scroll->setWidgetResizable(true);
            scroll->setFrameShape(QFrame::NoFrame);
            scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            const int width = std::max(content->sizeHint().width(), content->minimumWidth());
            scroll->setFixedSize(width + scroll->verticalScrollBar()->sizeHint().width(), room);
            window = scroll;
            // Start at the top whatever takes the focus first.
            QTimer::singleShot(0, scroll, [scroll] { scroll->verticalScrollBar()->setValue(0); });
        } else {
            window->setParent(nullptr, Qt::Window);
            new HeightFollowsContent(window);
        }
    }
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    // Window rules tell the app's windows apart by their role.
    window->setWindowRole(id);
    window->setWindowIcon(MenuBarLabel::pinIcon());
    if (id == QLatin1String("welcome") && content->metaObject()->indexOfSignal("finished()") >= 0)
        connect(content, SIGNAL(finished()), window, SLOT(close()));
    return window;
}

void SkyloomApp::togglePanel() {
    // A frameless panel the compositor puts anywhere (or tiles across the
    // screen) is worse than a window: the pin list in a framed window.
    if (!options_.canPlaceWindows) {
        QWidget* manager = window(QStringLiteral("manager"));
        if (manager && manager->isActiveWindow())
            manager->close();
        else
            openWindowAndActivate(QStringLiteral("manager"));
        return;
    }
    if (!panel_) {
        panel_ = new TrayPanel(options_.content(QStringLiteral("panel"), store_, actions_));
        panel_->setWindowTitle(text(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom")));
    }
    const bool wasVisible = panel_->isVisible();
    panel_->toggle(label_.geometry());
    if (!wasVisible && panel_->isVisible())
        emit windowOpened(QStringLiteral("panel"));
}

} // namespace skyloom::app
