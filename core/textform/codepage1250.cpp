#include "codepage1250.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace pixbar {

CodePage1250::CodePage1250() {
    for (int b = 0; b < 256; ++b) {
        QStringDecoder decoder("windows-1250");
        const QString s = decoder.decode(QByteArray(1, char(b)));
        if (decoder.hasError() || s.size() != 1 || s[0] == QChar::ReplacementCharacter) continue;
        // Only a character that converts back to its own byte stands for that byte.
        QStringEncoder encoder("windows-1250");
        const QByteArray back = encoder.encode(s);
        if (encoder.hasError() || back.size() != 1 || std::uint8_t(back[0]) != b) continue;
        const char32_t c = s[0].unicode();
        m_characters[std::size_t(b)] = c;
        m_bytes.emplace_back(c, std::uint8_t(b));
    }
    std::sort(m_bytes.begin(), m_bytes.end());
}

std::optional<std::uint8_t> CodePage1250::encode(char32_t character) const {
    const auto it = std::lower_bound(m_bytes.begin(), m_bytes.end(),
                                     std::pair<char32_t, std::uint8_t>{character, 0});
    if (it == m_bytes.end() || it->first != character) return std::nullopt;
    return it->second;
}

std::optional<char32_t> CodePage1250::decode(std::uint8_t byte) const {
    return m_characters[byte];
}

const CodePage1250& CodePage1250::instance() {
    static const CodePage1250 table;
    return table;
}

} // namespace pixbar
