#include "applicationlook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>

namespace pixbar {

bool InstallPolishQtTexts(QCoreApplication& app) {
    // Owned by the application, which keeps it for its lifetime.
    auto* qt = new QTranslator(&app);
    if (!qt->load(QStringLiteral("qtbase_pl"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    return QCoreApplication::installTranslator(qt);
}

QFont InterfaceFont(const QString& folder) {
    const QDir dir(folder);
    for (const char* file : {"tahoma.ttf", "tahomabd.ttf"})
        if (dir.exists(QLatin1String(file)))
            QFontDatabase::addApplicationFont(dir.filePath(QLatin1String(file)));
    return QFont(QStringLiteral("Tahoma"), 8);
}

} // namespace pixbar
