#include "app/AppTranslations.h"

#include "app/Logging.h"
#include "cli/CommandLineLanguage.h"
#include "core/Translate.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace skyloom::app {

void installTranslations(QCoreApplication& application) {
    const std::string language = sessionTranslation();
    if (language == "ko") {
        // Qt's own dialogs (the folder chooser) speak Korean with the rest.
        auto* qtTexts = new QTranslator(&application);
        if (qtTexts->load(QStringLiteral("qtbase_ko"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qtTexts);
    } else {
        const QString appDir = QCoreApplication::applicationDirPath();
        // Installed beside the other shared data (bin/../share/skyloom), or in
        // the build tree, where the binary is in bin/ and the .qm in translations/.
        const QStringList places{appDir + QStringLiteral("/../share/skyloom/translations"),
                                 appDir + QStringLiteral("/../translations")};
        auto* translator = new QTranslator(&application);
        bool found = false;
        for (const QString& place : places) {
            if (translator->load(QStringLiteral("skyloom_en"), QDir::cleanPath(place))) {
                QCoreApplication::installTranslator(translator);
                found = true;
                break;
            }
        }
        if (!found)
            qCWarning(lcShell).noquote()
                << "no English translation in" << places.join(QStringLiteral(" or "));
    }
    setTranslateHook([](const char* context, const char* sourceText) {
        return QCoreApplication::translate(context, sourceText).toStdString();
    });
}

} // namespace skyloom::app
