#pragma once

#include "player.h"
#include "prompts.h"
#include "settings.h"

#include <QDialog>

#include <filesystem>

class QLabel;
class QScrollBar;

namespace pixbar {

/// "Ustawienia linijki świetlnej": brightness, scroll speed and display time of the sign.
/// Every slider move rebuilds the sign's configuration block and the preview's timing; the
/// values are kept in ld.cfg whenever the window closes.
class TFormPixbarSettings : public QDialog {
    Q_OBJECT
public:
    TFormPixbarSettings(ProgramSettings& settings, PreviewSettings& preview, SignConfig& config,
                        std::filesystem::path configFile, UserPrompts& prompts,
                        QWidget* parent = nullptr);

    /// Sets the sliders from the settings (as read from ld.cfg).
    void loadFromSettings();

    QScrollBar* ScrollBarBrightness = nullptr;
    QScrollBar* ScrollBarSpeed = nullptr;
    QScrollBar* ScrollBarTimeout = nullptr;
    QLabel* LabelBrightness = nullptr;
    QLabel* LabelSpeed = nullptr;
    QLabel* LabelTimeout = nullptr;

    void ScrollBarBrightnessChange();
    void ScrollBarSpeedChange();
    void ScrollBarTimeoutChange();
    /// "&Zamknij okno": saves ld.cfg and closes.
    void CategoryButtons1Categories0Items0Click();

protected:
    void done(int result) override;

private:
    void rebuildConfig();
    void save();

    ProgramSettings& m_settings;
    PreviewSettings& m_preview;
    SignConfig& m_config;
    std::filesystem::path m_configFile;
    UserPrompts& m_prompts;
};

} // namespace pixbar
