#include "app/views/LaunchAtLogin.h"

#include "app/views/ViewText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

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
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return Status::notRegistered;
    QTextStream in(&file);
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
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return failure(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return failure(file.errorString());
    QTextStream out(&file);
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=Skyloom\n"
        << "Exec=" << command() << "\n"
        << "Icon=skyloom\n"
        << "Terminal=false\n"
        << "NoDisplay=true\n"
        << "X-GNOME-Autostart-enabled=true\n";
    out.flush();
    if (!file.commit())
        return failure(file.errorString());
    return std::nullopt;
}

std::optional<QString> LaunchAtLogin::unregisterEntry() const {
    QFile file(entryPath());
    if (!file.exists() || file.remove())
        return std::nullopt;
    return failure(file.errorString());
}

} // namespace skyloom::app
