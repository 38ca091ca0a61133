#pragma once

#include <QString>

class QCoreApplication;
class QFont;

namespace pixbar {

/// Where Debian's fonts-wine puts the free font with Tahoma's metrics.
inline constexpr const char* kTahomaFolder = "/usr/share/wine/fonts";

/// Loads Qt's own Polish texts (file dialogs, standard buttons, its questions) from the
/// system's Qt translations. False when they are not installed; Qt then stays English.
bool InstallPolishQtTexts(QCoreApplication& app);

/// The windows' font: Tahoma 8 pt, the face the layout was drawn for. Tahoma and Tahoma bold
/// are taken from `folder` when they are there, so the tabs and tool bar fit as drawn.
QFont InterfaceFont(const QString& folder = QString::fromLatin1(kTahomaFolder));

} // namespace pixbar
