#include "app/AppTranslations.h"

#include "core/Translate.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>

namespace skyloom::app {

namespace {

QString sessionLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

} // namespace

QString chosenTranslation(const QString& sessionLanguage) {
    static const QRegularExpression english(QStringLiteral("^en([_.@].*)?$"));
    return english.match(sessionLanguage).hasMatch() ? QStringLiteral("en") : QString();
}

void installTranslations(QCoreApplication& application) {
    const QString language = chosenTranslation(sessionLanguage());
    if (language.isEmpty()) {
        // Qt's own dialogs (the folder chooser) speak Korean with the rest.
        auto* qtTexts = new QTranslator(&application);
        if (qtTexts->load(QStringLiteral("qtbase_ko"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qtTexts);
    } else {
        const QString appDir = QCoreApplication::applicationDirPath();
        // Installed beside the other shared data, or in the build tree.
        const QStringList places{appDir + QStringLiteral("/../share/skyloom/translations"),
                                 appDir + QStringLiteral("/../../translations")};
        auto* translator = new QTranslator(&application);
        for (const QString& place : places) {
            if (translator->load(QStringLiteral("skyloom_") + language, QDir::cleanPath(place))) {
                QCoreApplication::installTranslator(translator);
                break;
            }
        }
    }
    setTranslateHook([](const char* context, const char* sourceText) {
        return QCoreApplication::translate(context, sourceText).toStdString();
    });
}

} // namespace skyloom::app
