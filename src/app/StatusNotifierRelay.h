#pragma once

#include <QDBusVirtualObject>
#include <QPoint>
#include <QPointer>
#include <QString>

class QDBusAbstractAdaptor;

namespace skyloom::app {

// Stands in for Qt's StatusNotifierItem object on the D-Bus connection Qt
// made for the tray icon, so that the point a tray sends with Activate(x, y)
// reaches the app: Qt's item drops it and reports a bare click. All else is
// still Qt's item, passed through unchanged: its properties, its other
// methods, its signals, and the menu it exports beside it.
class StatusNotifierRelay : public QDBusVirtualObject {
    Q_OBJECT
public:
    explicit StatusNotifierRelay(QObject* parent = nullptr);
    ~StatusNotifierRelay() override;

    // Takes the place of Qt's item, right after the tray icon was shown.
    // False, with everything left as Qt made it, where there is no such item
    // (an XEmbed tray, no session bus) or it is not what is expected.
    bool install();
    // Gives the place back to Qt's item.
    void uninstall();
    bool isInstalled() const;
    // Tells the tray's watcher of the item once more, as Qt does when the
    // watcher starts; false where the relay is not in place.
    bool registerWithWatcher();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

signals:
    // The tray's primary click, at the point it gave in screen coordinates;
    // a null point where it gave none.
    void activated(const QPoint& point);

private slots:
    void relaySignal();

private:
    bool answerProperties(const QDBusMessage& message, const QDBusConnection& connection);
    bool callItem(const QDBusMessage& message, const QDBusConnection& connection);

    QString connectionName_;
    QPointer<QObject> item_;
    QPointer<QDBusAbstractAdaptor> adaptor_;
};

} // namespace skyloom::app
