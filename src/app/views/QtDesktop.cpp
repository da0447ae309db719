#include "app/views/QtDesktop.h"

#include "app/views/MessageBanner.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace skyloom::app {
namespace {

QString fromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

void openParentFolder(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

} // namespace

std::optional<std::vector<std::string>> QtDesktop::chooseFolders(const FolderChoice& choice) {
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(choice.message));
    // The desktop's own chooser (the portal's, GTK's, KDE's) where one folder
    // is asked for. Their folder modes return a single folder, so several at
    // once take Qt's dialog with extended selection.
    if (choice.allowsMultipleSelection)
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(choice.prompt));
    if (choice.startDirectory)
        dialog.setDirectory(fromPath(*choice.startDirectory));
    if (dialog.testOption(QFileDialog::DontUseNativeDialog))
        for (auto* view : dialog.findChildren<QAbstractItemView*>())
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    std::vector<std::string> chosen;
    for (const QString& file : dialog.selectedFiles()) {
        chosen.push_back(QFile::encodeName(file).toStdString());
        if (!choice.allowsMultipleSelection)
            break;
    }
    return chosen;
}

void QtDesktop::reveal(const std::string& path) {
    const QString folder = fromPath(path);
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openParentFolder(folder);
        return;
    }
    auto call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                               "/org/freedesktop/FileManager1",
                                               "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(folder).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000), qApp);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, qApp, [watcher, folder] {
        if (watcher->isError())
            openParentFolder(folder);
        watcher->deleteLater();
    });
}

void QtDesktop::open(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(fromPath(path)));
}

void QtDesktop::announce(const std::string& text) {
    const QString message = QString::fromStdString(text);
    for (QWidget* widget : QApplication::allWidgets())
        if (auto* banner = qobject_cast<MessageBanner*>(widget))
            banner->announce(message);
}

void QtDesktop::activate() {
    if (QWidget* window = QApplication::activeWindow())
        window->activateWindow();
}

std::optional<std::string> QtDesktop::downloadsDirectory() const {
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (downloads.isEmpty() || !QFileInfo(downloads).isDir())
        return std::nullopt;
    return QFile::encodeName(downloads).toStdString();
}

} // namespace skyloom::app
