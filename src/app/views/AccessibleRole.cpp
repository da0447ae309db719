#include "app/views/AccessibleRole.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace skyloom::app {
namespace {

constexpr const char* roleProperty = "skyloomAccessibleRole";

class RoleAccessible final : public QAccessibleWidget {
public:
    RoleAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            if (!widget()->accessibleName().isEmpty())
                return widget()->accessibleName();
            if (auto* label = qobject_cast<QLabel*>(widget()))
                return label->text();
        }
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* roleFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    const QVariant role = widget->property(roleProperty);
    if (!role.isValid())
        return nullptr;
    return new RoleAccessible(widget, static_cast<QAccessible::Role>(role.toInt()));
}

} // namespace

void setAccessibleRole(QWidget* widget, QAccessible::Role role) {
    static const bool installed = [] {
        QAccessible::installFactory(roleFactory);
        return true;
    }();
    (void)installed;
    widget->setProperty(roleProperty, static_cast<int>(role));
    // An interface made before (a label reports its text as it is built,
    // which makes Qt cache one) is dropped, so the next one has the role.
    if (auto* made = QAccessible::queryAccessibleInterface(widget); made && made->role() != role)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void showAlert(QWidget* alert, const QString& text, QWidget* shown) {
    if (!shown)
        shown = alert;
    auto* label = qobject_cast<QLabel*>(alert);
    // Qt 6.4 reports every naming, the same name too.
    const bool renamed = alert->accessibleName() != text;
    if (text.isEmpty()) {
        shown->hide();
        // Still named, the label reports nothing itself; the name's one
        // change comes while it is hidden.
        if (label)
            label->setText(text);
        if (renamed)
            alert->setAccessibleName(text);
        return;
    }
    // Named before it shows, so it appears with its text; a label with a
    // name reports no change of its text besides.
    if (renamed)
        alert->setAccessibleName(text);
    if (label)
        label->setText(text);
    shown->show();
    if (!alert->isVisible())
        return;
    if (!renamed) {
        QAccessibleEvent again(alert, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&again);
    }
    QAccessibleEvent event(alert, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
}

} // namespace skyloom::app
