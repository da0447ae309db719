#include "app/views/Preferences.h"

#include "app/Logging.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace skyloom::app {
namespace {

constexpr auto organization = "brindle-engineering";
constexpr auto application = "Skyloom";

constexpr auto hasSeenOnboardingKey = "hasSeenOnboarding";
constexpr auto fileManagerEntriesWrittenKey = "fileManagerEntriesWritten";
constexpr auto lastUpdateCheckKey = "updates/lastCheck";
constexpr auto updateCheckIntervalKey = "updates/checkInterval";

QSettings file() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, organization, application);
}

void write(const char* key, const QVariant& value) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, organization, application);
    settings.setValue(QLatin1String(key), value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcStore) << "cannot write" << key << "to" << settings.fileName();
}

} // namespace

QString Preferences::filePath() {
    return file().fileName();
}

bool Preferences::hasSeenOnboarding() {
    return file().value(QLatin1String(hasSeenOnboardingKey), false).toBool();
}

void Preferences::setHasSeenOnboarding(bool value) {
    write(hasSeenOnboardingKey, value);
}

bool Preferences::fileManagerEntriesWritten() {
    return file().value(QLatin1String(fileManagerEntriesWrittenKey), false).toBool();
}

void Preferences::setFileManagerEntriesWritten(bool value) {
    write(fileManagerEntriesWrittenKey, value);
}

std::int64_t Preferences::lastUpdateCheck() {
    return file().value(QLatin1String(lastUpdateCheckKey), 0).toLongLong();
}

std::int64_t Preferences::updateCheckInterval(std::int64_t fallback) {
    return file().value(QLatin1String(updateCheckIntervalKey), qint64(fallback)).toLongLong();
}

void Preferences::migrate() {
    const QFileInfo ini(filePath());
    const QString old =
        ini.path() + QLatin1Char('/') + ini.completeBaseName() + QStringLiteral(".conf");
    if (!QFile::exists(old))
        return;
    QSettings from(old, QSettings::IniFormat);
    QSettings to(QSettings::IniFormat, QSettings::UserScope, organization, application);
    for (const QString& key : from.allKeys())
        if (!to.contains(key))
            to.setValue(key, from.value(key));
    to.sync();
    if (to.status() != QSettings::NoError || !QFile::remove(old))
        qCWarning(lcStore) << "cannot move the settings of" << old << "to" << to.fileName();
}

} // namespace skyloom::app
