#include "app/views/MessageBanner.h"

#include "app/views/IconLabel.h"
#include "app/views/ViewText.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

namespace skyloom::app {
namespace {

QColor colorOf(MessageBanner::Kind kind) {
    return kind == MessageBanner::Kind::error ? QColor(0xd7, 0x26, 0x26) : QColor(0x1c, 0x71, 0xd8);
}

} // namespace

MessageBanner::MessageBanner(Kind kind, QWidget* parent) : QFrame(parent), kind_(kind) {
    const bool error = kind == Kind::error;
    setObjectName(error ? "pins.error" : "pins.notice");

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);

    symbol_ = new QLabel(this);
    symbol_->setPixmap(tintedSymbol(error ? "exclamationmark.triangle.fill" : "info.circle.fill",
                                    32, colorOf(kind))
                           .scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    symbol_->setFixedSize(16, 16);
    symbol_->setAccessibleName(QString());
    layout->addWidget(symbol_, 0, Qt::AlignTop);

    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(text_, 1);

    dismiss_ = iconLabel("xmark",
                         error ? localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "오류 닫기"))
                               : localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "알림 닫기")),
                         this);
    layout->addWidget(dismiss_, 0, Qt::AlignTop);
    connect(dismiss_, &QToolButton::clicked, this, &MessageBanner::dismissed);
    setVisible(false);
}

void MessageBanner::setMessage(const QString& text) {
    text_->setText(text);
    text_->setAccessibleName(text);
    setVisible(!text.isEmpty());
}

QString MessageBanner::message() const {
    return text_->text();
}

bool MessageBanner::announce(const QString& text) {
    if (text.isEmpty() || text_->text() != text || !isVisible())
        return false;
    // Qt 6.4 has no announcement event; a name change on the visible text is
    // what screen readers speak.
    QAccessibleEvent event(text_, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
    return true;
}

void MessageBanner::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    QColor background = colorOf(kind_);
    background.setAlphaF(0.1f);
    painter.fillRect(rect(), background);
    QFrame::paintEvent(event);
}

} // namespace skyloom::app
