#include "stopwatchsession.h"

#include <QStringEncoder>

namespace pixbar {

namespace {

QString cannotSend() {
    return QStringLiteral("Nie mogę wysłać komendy do linijki!");
}

} // namespace

bool StopwatchSession::open() {
    m_view.setRunning(false);
    m_watch.reset();
    const SignTarget to = m_target();
    m_holdsPort = m_protocol().Open(to.portName) == 0;
    if (m_holdsPort) return true;
    m_view.error(QStringLiteral("Nie mogę otworzyć portu ") + to.portName + QStringLiteral(" !"));
    return false;
}

void StopwatchSession::close() {
    m_view.setRunning(false);
    // A port the stopwatch could not open belongs to someone else (the file sync mode).
    if (m_holdsPort) m_protocol().Close();
    m_holdsPort = false;
}

bool StopwatchSession::sendText(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    return m_protocol().SendText(m_target().address, kStopwatchSlot,
                                 {data, std::size_t(bytes.size())}) == ProtocolResult::Ok;
}

void StopwatchSession::tick() {
    const std::string time = FormatStopwatchTime(m_watch.elapsed());
    m_view.showTime(QString::fromLatin1(time));
    if (!sendText(QByteArray(kStopwatchTextPrefix) + QByteArray::fromStdString(time)))
        m_view.setColour(StopwatchColour::Red);
}

void StopwatchSession::stop() {
    m_view.setRunning(false);
    m_watch.stop();
    // The final time is shown and sent.
    tick();
    m_watch.state = StopwatchState::Stopped;
    m_view.setColour(StopwatchColour::Yellow);
}

void StopwatchSession::startStop() {
    if (m_watch.state == StopwatchState::Running) {
        stop();
        return;
    }
    m_watch.start();
    tick();
    m_watch.state = StopwatchState::Running;
    m_view.setRunning(true);
    m_view.setColour(StopwatchColour::Lime);
}

void StopwatchSession::reset() {
    m_watch.restart();
    if (m_watch.state == StopwatchState::TextShown) {
        // The operator's text stays on the sign; only the display starts again.
        m_view.showTime(QString::fromLatin1(FormatStopwatchTime(m_watch.elapsed())));
        return;
    }
    tick();
}

void StopwatchSession::showText(const QString& text) {
    if (m_watch.state == StopwatchState::Running) stop();
    QStringEncoder encode("windows-1250");
    const QByteArray bytes = encode(text);
    if (!sendText(bytes)) m_view.error(cannotSend());
    m_watch.state = StopwatchState::TextShown;
}

void StopwatchSession::showMessage(int number) {
    if (m_watch.state == StopwatchState::Running) stop();
    if (m_protocol().ShowMessage(m_target().address, number) != ProtocolResult::Ok)
        m_view.error(cannotSend());
}

} // namespace pixbar
