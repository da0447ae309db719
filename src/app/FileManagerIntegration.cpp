#include "app/FileManagerIntegration.h"

#include "core/integration/FileManagerEntries.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace skyloom::app {

namespace {

const char* const writtenKey = "fileManagerEntriesWritten";

// The command line the entries run: beside the app when installed, in the
// build tree's own folder when run from there.
std::string commandLineProgram() {
    const QString appDir = QCoreApplication::applicationDirPath();
    for (const QString& candidate :
         {appDir + QStringLiteral("/skyloom"), appDir + QStringLiteral("/../cli/skyloom")}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.canonicalFilePath().toStdString();
    }
    return FileManagerEntries::installedProgram();
}

} // namespace

QString integrateFileManagers(bool remove) {
    const FileManagerEntries entries;
    const auto outcomes = remove ? entries.remove() : entries.write(commandLineProgram());
    QStringList errors;
    for (const auto& outcome : outcomes) {
        if (outcome.error)
            errors << QString::fromStdString(*outcome.error);
    }
    QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                       QStringLiteral("brindle-engineering"), QStringLiteral("Skyloom"));
    settings.setValue(QLatin1String(writtenKey), true);
    return errors.join(QLatin1Char('\n'));
}

void integrateOnFirstStart() {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                       QStringLiteral("brindle-engineering"), QStringLiteral("Skyloom"));
    if (settings.value(QLatin1String(writtenKey), false).toBool())
        return;
    if (integrateFileManagers(false).isEmpty())
        return;
    // Something failed: the next start tries again.
    settings.remove(QLatin1String(writtenKey));
}

} // namespace skyloom::app
