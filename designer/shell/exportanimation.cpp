// "Plik" > "Eksportuj animację (GIF)...": what "Testuj" would show, written as an animated GIF.

#include "gifanimation.h"
#include "unitpixbar4designer.h"

#include <filesystem>

namespace pixbar {

void TForm1::EksportujAnimacjeClick() {
    const QString file =
        m_prompts.saveFile(QStringLiteral("Animacja GIF (*.gif)"), QStringLiteral("gif"));
    if (file.isEmpty()) return;
    std::array<MessageRecord, kPageCount> pages;
    for (int i = 0; i < kPageCount; ++i) pages[i] = m_editors[i]->record();
    const std::filesystem::path path(file.toStdString());
    // Played on a copy of the emulated sign, so a running preview goes on undisturbed.
    if (ExportAnimation(m_emu, pages, m_messageNumber - 1, m_preview, *m_clock, path))
        ShowStatus(QStringLiteral("Animacja zapisana w pliku %1.").arg(file));
    else
        m_prompts.error(QStringLiteral("Nie można zapisać pliku %1.").arg(file));
}

} // namespace pixbar
