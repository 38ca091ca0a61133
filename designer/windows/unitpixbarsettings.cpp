#include "unitpixbarsettings.h"

#include "categorybuttons.h"
#include "settingsfile.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>

namespace pixbar {

namespace {

/// White at the left edge fading to mid grey, one step every three columns.
class GradientBackground : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QImage image(width(), 1, QImage::Format_RGB32);
        for (int c = 0; c < width(); ++c) {
            const int v = 255 - ((c / 3) % 256);
            image.setPixel(c, 0, qRgb(v, v, v));
        }
        QPainter(this).drawImage(rect(), image);
    }
};

QScrollBar* slider(int min, int max, int value, QWidget* parent) {
    auto* s = new QScrollBar(Qt::Horizontal, parent);
    s->setRange(min, max);
    s->setValue(value);
    s->setPageStep(1);
    return s;
}

} // namespace

TFormPixbarSettings::TFormPixbarSettings(ProgramSettings& settings, PreviewSettings& preview,
                                         SignConfig& config, std::filesystem::path configFile,
                                         UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_preview(preview), m_config(config),
      m_configFile(std::move(configFile)), m_prompts(prompts) {
    setObjectName(QStringLiteral("FormPixbarSettings"));
    setWindowTitle(QStringLiteral("Ustawienia linijki świetlnej"));
    setModal(true);

    auto* background = new GradientBackground(this);
    auto* grid = new QGridLayout(background);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(12);
    ScrollBarBrightness = slider(1, 100, 90, background);
    ScrollBarSpeed = slider(1, 20, 2, background);
    ScrollBarTimeout = slider(0, kDisplayTimeNoSwitch, 12, background);
    LabelBrightness = new QLabel(background);
    LabelSpeed = new QLabel(background);
    auto* timeoutTop = new QLabel(QStringLiteral("Czas wyświetlania jednego"), background);
    LabelTimeout = new QLabel(background);
    grid->addWidget(LabelBrightness, 0, 0);
    grid->addWidget(LabelSpeed, 0, 1);
    grid->addWidget(timeoutTop, 0, 2);
    grid->addWidget(ScrollBarBrightness, 1, 0);
    grid->addWidget(ScrollBarSpeed, 1, 1);
    grid->addWidget(LabelTimeout, 1, 2);
    grid->addWidget(ScrollBarTimeout, 2, 2);

    auto* actions = new CategoryButtons(this);
    const int group = actions->addGroup(QStringLiteral("Akcje:"));
    actions->addItem(group, QStringLiteral("&Zamknij okno"),
                     [this] { CategoryButtons1Categories0Items0Click(); });
    actions->setFixedWidth(150);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(background, 1);
    layout->addWidget(actions);
    setFixedSize(704, 101);

    connect(ScrollBarBrightness, &QScrollBar::valueChanged, this,
            &TFormPixbarSettings::ScrollBarBrightnessChange);
    connect(ScrollBarSpeed, &QScrollBar::valueChanged, this,
            &TFormPixbarSettings::ScrollBarSpeedChange);
    connect(ScrollBarTimeout, &QScrollBar::valueChanged, this,
            &TFormPixbarSettings::ScrollBarTimeoutChange);
    // Every caption shows its slider's value from the start.
    LabelBrightness->setText(QStringLiteral("Jasność: %1%").arg(ScrollBarBrightness->value()));
    LabelSpeed->setText(QStringLiteral("Prędkość przesuwu: %1").arg(ScrollBarSpeed->value()));
    LabelTimeout->setText(QStringLiteral("komunikatu:") +
                          QString::fromStdString(DisplayTimeText(ScrollBarTimeout->value())));
}

void TFormPixbarSettings::loadFromSettings() {
    // Setting a slider to the value it already has runs no change handler.
    ScrollBarBrightness->setValue(m_settings.brightness);
    ScrollBarSpeed->setValue(m_settings.scrollSpeed);
    ScrollBarTimeout->setValue(m_settings.displayTimePosition);
}

void TFormPixbarSettings::ScrollBarBrightnessChange() {
    const int v = ScrollBarBrightness->value();
    LabelBrightness->setText(QStringLiteral("Jasność: %1%").arg(v));
    m_settings.brightness = v;
    rebuildConfig();
}

void TFormPixbarSettings::ScrollBarSpeedChange() {
    const int v = ScrollBarSpeed->value();
    LabelSpeed->setText(QStringLiteral("Prędkość przesuwu: %1").arg(v));
    m_settings.scrollSpeed = v;
    m_preview.speed = v;
    rebuildConfig();
}

void TFormPixbarSettings::ScrollBarTimeoutChange() {
    const int p = ScrollBarTimeout->value();
    LabelTimeout->setText(QStringLiteral("komunikatu:") +
                          QString::fromStdString(DisplayTimeText(p)));
    m_preview.switching = p < kDisplayTimeNoSwitch ? 1 : 0;
    m_preview.DisplayTimePosition = p;
    m_settings.displayTimePosition = p;
    rebuildConfig();
}

void TFormPixbarSettings::rebuildConfig() {
    m_config = BuildSignConfig(ScrollBarBrightness->value(), ScrollBarSpeed->value(),
                               ScrollBarTimeout->value());
}

void TFormPixbarSettings::save() {
    SaveLdCfg(m_configFile, m_settings, m_prompts);
}

void TFormPixbarSettings::CategoryButtons1Categories0Items0Click() {
    close();
}

void TFormPixbarSettings::done(int result) {
    // Every way out ends here once (the button, the title bar's close and Escape), so a
    // failed save is told once.
    save();
    QDialog::done(result);
}

} // namespace pixbar
