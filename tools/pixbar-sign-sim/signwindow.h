#pragma once

#include "pixbar.h"
#include "previewdriver.h"
#include "signface.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <memory>

namespace pixbar {

/// The face of the simulated sign: its LEDs as the designer paints the emulated sign, playing
/// what the sign was sent and told to show.
class SignWindow : public QWidget {
    Q_OBJECT
public:
    /// Margin of black around the LEDs, as above and below the designer's emulated sign.
    static constexpr int kMargin = kLedImageTop;

    /// The built-in fonts and the default symbol table come from `dataDirectory`; false from
    /// `ok()` when the fonts cannot be read, with the reason in `error()`.
    SignWindow(const SignGeometry& geometry, const std::filesystem::path& dataDirectory,
               const SharedContent& content, const QString& title, QWidget* parent = nullptr);
    ~SignWindow() override;

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void tick();
    void apply(const SignContent& content);
    void restart();

    const SharedContent& m_content;
    std::uint64_t m_generation = 0;
    std::string m_error;
    Emulator m_emulator;
    GlyphSets m_builtIn; ///< the fonts and symbols of the data folder
    SignClock m_clock;
    FacePlan m_plan;
    bool m_planned = false;
    std::unique_ptr<RealTickSource> m_ticks;
    std::unique_ptr<PreviewDriver> m_driver;
    QTimer m_timer;
};

} // namespace pixbar
