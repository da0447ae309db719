#include "app/views/SettingsView.h"

#include "app/views/AccessibleRole.h"
#include "app/views/IconLabel.h"
#include "app/views/ThemeColors.h"
#include "app/views/ViewText.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace skyloom::app {
namespace {

QLabel* caption(const QString& text, QWidget* parent, bool secondary = true) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setWordWrap(true);
    if (secondary)
        makeSecondary(label);
    return label;
}

QLabel* symbolLabel(const QString& systemName, const QColor& color, int side, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(symbolPixmap(systemName, side, color, label->devicePixelRatioF()));
    label->setFixedSize(side, side);
    return label;
}

// An explanatory row: the symbol in the accent colour, a title, and the detail.
QWidget* explanation(const QString& systemName, const QString& title, const QString& detail,
                     QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(10);
    layout->addWidget(symbolLabel(systemName,
                                  accentInk(row->palette(), row->palette().color(QPalette::Window)),
                                  18, row),
                      0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* heading = new QLabel(title, row);
    heading->setWordWrap(true);
    texts->addWidget(heading);
    texts->addWidget(caption(detail, row));
    layout->addLayout(texts, 1);
    return row;
}

// A link that shows when the keyboard is on it.
class LinkLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        if (hasFocus()) {
            const QRect text = fontMetrics()
                                   .boundingRect(rect(), alignment(), accessibleName())
                                   .adjusted(-4, -2, 4, 2);
            paintFocusRing(this, text.intersected(rect()));
        }
    }
};

QLabel* link(const QString& title, const QUrl& url, QWidget* parent) {
    // Many dark palettes keep the light theme's link blue: the colour is
    // moved to read on this window, and written into the link itself.
    const QPalette& colors = parent->palette();
    const QColor ink =
        withContrast(colors.color(QPalette::Link), colors.color(QPalette::Window), 4.5);
    auto* label =
        new LinkLabel(QStringLiteral("<a href=\"%1\" style=\"color:%3\">%2</a>")
                          .arg(url.toString(QUrl::FullyEncoded), title.toHtmlEscaped(), ink.name()),
                      parent);
    label->setTextFormat(Qt::RichText);
    label->setOpenExternalLinks(true);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setAccessibleName(title);
    label->setAccessibleDescription(url.toString());
    return label;
}

bool prefersKorean(const QStringList& languages) {
    return !languages.isEmpty() && languages.first().startsWith("ko");
}

} // namespace

SettingsView::SettingsView(PinStore& store, AppActions actions, QWidget* parent)
    : SettingsView(store, std::move(actions), LaunchAtLogin(), parent) {}

SettingsView::SettingsView(PinStore& store, AppActions actions, LaunchAtLogin launchAtLogin,
                           QWidget* parent)
    : QWidget(parent), store_(store), actions_(std::move(actions)),
      login_(std::move(launchAtLogin)) {
    setObjectName("settings.root");
    setFixedWidth(440);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(10);

    messageSection_ = new QGroupBox(this);
    auto* messageLayout = new QHBoxLayout(messageSection_);
    messageSymbol_ = new QLabel(messageSection_);
    messageSymbol_->setFixedSize(16, 16);
    messageLayout->addWidget(messageSymbol_, 0, Qt::AlignTop);
    message_ = new QLabel(messageSection_);
    message_->setObjectName("settings.message");
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    messageLayout->addWidget(message_, 1);
    layout->addWidget(messageSection_);

    layout->addWidget(buildLaunchSection());
    layout->addWidget(buildManageSection());
    layout->addWidget(buildFileManagerSection());
    layout->addWidget(buildHowItWorksSection());
    layout->addWidget(buildAboutSection());

    errorToken_ = store_.errorMessageChanged().add([this](const auto&) { updateMessage(); });
    noticeToken_ = store_.noticeMessageChanged().add([this](const auto&) { updateMessage(); });
    changesToken_ = store_.changes().add([this](const ModelChange& change) {
        if (change.kind == ModelChange::Kind::inserted || change.kind == ModelChange::Kind::deleted)
            updateUnpinAll();
    });
    updateMessage();
    updateUnpinAll();

    // A settings window closes with Escape, as every dialog does.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { window()->close(); });
}

QSize SettingsView::sizeHint() const {
    // The layout's own hint is wider than the view may be, which would leave
    // the wrapped texts too little height.
    return {width(), layout()->totalHeightForWidth(width())};
}

SettingsView::~SettingsView() {
    store_.errorMessageChanged().remove(errorToken_);
    store_.noticeMessageChanged().remove(noticeToken_);
    store_.changes().remove(changesToken_);
}

QString SettingsView::versionString(const QString& shortVersion, const QString& buildVersion) {
    return (shortVersion.isEmpty() ? QStringLiteral("1.0") : shortVersion) + " (" +
           (buildVersion.isEmpty() ? QStringLiteral("1") : buildVersion) + ")";
}

QString SettingsView::versionString() {
    return versionString(QCoreApplication::applicationVersion(),
                         QStringLiteral(SKYLOOM_BUILD_NUMBER));
}

QUrl SettingsView::privacyPolicyURL(const QStringList& preferredLanguages) {
    return QUrl(prefersKorean(preferredLanguages)
                    ? "https://brindle-engineering.github.io/skyloom/ko/#privacy"
                    : "https://brindle-engineering.github.io/skyloom/privacy.html");
}

QUrl SettingsView::supportURL(const QStringList& preferredLanguages) {
    return QUrl(prefersKorean(preferredLanguages)
                    ? "https://brindle-engineering.github.io/skyloom/ko/"
                    : "https://brindle-engineering.github.io/skyloom/support.html");
}

QWidget* SettingsView::section(const QString& title, QWidget* content, const QString& footer) {
    auto* wrapper = new QWidget(this);
    auto* layout = new QVBoxLayout(wrapper);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    if (!title.isEmpty()) {
        auto* heading = new QLabel(title, wrapper);
        QFont font = heading->font();
        font.setBold(true);
        heading->setFont(font);
        heading->setContentsMargins(8, 0, 8, 0);
        setAccessibleRole(heading, QAccessible::Heading);
        layout->addWidget(heading);
    }
    auto* group = new QGroupBox(wrapper);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(content);
    layout->addWidget(group);
    if (!footer.isEmpty()) {
        auto* note = caption(footer, wrapper);
        note->setContentsMargins(8, 0, 8, 0);
        layout->addWidget(note);
    }
    return wrapper;
}

QWidget* SettingsView::buildLaunchSection() {
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    toggle_ =
        new QCheckBox(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "로그인 시 실행")), content);
    toggle_->setObjectName("settings.launchAtLogin");
    launchAtLogin_ = login_.status() == LaunchAtLogin::Status::enabled;
    toggle_->setChecked(launchAtLogin_);
    connect(toggle_, &QCheckBox::toggled, this, &SettingsView::launchAtLoginChanged);
    layout->addWidget(toggle_);

    launchErrorRow_ = new QWidget(content);
    auto* errorLayout = new QHBoxLayout(launchErrorRow_);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    const QPalette& colors = launchErrorRow_->palette();
    errorLayout->addWidget(symbolLabel("exclamationmark.triangle.fill",
                                       errorInk(colors, colors.color(QPalette::Window), 3.0), 14,
                                       launchErrorRow_),
                           0, Qt::AlignTop);
    launchError_ = caption(QString(), launchErrorRow_, false);
    launchError_->setObjectName("settings.launchError");
    launchError_->setTextFormat(Qt::PlainText);
    setAccessibleRole(launchError_, QAccessible::AlertMessage);
    errorLayout->addWidget(launchError_, 1);
    launchErrorRow_->hide();
    layout->addWidget(launchErrorRow_);

    return section({}, content,
                   localized(SKYLOOM_TRANSLATE_NOOP(
                       "Skyloom", "Finder로 돌아올 때마다 풀린 고정을 다시 걸어 주려면 Skyloom이 "
                                  "실행 중이어야 해요.")));
}

QWidget* SettingsView::buildManageSection() {
    unpinAll_ = new QPushButton(
        localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "모두 해제하고 원래 날짜로 되돌리기")), this);
    unpinAll_->setObjectName("settings.unpinAll");
    showFocusRing(unpinAll_);
    QPalette destructive = unpinAll_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        destructive.setColor(group, QPalette::ButtonText,
                             errorInk(destructive, styledButtonFace(destructive)));
    unpinAll_->setPalette(destructive);
    connect(unpinAll_, &QPushButton::clicked, this, &SettingsView::confirmUnpinAll);
    return section(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정 관리")), unpinAll_,
                   localized(SKYLOOM_TRANSLATE_NOOP(
                       "Skyloom", "Skyloom을 지우기 전에 눌러 주세요. 그냥 지우면 고정한 폴더의 "
                                  "'추가된 날짜'가 2100년으로 남아요.")));
}

QWidget* SettingsView::buildFileManagerSection() {
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QHBoxLayout;
    auto* install =
        new QPushButton(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "메뉴 넣기")), content);
    auto* remove =
        new QPushButton(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "메뉴 빼기")), content);
    showFocusRing(install);
    showFocusRing(remove);
    buttons->addWidget(install);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    integrationError_ = caption(QString(), content, false);
    integrationError_->setObjectName("settings.integrationResult");
    integrationError_->setTextFormat(Qt::PlainText);
    setAccessibleRole(integrationError_, QAccessible::AlertMessage);
    integrationError_->hide();
    layout->addWidget(integrationError_);
    auto integrate = [this](bool removing) {
        QString error;
        if (actions_.integrateFileManagers)
            error = actions_.integrateFileManagers(removing);
        // A line under the buttons either way: the error, or what was done.
        const QString text =
            !error.isEmpty() ? error
            : removing
                ? localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "파일 관리자 메뉴를 뺐어요."))
                : localized(SKYLOOM_TRANSLATE_NOOP(
                      "Skyloom", "파일 관리자 메뉴를 넣었어요. 파일 관리자를 다시 열면 보여요."));
        QPalette colors = integrationError_->palette();
        const QColor window = colors.color(QPalette::Window);
        colors.setColor(
            QPalette::WindowText,
            error.isEmpty()
                ? secondaryText(parentWidget() ? parentWidget()->palette() : palette(), window)
                : errorInk(colors, window));
        integrationError_->setPalette(colors);
        showAlert(integrationError_, text);
    };
    connect(install, &QPushButton::clicked, this, [integrate] { integrate(false); });
    connect(remove, &QPushButton::clicked, this, [integrate] { integrate(true); });
    return section(
        localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "파일 관리자 메뉴")), content,
        localized(SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "폴더를 우클릭해 파일 관리자에서 바로 고정하고 해제하는 메뉴예요.")));
}

QWidget* SettingsView::buildHowItWorksSection() {
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(explanation(
        "calendar.badge.clock",
        localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "'추가된 날짜'를 미래로 바꿔요")),
        localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정한 폴더는 '추가된 날짜'가 2100년으로 "
                                                    "보여요. 해제하면 원래 날짜로 돌아가요.")),
        content));
    layout->addWidget(explanation(
        "arrow.down", localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "최신순 정렬에서 맨 위")),
        localized(SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "Finder에서 '추가된 날짜'로 정렬하세요. 오래된 순이면 맨 아래로 가요.")),
        content));
    layout->addWidget(explanation(
        "contextualmenu.and.cursorarrow",
        localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Finder에서 바로 고정")),
        localized(SKYLOOM_TRANSLATE_NOOP(
            "Skyloom", "폴더를 우클릭하고 '서비스'에서 'Skyloom으로 맨 위에 고정'을 고르세요.")),
        content));
    return section(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "동작 방식")), content, {});
}

QWidget* SettingsView::buildAboutSection() {
    auto* content = new QWidget(this);
    auto* layout = new QFormLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    // The title comes first among the children, which is the order screen
    // readers read in, and names the version as its buddy: "버전" is said once.
    auto* versionTitle = new QLabel(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "버전")), content);
    auto* version = new QLabel(versionString(), content);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    versionTitle->setBuddy(version);
    layout->addRow(versionTitle, version);
    const QStringList languages = QLocale::system().uiLanguages();
    layout->addRow(link(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "개인정보처리방침")),
                        privacyPolicyURL(languages), content));
    layout->addRow(
        link(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "지원")), supportURL(languages), content));
    auto* update =
        new QPushButton(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "업데이트 확인…")), content);
    update->setObjectName("settings.checkForUpdates");
    showFocusRing(update);
    updateButton_ = update;
    connect(update, &QPushButton::clicked, this, [this] {
        if (isUpdateCheckRunning() || !actions_.checkForUpdates)
            return;
        actions_.checkForUpdates();
        showUpdateCheckState();
    });
    layout->addRow(update);
    return section(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "정보")), content, {});
}

bool SettingsView::isUpdateCheckRunning() const {
    return actions_.isCheckingForUpdates && actions_.isCheckingForUpdates();
}

void SettingsView::showUpdateCheckState() {
    const bool running = isUpdateCheckRunning();
    updateButton_->setEnabled(!running);
    updateButton_->setText(running
                               ? localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "업데이트 확인 중…"))
                               : localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "업데이트 확인…")));
    // The updater tells no one when it ends; look again shortly.
    if (running)
        QTimer::singleShot(250, this, &SettingsView::showUpdateCheckState);
}

void SettingsView::updateMessage() {
    const auto& error = store_.errorMessage();
    const auto& shown = error ? error : store_.noticeMessage();
    messageSection_->setVisible(shown.has_value());
    if (!shown)
        return;
    message_->setText(toQString(shown));
    message_->setAccessibleName(toQString(shown));
    const QPalette& colors = messageSection_->palette();
    const QColor window = colors.color(QPalette::Window);
    messageSymbol_->setPixmap(
        symbolPixmap(error ? "exclamationmark.triangle.fill" : "info.circle.fill", 16,
                     error ? errorInk(colors, window, 3.0) : noticeInk(colors, window, 3.0),
                     messageSymbol_->devicePixelRatioF()));
}

void SettingsView::updateUnpinAll() {
    unpinAll_->setEnabled(!store_.fetchPins().empty());
}

void SettingsView::launchAtLoginChanged(bool value) {
    launchAtLogin_ = value;
    if (isRevertingToggle_) {
        // The view put the toggle back itself; nothing to register.
        isRevertingToggle_ = false;
        return;
    }
    auto error = value ? login_.registerEntry() : login_.unregisterEntry();
    setLaunchError(error);
    if (!error)
        return;
    const bool actual = login_.status() == LaunchAtLogin::Status::enabled;
    if (actual != launchAtLogin_) {
        isRevertingToggle_ = true;
        toggle_->setChecked(actual);
    }
}

void SettingsView::setLaunchError(const std::optional<QString>& error) {
    showAlert(launchError_, error.value_or(QString()), launchErrorRow_);
}

void SettingsView::confirmUnpinAll() {
    if (!confirmation_) {
        confirmation_ = new QMessageBox(this);
        confirmation_->setIcon(QMessageBox::Warning);
        confirmation_->setWindowTitle(QStringLiteral("Skyloom"));
        confirmation_->setText(
            localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정한 폴더를 모두 해제할까요?")));
        // The promise holds for folders that are here now; the rest wait.
        confirmation_->setInformativeText(
            localized(SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                             "모든 폴더의 '추가된 날짜'가 원래대로 돌아가요.")) +
            QLatin1Char(' ') + QString::fromStdString(PinStore::unpinAllAwayText()));
        auto* confirm =
            confirmation_->addButton(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "모두 해제")),
                                     QMessageBox::DestructiveRole);
        confirmation_->addButton(QMessageBox::Cancel);
        confirmation_->setDefaultButton(QMessageBox::Cancel);
        connect(confirmation_, &QMessageBox::buttonClicked, this,
                [this, confirm](QAbstractButton* b) {
                    if (b == confirm)
                        store_.unpinAll();
                });
    }
    confirmation_->open();
}

} // namespace skyloom::app
