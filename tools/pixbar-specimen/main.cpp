// pixbar-specimen: draws every font of the sign as LEDs into one PNG, so that a person can
// check the glyphs.
//
//   pixbar-specimen [--data DIR] [--fonts N,N,...] OUT.png

#include "specimen.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

int usage() {
    std::fprintf(stderr, "usage: pixbar-specimen [--data DIR] [--fonts N,N,...] OUT.png\n"
                         "  --data DIR   folder holding the font and symbol files (default: .)\n"
                         "  --fonts N,.. only these font numbers (1..15)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // Captions are drawn with Qt's fonts; no window is ever shown.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    specimen::SpecimenOptions options;
    QString output;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--data" && i + 1 < args.size()) {
            options.dataDir = args[++i].toStdString();
        } else if (a == "--fonts" && i + 1 < args.size()) {
            for (const QString& n : args[++i].split(',', Qt::SkipEmptyParts)) {
                bool ok = false;
                const int number = n.toInt(&ok);
                if (!ok || number < 1 || number > 15) return usage();
                options.fonts.push_back(number);
            }
        } else if (a.startsWith('-') || !output.isEmpty()) {
            return usage();
        } else {
            output = a;
        }
    }
    if (output.isEmpty()) return usage();

    QString error;
    const QImage image = specimen::RenderSpecimen(options, error);
    if (image.isNull()) {
        std::fprintf(stderr, "pixbar-specimen: %s\n", qPrintable(error));
        return 1;
    }
    if (!image.save(output, "PNG")) {
        std::fprintf(stderr, "pixbar-specimen: cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
