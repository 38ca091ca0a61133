// Pixbar4Designer: designs messages for the LED sign, previews them and sends them to it.
#include "applicationlook.h"
#include "prompts.h"
#include "unitpixbar4designer.h"
#include "workingfolder.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pixbar4Designer"));
    pixbar::InstallPolishQtTexts(app);
    QApplication::setStyle(pixbar::InterfaceStyle());
    QApplication::setFont(pixbar::InterfaceFont());

    pixbar::QtPrompts prompts;
    // Started outside a folder with its data files, the designer works in the user's own.
    const pixbar::WorkingFolder workingFolder = pixbar::enterWorkingFolder(
        pixbar::DataPlaces::fromProcess(QCoreApplication::applicationDirPath().toStdString()));
    if (!workingFolder) {
        prompts.error(QString::fromStdString(workingFolder.error));
        return 1;
    }
    pixbar::TForm1 form(prompts);
    QString error;
    if (!form.FormCreate(&error)) {
        // Without its fonts or its symbol table the designer cannot draw a single message.
        prompts.error(error);
        return 1;
    }
    form.show();
    return QApplication::exec();
}
