#pragma once

#include <QString>

class QCoreApplication;
class QFont;
class QStyle;

namespace pixbar {

/// Where Debian's fonts-wine puts the free font with Tahoma's metrics.
inline constexpr const char* kTahomaFolder = "/usr/share/wine/fonts";
/// Tahoma 8 pt on the 96 dpi screen the windows were laid out on.
inline constexpr int kInterfaceFontPixels = 11;

/// Loads Qt's own Polish texts (file dialogs, standard buttons, its questions) from the
/// system's Qt translations. False when they are not installed; Qt then stays English.
bool InstallPolishQtTexts(QCoreApplication& app);

/// The windows' font: Tahoma 8 pt (11 pixels), the face and size the layout was drawn for. Tahoma and Tahoma bold
/// are taken from `folder` when they are there, so the tabs and tool bar fit as drawn.
QFont InterfaceFont(const QString& folder = QString::fromLatin1(kTahomaFolder));

/// The windows' style: Fusion with the spacing of the layout as drawn, so the eight page tabs
/// fit the page control and a drop-down arrow of the tool bar stays clear of its caption.
QStyle* InterfaceStyle();

} // namespace pixbar
