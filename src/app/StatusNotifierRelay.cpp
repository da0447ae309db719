#include "app/StatusNotifierRelay.h"

#include "app/Logging.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QVariantMap>

#include <array>

namespace skyloom::app {

namespace {

const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// Qt names the connection of each tray icon "org.kde.StatusNotifierItem-
// <pid>-<n>", n counting every icon the process made, also each one made
// only to ask whether there is a tray; beyond this many it is not looked for.
constexpr int mostIcons = 4096;

QString interfaceOf(const QObject* adaptor) {
    const QMetaObject* meta = adaptor->metaObject();
    const int index = meta->indexOfClassInfo("D-Bus Interface");
    return index < 0 ? QString() : QString::fromLatin1(meta->classInfo(index).value());
}

QDBusAbstractAdaptor* itemAdaptorOf(const QObject* item) {
    if (!item)
        return nullptr;
    for (auto* adaptor : item->findChildren<QDBusAbstractAdaptor*>(Qt::FindDirectChildrenOnly))
        if (interfaceOf(adaptor) == itemInterface)
            return adaptor;
    return nullptr;
}

} // namespace

StatusNotifierRelay::StatusNotifierRelay(QObject* parent) : QDBusVirtualObject(parent) {}

StatusNotifierRelay::~StatusNotifierRelay() {
    uninstall();
}

bool StatusNotifierRelay::isInstalled() const {
    return !connectionName_.isEmpty() &&
           QDBusConnection(connectionName_).objectRegisteredAt(itemPath) == this;
}

bool StatusNotifierRelay::install() {
    if (isInstalled())
        return true;
    // Shown again, the icon keeps the name of its connection.
    QString name = connectionName_;
    QObject* item = name.isEmpty() ? nullptr : QDBusConnection(name).objectRegisteredAt(itemPath);
    if (!itemAdaptorOf(item)) {
        item = nullptr;
        const QString format = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                                   .arg(QCoreApplication::applicationPid());
        // The last one made is the icon shown.
        for (int n = 1; n <= mostIcons; ++n) {
            const QString candidate = format.arg(n);
            const QDBusConnection connection(candidate);
            if (!connection.isConnected())
                continue;
            QObject* object = connection.objectRegisteredAt(itemPath);
            if (itemAdaptorOf(object)) {
                name = candidate;
                item = object;
            }
        }
    }
    QDBusAbstractAdaptor* adaptor = itemAdaptorOf(item);
    if (!adaptor) {
        qCDebug(lcShell) << "no StatusNotifierItem to stand in for";
        return false;
    }
    QDBusConnection connection(name);
    connection.unregisterObject(itemPath);
    if (!connection.registerVirtualObject(itemPath, this)) {
        // Qt's own registration, as it was.
        connection.registerObject(itemPath, item);
        qCWarning(lcShell) << "the tray item keeps Qt's object: a click opens the panel at the "
                              "pointer, not at the point the tray gives";
        return false;
    }
    connectionName_ = name;
    item_ = item;
    if (adaptor_ != adaptor) {
        if (adaptor_)
            disconnect(adaptor_, nullptr, this, nullptr);
        adaptor_ = adaptor;
        const QMetaMethod relay =
            staticMetaObject.method(staticMetaObject.indexOfSlot("relaySignal()"));
        const QMetaObject* meta = adaptor->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                connect(adaptor, meta->method(i), this, relay);
    }
    qCDebug(lcShell) << "standing in for the tray item on" << name;
    return true;
}

void StatusNotifierRelay::uninstall() {
    if (!isInstalled())
        return;
    QDBusConnection connection(connectionName_);
    connection.unregisterObject(itemPath);
    if (item_)
        connection.registerObject(itemPath, item_);
}

bool StatusNotifierRelay::registerWithWatcher() {
    if (!isInstalled())
        return false;
    QDBusConnection connection(connectionName_);
    QDBusMessage call = QDBusMessage::createMethodCall(
        watcherService, QStringLiteral("/StatusNotifierWatcher"), watcherService,
        QStringLiteral("RegisterStatusNotifierItem"));
    call << connection.baseService();
    auto* reply = new QDBusPendingCallWatcher(connection.asyncCall(call), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* reply) {
        if (reply->isError())
            qCWarning(lcShell) << "the tray did not take the icon:" << reply->error().message();
        reply->deleteLater();
    });
    return true;
}

QString StatusNotifierRelay::introspect(const QString&) const {
    if (!adaptor_)
        return {};
    const QMetaObject* meta = adaptor_->metaObject();
    const int index = meta->indexOfClassInfo("D-Bus Introspection");
    return index < 0 ? QString() : QString::fromUtf8(meta->classInfo(index).value());
}

bool StatusNotifierRelay::handleMessage(const QDBusMessage& message,
                                        const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    if (!adaptor_) {
        connection.send(message.createErrorReply(QDBusError::UnknownObject,
                                                 QStringLiteral("The tray icon is gone")));
        return true;
    }
    if (message.interface() == propertiesInterface)
        return answerProperties(message, connection);
    if (message.interface() == itemInterface || message.interface().isEmpty())
        return callItem(message, connection);
    // Introspection is Qt's, from introspect().
    return false;
}

bool StatusNotifierRelay::callItem(const QDBusMessage& message, const QDBusConnection& connection) {
    const QVariantList arguments = message.arguments();
    if (message.member() == QLatin1String("Activate") &&
        message.signature() == QLatin1String("ii")) {
        connection.send(message.createReply());
        // (0, 0) is what trays send when they know no point: a null point.
        emit activated(QPoint(arguments.at(0).toInt(), arguments.at(1).toInt()));
        return true;
    }
    // Every other call goes to Qt's item as it came.
    const QMetaObject* meta = adaptor_->metaObject();
    const QByteArray member = message.member().toLatin1();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Signal || method.name() != member ||
            method.parameterCount() != arguments.size() || arguments.size() > 10)
            continue;
        std::array<QByteArray, 10> types;
        std::array<QGenericArgument, 10> values;
        bool typesMatch = true;
        for (int p = 0; p < arguments.size(); ++p) {
            typesMatch = typesMatch && arguments.at(p).metaType() == method.parameterMetaType(p);
            types[p] = method.parameterTypeName(p);
            values[p] = QGenericArgument(types[p].constData(), arguments.at(p).constData());
        }
        if (!typesMatch)
            continue;
        QVariant result;
        QGenericReturnArgument returned;
        if (method.returnType() != QMetaType::Void) {
            result = QVariant(method.returnMetaType());
            returned = QGenericReturnArgument(method.typeName(), result.data());
        }
        method.invoke(adaptor_, Qt::DirectConnection, returned, values[0], values[1], values[2],
                      values[3], values[4], values[5], values[6], values[7], values[8], values[9]);
        connection.send(result.isValid() ? message.createReply(result) : message.createReply());
        return true;
    }
    if (message.interface().isEmpty())
        return false;
    connection.send(message.createErrorReply(
        QDBusError::UnknownMethod, QStringLiteral("No method %1(%2) in %3")
                                       .arg(message.member(), message.signature(), itemInterface)));
    return true;
}

bool StatusNotifierRelay::answerProperties(const QDBusMessage& message,
                                           const QDBusConnection& connection) {
    const QVariantList arguments = message.arguments();
    const QString member = message.member();
    const QString signature = message.signature();
    const QString interface = arguments.value(0).toString();
    const bool ofItem = interface == itemInterface || interface.isEmpty();
    const QMetaObject* meta = adaptor_->metaObject();
    if (member == QLatin1String("GetAll") && signature == QLatin1String("s")) {
        if (!ofItem) {
            connection.send(message.createErrorReply(QDBusError::UnknownInterface,
                                                     QStringLiteral("No interface ") + interface));
            return true;
        }
        QVariantMap all;
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
            if (meta->property(i).isReadable())
                all.insert(QString::fromLatin1(meta->property(i).name()),
                           meta->property(i).read(adaptor_));
        connection.send(message.createReply(QVariant::fromValue(all)));
        return true;
    }
    const bool get = member == QLatin1String("Get") && signature == QLatin1String("ss");
    const bool set = member == QLatin1String("Set") && signature == QLatin1String("ssv");
    if (!get && !set)
        return false;
    const QString name = arguments.value(1).toString();
    const int index = ofItem ? meta->indexOfProperty(name.toLatin1().constData()) : -1;
    if (index < meta->propertyOffset())
        connection.send(message.createErrorReply(
            ofItem ? QDBusError::UnknownProperty : QDBusError::UnknownInterface,
            QStringLiteral("No property %1 in %2").arg(name, interface)));
    else if (set)
        connection.send(message.createErrorReply(QDBusError::PropertyReadOnly,
                                                 QStringLiteral("%1 is read-only").arg(name)));
    else
        connection.send(message.createReply(
            QVariant::fromValue(QDBusVariant(meta->property(index).read(adaptor_)))));
    return true;
}

void StatusNotifierRelay::relaySignal() {
    const int index = senderSignalIndex();
    if (!adaptor_ || sender() != adaptor_ || index < 0 || !isInstalled())
        return;
    const QMetaMethod signal = adaptor_->metaObject()->method(index);
    const QString name = QString::fromLatin1(signal.name());
    QDBusMessage relayed = QDBusMessage::createSignal(itemPath, itemInterface, name);
    // The one signal with a value, NewStatus, carries the new Status.
    if (signal.parameterCount() == 1 && name.startsWith(QLatin1String("New")))
        relayed << adaptor_->property(name.mid(3).toLatin1().constData());
    else if (signal.parameterCount() > 0)
        return;
    QDBusConnection(connectionName_).send(relayed);
}

} // namespace skyloom::app
