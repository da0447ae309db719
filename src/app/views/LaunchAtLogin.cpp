#include "app/views/LaunchAtLogin.h"

#include "app/views/ViewText.h"
#include "core/integration/EntryFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include <system_error>

namespace skyloom::app {
namespace {

constexpr const char* entryName = "engineering.brindle.Skyloom.desktop";

// An argument of an Exec key, quoted as the Desktop Entry format
// asks: inside double quotes, `"`, `` ` ``, `$` and `\` are escaped; then
// every backslash is doubled again because the value is a string.
QString quotedArgument(const QString& argument) {
    QString quoted;
    for (QChar c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted = "\"" + quoted + "\"";
    quoted.replace("\\", "\\\\").replace("%", "%%");
    return quoted.replace("\n", "\\n").replace("\t", "\\t").replace("\r", "\\r");
}

QString failure(const QString& detail) {
    return localized(SKYLOOM_TRANSLATE_NOOP("Skyloom", "로그인 시 실행을 바꾸지 못했어요.")) +
           " (" + detail + ")";
}

} // namespace

LaunchAtLogin::LaunchAtLogin(QString programDirectory)
    : programDirectory_(std::move(programDirectory)) {}

LaunchAtLogin::LaunchAtLogin() : LaunchAtLogin(QCoreApplication::applicationDirPath()) {}

QString LaunchAtLogin::entryPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + "/.config";
    return config + "/autostart/" + entryName;
}

QString LaunchAtLogin::command() const {
    return quotedArgument(QDir(programDirectory_).absoluteFilePath("skyloom")) + " --login-item";
}

LaunchAtLogin::Status LaunchAtLogin::status() const {
    // Read without waiting: a FIFO in its place must not freeze the settings.
    auto file = EntryFiles::readRegular(QFile::encodeName(entryPath()).toStdString());
    if (file.status != EntryFiles::ReadStatus::read)
        return Status::notRegistered;
    QString text = QString::fromUtf8(file.text.data(), static_cast<qsizetype>(file.text.size()));
    QTextStream in(&text);
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('['))
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.startsWith("Hidden") &&
                 line.section('=', 1).trimmed().compare("true", Qt::CaseInsensitive) == 0)
            return Status::notRegistered;
    }
    return Status::enabled;
}

std::optional<QString> LaunchAtLogin::registerEntry() const {
    const QString path = entryPath();
    const QString folder = QFileInfo(path).absolutePath();
    // Started at every login: nobody else may change what it runs, whatever
    // the umask.
    if (!EntryFiles::makeFolders(QFile::encodeName(folder).toStdString()))
        return failure(folder);
    // Something else in its place (a FIFO, a device, a link) is left alone.
    const std::string target = QFile::encodeName(path).toStdString();
    if (EntryFiles::readRegular(target).status == EntryFiles::ReadStatus::notRegular)
        return failure(path);
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Skyloom\n"
                                        "Exec=") +
                         command() +
                         QStringLiteral("\n"
                                        "Icon=engineering.brindle.Skyloom\n"
                                        "Terminal=false\n"
                                        "NoDisplay=true\n"
                                        "X-GNOME-Autostart-enabled=true\n"
                                        // Its tray icon needs the panel up first.
                                        "X-KDE-autostart-after=panel\n"
                                        "X-LXQt-Need-Tray=true\n");
    try {
        EntryFiles::replace(target, text.toStdString(), 0644);
    } catch (const std::system_error& error) {
        return failure(QString::fromLocal8Bit(error.code().message().c_str()));
    }
    return std::nullopt;
}

std::optional<QString> LaunchAtLogin::unregisterEntry() const {
    QFile file(entryPath());
    if (!file.exists() || file.remove())
        return std::nullopt;
    return failure(file.errorString());
}

} // namespace skyloom::app
