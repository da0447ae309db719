#include "app/views/OnboardingView.h"

#include "app/views/AccessibleRole.h"
#include "app/views/IconLabel.h"
#include "app/views/Preferences.h"
#include "app/views/ThemeColors.h"
#include "app/views/ViewText.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace skyloom::app {
namespace {

QWidget* onboardingRow(const QString& systemName, const QString& title, const QString& detail,
                       QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    auto* symbol = new QLabel(row);
    symbol->setPixmap(symbolPixmap(
        systemName, 24, accentInk(row->palette(), row->palette().color(QPalette::Window)),
        symbol->devicePixelRatioF()));
    symbol->setFixedWidth(32);
    symbol->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    layout->addWidget(symbol, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* heading = new QLabel(title, row);
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
    texts->addWidget(heading);
    auto* body = new QLabel(detail, row);
    body->setWordWrap(true);
    makeSecondary(body);
    texts->addWidget(body);
    layout->addLayout(texts, 1);
    // The title and the detail are read once each, from their own labels:
    // the row itself is a plain grouping without a name of its own.
    return row;
}

} // namespace

OnboardingView::OnboardingView(PinStore& store, AppActions actions, QWidget* parent)
    : QWidget(parent), store_(store), actions_(std::move(actions)) {
    setObjectName("onboarding.root");
    setFixedWidth(460);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 32, 32, 32);
    layout->setSpacing(24);

    auto* header = new QVBoxLayout;
    header->setSpacing(8);
    auto* title = new QLabel(
        localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom에 오신 걸 환영해요")), this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    title->setFont(titleFont);
    setAccessibleRole(title, QAccessible::Heading);
    header->addWidget(title);
    auto* subtitle = new QLabel(localized(SKYLOOM_TRANSLATE_NOOP(
                                    "Skyloom", "자주 쓰는 폴더를 Finder 목록 맨 위에 고정해요.")),
                                this);
    subtitle->setWordWrap(true);
    makeSecondary(subtitle);
    header->addWidget(subtitle);
    layout->addLayout(header);

    QWidget* trayRow = onboardingRow(
        "pin.fill", localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "메뉴 막대의 핀 아이콘")),
        localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "화면 오른쪽 위 핀 아이콘에서 폴더를 고정하고 "
                                                    "해제해요. Dock에는 나타나지 않아요.")),
        this);
    // Named so that a desktop without a tray can leave it out.
    trayRow->setObjectName("onboarding.tray");
    layout->addWidget(trayRow);
    layout->addWidget(onboardingRow(
        "arrow.up.arrow.down",
        localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Finder에서 '추가된 날짜'로 정렬")),
        localized(SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                         "보기 › 다음으로 정렬 › 추가된 날짜를 고르세요. "
                                         "최신순일 때 고정한 폴더가 맨 위에 와요.")),
        this));
    layout->addWidget(onboardingRow(
        "arrow.uturn.backward", localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "해제하면 원래대로")),
        localized(SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                         "고정은 폴더의 '추가된 날짜'를 2100년으로 바꿔서 "
                                         "해요. 해제하면 원래 날짜로 돌아가요.")),
        this));

    auto* buttons = new QHBoxLayout;
    later_ = new QPushButton(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "나중에")), this);
    later_->setObjectName("onboarding.later");
    later_->setAutoDefault(false);
    showFocusRing(later_);
    choose_ = prominentButton(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "폴더 고정…")), this);
    choose_->setObjectName("onboarding.choose");
    choose_->setDefault(true);
    buttons->addWidget(later_);
    buttons->addStretch(1);
    buttons->addWidget(choose_);
    layout->addLayout(buttons);
    // The window opens with the focus on the default button, as a dialog does.
    choose_->setFocus();

    connect(later_, &QPushButton::clicked, this, &OnboardingView::later);
    connect(choose_, &QPushButton::clicked, this, &OnboardingView::choose);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, later_, &QPushButton::click);
    // Return presses the focused button, and the default one only when no
    // button has the focus: "나중에" with the focus means later.
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* confirm = new QShortcut(QKeySequence(key), this);
        connect(confirm, &QShortcut::activated, this, [this] {
            if (auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
                focused && isAncestorOf(focused))
                focused->click();
            else
                choose_->click();
        });
    }
}

QSize OnboardingView::sizeHint() const {
    // The layout's own hint is wider than the view may be, which would leave
    // the wrapped texts too little height.
    return {width(), layout()->totalHeightForWidth(width())};
}

OnboardingView::~OnboardingView() {
    // A window deleted while showing goes away without a hide event here.
    if (isVisible())
        setHasSeenOnboarding(true);
}

void OnboardingView::later() {
    setHasSeenOnboarding(true);
    emit finished();
}

void OnboardingView::choose() {
    setHasSeenOnboarding(true);
    emit finished();
    store_.chooseFoldersToPin();
}

void OnboardingView::hideEvent(QHideEvent* event) {
    // However the window goes away, the welcome is not shown again.
    if (!isVisible())
        setHasSeenOnboarding(true);
    QWidget::hideEvent(event);
}

} // namespace skyloom::app
