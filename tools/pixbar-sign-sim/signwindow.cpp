#include "signwindow.h"

#include <QImage>
#include <QPainter>

namespace pixbar {

namespace {
constexpr int kPollMs = 4; ///< well inside a tick, so steps are taken on time
}

SignWindow::SignWindow(const SignGeometry& geometry, const std::filesystem::path& dataDirectory,
                       const SharedContent& content, const QString& title, QWidget* parent)
    : QWidget(parent), m_content(content) {
    setWindowTitle(title);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const int pitch = LedPitch(geometry);
    setFixedSize(geometry.pixelWidth() * pitch + 2 * kMargin,
                 geometry.height * pitch + 2 * kMargin);

    m_emulator.geometry = geometry;
    if (FileResult r = m_emulator.glyphs.LoadBuiltInFonts(dataDirectory); !r) {
        m_error = r.message();
        return;
    }
    m_emulator.glyphs.setStartDirectory(dataDirectory);
    // Without the data folder's symbol table the graphic symbols stay empty until some are sent.
    InitEmulator(m_emulator);
    m_builtIn = m_emulator.glyphs;
    RenderLeds(m_emulator.geometry, m_emulator.frame, m_emulator.bitmap);

    m_ticks = std::make_unique<RealTickSource>(m_emulator.counters);
    m_driver = std::make_unique<PreviewDriver>(m_emulator, *m_ticks, m_clock, m_plan.settings);
    m_driver->setRepaint([this] { update(); });
    connect(&m_timer, &QTimer::timeout, this, &SignWindow::tick);
    m_timer.start(kPollMs);
}

SignWindow::~SignWindow() {
    if (m_ticks) m_ticks->stop();
}

void SignWindow::tick() {
    if (auto newer = m_content.takeNewer(m_generation)) apply(*newer);
    if (!m_planned) apply(SignContent{});
    if (m_driver->poll() == PreviewDriver::Outcome::Ended) restart();
}

void SignWindow::apply(const SignContent& content) {
    if (content.clock) m_clock.set(*content.clock);
    FacePlan plan = PlanFace(content);
    if (m_planned && plan == m_plan) return;
    if (!m_planned || plan.userFont != m_plan.userFont || plan.symbols != m_plan.symbols) {
        m_emulator.glyphs = m_builtIn;
        if (plan.userFont) m_emulator.glyphs.SetUserFontImage(*plan.userFont);
        if (plan.symbols) m_emulator.glyphs.SetSymbolTableImage(*plan.symbols);
    }
    m_plan = std::move(plan);
    m_planned = true;
    restart();
}

void SignWindow::restart() {
    // The sign begins the message on a dark face; a message it cannot play leaves it dark.
    m_emulator.frame.fill(0);
    RenderLeds(m_emulator.geometry, m_emulator.frame, m_emulator.bitmap);
    update();
    m_driver->start(m_plan.record, m_plan.following);
}

void SignWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    // The bitmap's pixels are 0x00RRGGBB words: exactly QImage's RGB32.
    const QImage image(reinterpret_cast<const uchar*>(m_emulator.bitmap.pixels.data()),
                       kLedBitmapWidth, kLedBitmapHeight, kLedBitmapWidth * 4,
                       QImage::Format_RGB32);
    const int pitch = LedPitch(m_emulator.geometry);
    p.drawImage(
        QPoint(kMargin, kMargin), image,
        QRect(0, 0, m_emulator.geometry.pixelWidth() * pitch, m_emulator.geometry.height * pitch));
}

} // namespace pixbar
