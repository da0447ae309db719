#include "app/views/MessageBanner.h"

#include "app/views/AccessibleRole.h"
#include "app/views/IconLabel.h"
#include "app/views/ThemeColors.h"
#include "app/views/ViewText.h"

#include <QAccessible>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

namespace skyloom::app {
MessageBanner::MessageBanner(Kind kind, QWidget* parent) : QFrame(parent), kind_(kind) {
    const bool error = kind == Kind::error;
    setObjectName(error ? "pins.error" : "pins.notice");
    // An alert: screen readers speak it when it appears or its text changes.
    setAccessibleRole(this, QAccessible::AlertMessage);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);

    symbol_ = new QLabel(this);
    symbol_->setFixedSize(16, 16);
    symbol_->setAccessibleName(QString());
    layout->addWidget(symbol_, 0, Qt::AlignTop);

    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The alert itself speaks the text; its label is not read a second time.
    setAccessibleRole(text_, QAccessible::NoRole);
    text_->setAccessibleName(QStringLiteral(" "));
    layout->addWidget(text_, 1);

    dismiss_ = iconLabel("xmark",
                         error ? localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "오류 닫기"))
                               : localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "알림 닫기")),
                         this);
    layout->addWidget(dismiss_, 0, Qt::AlignTop);
    connect(dismiss_, &QToolButton::clicked, this, &MessageBanner::dismissed);
    updateColors();
    setVisible(false);
}

void MessageBanner::updateColors() {
    const QColor background = bannerBackground(palette(), kind_ == Kind::error);
    const QColor ink = kind_ == Kind::error ? errorInk(palette(), background, 3.0)
                                            : noticeInk(palette(), background, 3.0);
    symbol_->setPixmap(
        symbolPixmap(kind_ == Kind::error ? "exclamationmark.triangle.fill" : "info.circle.fill",
                     16, ink, devicePixelRatioF()));
}

void MessageBanner::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        updateColors();
    QFrame::changeEvent(event);
}

void MessageBanner::setMessage(const QString& text) {
    if (text == text_->text()) {
        setVisible(!text.isEmpty());
        return;
    }
    text_->setText(text);
    showAlert(this, text);
    said_ = !text.isEmpty() && isVisible();
}

QString MessageBanner::message() const {
    return text_->text();
}

bool MessageBanner::announce(const QString& text) {
    if (text.isEmpty() || text_->text() != text || !isVisible())
        return false;
    // Said when it appeared: the store's announcement of the same message
    // is not said a second time.
    if (!said_)
        showAlert(this, text);
    said_ = true;
    return true;
}

void MessageBanner::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(rect(), bannerBackground(palette(), kind_ == Kind::error));
    QFrame::paintEvent(event);
}

} // namespace skyloom::app
