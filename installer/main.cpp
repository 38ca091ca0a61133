#include "unitmain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Qt's own texts (the buttons of its message boxes) in Polish, when installed.
    QTranslator qt;
    if (qt.load(QStringLiteral("qtbase_pl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qt);
    TForm1 form;
    form.show();
    return app.exec();
}
