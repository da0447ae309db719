#include "app/views/PinListView.h"

#include "app/views/AccessibleRole.h"
#include "app/views/IconLabel.h"
#include "app/views/MessageBanner.h"
#include "app/views/PinListModel.h"
#include "app/views/PinRow.h"
#include "app/views/PinRowListView.h"
#include "app/views/ThemeColors.h"
#include "app/views/ViewText.h"

#include <QAccessible>
#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

namespace skyloom::app {
namespace {

// The list area: takes drops of anything carrying URLs and tells the view
// when a drag enters and leaves.
class DropArea final : public QWidget {
public:
    std::function<void(bool)> targeted;
    std::function<void(const QList<QUrl>&)> dropped;

    explicit DropArea(QWidget* parent) : QWidget(parent) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (!event->mimeData()->hasUrls())
            return;
        event->acceptProposedAction();
        targeted(true);
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dragLeaveEvent(QDragLeaveEvent*) override { targeted(false); }
    void dropEvent(QDropEvent* event) override {
        targeted(false);
        // Every drop counts as taken; the store reports what it refused.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        dropped(event->mimeData()->urls());
    }
    void resizeEvent(QResizeEvent*) override {
        for (auto* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->testAttribute(Qt::WA_TransparentForMouseEvents))
                child->setGeometry(rect());
    }
};

// The frame drawn round the list while a drag hovers over it.
class DropHighlight final : public QWidget {
public:
    explicit DropHighlight(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRoundedRect(QRectF(rect()).adjusted(5, 5, -5, -5), 8, 8);
    }
};

QWidget* makeEmptyState(QWidget* parent) {
    auto* empty = new QWidget(parent);
    auto* layout = new QVBoxLayout(empty);
    layout->setAlignment(Qt::AlignCenter);
    layout->setSpacing(8);
    auto* symbol = new QLabel(empty);
    const QPalette& colors = empty->palette();
    symbol->setPixmap(symbolPixmap(
        "pin", 40,
        withContrast(colors.color(QPalette::PlaceholderText), colors.color(QPalette::Window), 3.0),
        empty->devicePixelRatioF()));
    symbol->setAccessibleName(QString());
    symbol->setAlignment(Qt::AlignCenter);
    layout->addWidget(symbol);
    auto* title =
        new QLabel(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "고정된 폴더가 없어요")), empty);
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.25);
    title->setFont(font);
    title->setAlignment(Qt::AlignCenter);
    setAccessibleRole(title, QAccessible::Heading);
    layout->addWidget(title);
    auto* description =
        new QLabel(localized(SKYLOOM_TRANSLATE_NOOP(
                       "Skyloom", "맨 위에 둘 폴더를 고르거나 여기로 끌어 놓으세요.")),
                   empty);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignCenter);
    makeSecondary(description);
    layout->addWidget(description);
    return empty;
}

} // namespace

PinListView::PinListView(PinStore& store, Style style, AppActions actions, QWidget* parent)
    : QWidget(parent), store_(store), style_(style), actions_(std::move(actions)),
      model_(new PinListModel(store, this)) {
    setObjectName("pins.root");
    if (style_ == Style::menuBar)
        setMinimumSize(340, 320);
    else
        setMinimumSize(420, 360);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* area = new DropArea(this);
    dropArea_ = area;
    auto* areaLayout = new QVBoxLayout(area);
    areaLayout->setContentsMargins(0, 0, 0, 0);
    areaLayout->setSpacing(0);
    stack_ = new QStackedWidget(area);
    rows_ = new PinRowListView(store_, *model_, stack_);
    empty_ = makeEmptyState(stack_);
    stack_->addWidget(rows_);
    stack_->addWidget(empty_);
    areaLayout->addWidget(stack_, 1);
    hint_ =
        new QLabel(localized(SKYLOOM_TRANSLATE_NOOP(
                       "Skyloom", "Finder에서 '추가된 날짜' 최신순으로 정렬하면 맨 위에 보여요.")),
                   area);
    QFont caption = hint_->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    hint_->setFont(caption);
    hint_->setWordWrap(true);
    makeSecondary(hint_);
    hint_->setContentsMargins(16, 8, 16, 8);
    areaLayout->addWidget(hint_);
    highlight_ = new DropHighlight(area);
    area->targeted = [this](bool targeted) { setDropTargeted(targeted); };
    area->dropped = [this](const QList<QUrl>& urls) { dropped(urls); };
    root->addWidget(area, 1);

    error_ = new MessageBanner(MessageBanner::Kind::error, this);
    notice_ = new MessageBanner(MessageBanner::Kind::notice, this);
    root->addWidget(error_);
    root->addWidget(notice_);
    connect(error_, &MessageBanner::dismissed, this,
            [this] { store_.setErrorMessage(std::nullopt); });
    connect(notice_, &MessageBanner::dismissed, this,
            [this] { store_.setNoticeMessage(std::nullopt); });
    error_->setMessage(toQString(store_.errorMessage()));
    notice_->setMessage(toQString(store_.noticeMessage()));
    errorToken_ = store_.errorMessageChanged().add(
        [this](const PinStore::Message& message) { error_->setMessage(toQString(message)); });
    noticeToken_ = store_.noticeMessageChanged().add(
        [this](const PinStore::Message& message) { notice_->setMessage(toQString(message)); });

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    root->addWidget(divider);

    auto* footer = new QWidget(this);
    buildFooter(footer);
    root->addWidget(footer);

    // Says a row's new trouble (missing, locked, needs access) to screen
    // readers, which do not read a row that is not focused.
    announcer_ = new QLabel(this);
    announcer_->setTextFormat(Qt::PlainText);
    announcer_->setFixedSize(0, 0);
    setAccessibleRole(announcer_, QAccessible::AlertMessage);
    connect(model_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) {
                for (int row = first.row(); row <= last.row(); ++row)
                    noteStatus(row);
            });
    for (int row = 0; row < model_->rowCount(); ++row)
        noteStatus(row, false);

    connect(model_, &QAbstractItemModel::rowsInserted, this, &PinListView::updateEmptyState);
    // A new pin, from the chooser, a drop or the command line, is shown and
    // selected, wherever it lands in the list.
    // A batch of a thousand pins arrives row by row: selecting each one
    // would lay the whole list out a thousand times, so the last of them is
    // selected once the batch is in.
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int, int last) {
                const bool scheduled = newestRow_.isValid();
                newestRow_ = model_->index(last);
                if (scheduled)
                    return;
                QTimer::singleShot(0, this, [this] {
                    const QModelIndex index = newestRow_;
                    newestRow_ = QPersistentModelIndex();
                    if (!index.isValid())
                        return;
                    rows_->setCurrentIndex(index);
                    rows_->scrollTo(index);
                });
            });
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &PinListView::updateEmptyState);
    connect(model_, &QAbstractItemModel::modelReset, this, &PinListView::updateEmptyState);
    updateEmptyState();
}

PinListView::~PinListView() {
    store_.errorMessageChanged().remove(errorToken_);
    store_.noticeMessageChanged().remove(noticeToken_);
}

void PinListView::buildFooter(QWidget* footer) {
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);

    auto* add = prominentButton(localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "폴더 고정…")), footer);
    add->setIcon(tintedIcon("pin", 16, add->palette().color(QPalette::ButtonText)));
    add->setObjectName("pins.add");
    add->setShortcut(QKeySequence::Open);
    add->setAutoDefault(false);
    // Reported as the default button: Return with nothing else to press pins.
    add->setDefault(true);
    add_ = add;
    connect(add, &QPushButton::clicked, this, [this] { store_.chooseFoldersToPin(); });
    layout->addWidget(add);
    layout->addStretch(1);

    if (style_ == Style::menuBar) {
        auto* manager = iconLabel(
            "macwindow", localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "관리 창 열기")), footer);
        connect(manager, &QToolButton::clicked, this, [this] { openWindowAndActivate("manager"); });
        layout->addWidget(manager);
    }

    auto* settings =
        iconLabel("gearshape", localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "설정")), footer);
    settings->setObjectName("pins.settings");
    connect(settings, &QToolButton::clicked, this, [this] {
        if (actions_.openSettings)
            actions_.openSettings();
    });
    layout->addWidget(settings);

    if (style_ == Style::menuBar) {
        auto* quit = iconLabel(
            "power", localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom 종료")), footer);
        quit->setShortcut(QKeySequence::Quit);
        connect(quit, &QToolButton::clicked, this, [this] {
            if (actions_.quit)
                actions_.quit();
        });
        layout->addWidget(quit);
    }
}

QSize PinListView::sizeHint() const {
    const bool menuBar = style_ == Style::menuBar;
    return {menuBar ? 340 : 520, std::max(menuBar ? 420 : 480, minimumHeight())};
}

void PinListView::openWindowAndActivate(const QString& id) {
    if (actions_.openWindowAndActivate)
        actions_.openWindowAndActivate(id);
}

void PinListView::updateEmptyState() {
    const bool empty = model_->rowCount() == 0;
    // An empty list is left out for screen readers; the empty state speaks instead.
    stack_->setCurrentWidget(empty ? empty_ : static_cast<QWidget*>(rows_));
    hint_->setVisible(!empty);
}

void PinListView::noteStatus(int row, bool announce) {
    auto pin = model_->pin(row);
    if (!pin || !pin->persistentIdentifier())
        return;
    const auto status = PinRow::status(*pin);
    auto& known = statuses_[*pin->persistentIdentifier()];
    const bool changed = known != static_cast<int>(status);
    known = static_cast<int>(status);
    if (!announce || !changed || status == PinRow::Status::normal)
        return;
    const QString text =
        QString::fromStdString(pin->displayName()) + " \u2014 " + PinRow::secondLine(*pin);
    showAlert(announcer_, text);
}

void PinListView::keyPressEvent(QKeyEvent* event) {
    // Return with the focus on no button of its own pins, as the default button.
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // The rows answer Return themselves (open); a row they cannot open does
    // not start a chooser either.
    QWidget* focused = QApplication::focusWidget();
    if (isReturn && event->modifiers() == Qt::NoModifier && focused && isAncestorOf(focused) &&
        focused != rows_ && !qobject_cast<QAbstractButton*>(focused)) {
        add_->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PinListView::setDropTargeted(bool targeted) {
    isDropTargeted_ = targeted;
    highlight_->setGeometry(dropArea_->rect());
    highlight_->raise();
    highlight_->setVisible(targeted);
}

void PinListView::dropped(const QList<QUrl>& urls) {
    std::vector<std::string> paths;
    QStringList refused;
    paths.reserve(urls.size());
    for (const QUrl& url : urls) {
        // An smb:// or https:// address names no folder of this computer;
        // taken as a path it would be looked for under the working folder.
        if (!url.isLocalFile()) {
            refused << url.toDisplayString(QUrl::RemovePassword) + " \u2014 " +
                           localized(SKYLOOM_TRANSLATE_NOOP(
                               "Skyloom", "이 컴퓨터의 폴더만 고정할 수 있어요. 네트워크 주소는 "
                                          "고정할 수 없어요."));
            continue;
        }
        paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    if (!paths.empty())
        store_.add(paths);
    if (refused.isEmpty())
        return;
    if (!paths.empty() && store_.errorMessage())
        refused.prepend(toQString(store_.errorMessage()));
    store_.setErrorMessage(refused.join('\n').toStdString());
}

} // namespace skyloom::app
