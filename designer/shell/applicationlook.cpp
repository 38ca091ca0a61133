#include "applicationlook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTranslator>

namespace pixbar {

namespace {

/// Space left and right of a page tab's caption together (the caption is ~60 pixels).
constexpr int kTabSpace = 8;

class LayoutStyle : public QProxyStyle {
public:
    LayoutStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return kTabSpace;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* tool = qstyleoption_cast<const QStyleOptionToolButton*>(option);
        if (element == CE_ToolButtonLabel && tool &&
            (tool->features & QStyleOptionToolButton::HasMenu) &&
            !(tool->features & QStyleOptionToolButton::MenuButtonPopup)) {
            // The arrow of a drop-down button sits in its bottom right corner: the caption is
            // centred in what is left beside it.
            QStyleOptionToolButton label = *tool;
            label.rect.adjust(0, 0, -pixelMetric(PM_MenuButtonIndicator, option, widget) + 4, 0);
            QProxyStyle::drawControl(element, &label, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

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

QStyle* InterfaceStyle() {
    return new LayoutStyle;
}

QFont InterfaceFont(const QString& folder) {
    const QDir dir(folder);
    for (const char* file : {"tahoma.ttf", "tahomabd.ttf"})
        if (dir.exists(QLatin1String(file)))
            QFontDatabase::addApplicationFont(dir.filePath(QLatin1String(file)));
    // 8 pt as the layout was drawn, on a 96 dpi screen: 11 pixels whatever the screen says.
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(kInterfaceFontPixels);
    return font;
}

} // namespace pixbar
