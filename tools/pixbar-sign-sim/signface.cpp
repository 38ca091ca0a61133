#include "signface.h"

#include "settings.h"

#include <algorithm>

namespace pixbar {

namespace {

template <std::size_t N> std::vector<std::uint8_t> bytesOf(const std::array<std::uint8_t, N>& a) {
    return {a.begin(), a.end()};
}

} // namespace

SignContent SignContent::of(const SimulatedSign& sign) {
    SignContent c;
    for (int n = 1; n <= kSlotCount; ++n) {
        std::copy(sign.slot(n).begin(), sign.slot(n).end(),
                  c.records[std::size_t(n - 1)].bytes.begin());
        c.texts[std::size_t(n - 1)] = sign.text(n);
        c.showsText[std::size_t(n - 1)] = sign.showsText(n);
    }
    c.shown = sign.shown();
    if (sign.config()) c.config = *sign.config();
    if (sign.userFont()) c.userFont = bytesOf(*sign.userFont());
    if (sign.symbols()) c.symbols = bytesOf(*sign.symbols());
    if (sign.clock()) c.clock = *sign.clock();
    return c;
}

MessageRecord LiveTextRecord(const std::string& text) {
    MessageRecord r;
    int cell = 0;
    r.setCell(cell++, {kAttrLead, kLeadEffect});
    r.setCell(cell++, {std::uint8_t(EffectCode::StandingText), kParameterMark});
    for (char ch : text) {
        if (cell >= kCellCount - 1) break; // the last cell stays the end
        if (ch == '\0') continue;          // a zero would end the message
        r.setCell(cell++, {kLiveTextFont, std::uint8_t(ch)});
    }
    return r;
}

FacePlan PlanFace(const SignContent& content) {
    FacePlan plan;
    const int slot = content.shown >= 1 && content.shown <= kSlotCount ? content.shown : 1;
    auto recordOf = [&](int n) {
        const auto i = std::size_t(n - 1);
        return content.showsText[i] ? LiveTextRecord(content.texts[i]) : content.records[i];
    };
    plan.record = recordOf(slot);
    // Messages 1..8 pair as the designer's pages do, page 8 with page 1; slot 9 stands alone.
    if (slot < kSlotCount) plan.following = recordOf(slot % kMessageCount + 1);

    const SignConfig config = content.config.value_or(kInitialSignConfig);
    plan.settings.switching = config[0] == 1 ? 1 : 0;
    plan.settings.speed =
        std::clamp<int>(config[2], PreviewSettings::kMinSpeed, PreviewSettings::kMaxSpeed);
    plan.settings.DisplayTimePosition =
        std::clamp<int>(config[3], 0, PreviewSettings::kMaxDisplayTimePosition);
    plan.userFont = content.userFont;
    plan.symbols = content.symbols;
    return plan;
}

void SignClock::set(const std::array<std::uint8_t, kClockPayloadSize>& payload,
                    std::chrono::steady_clock::time_point when) {
    m_payload = payload;
    m_setAt = when;
}

LocalDateTime SignClock::now() const {
    return at(std::chrono::steady_clock::now() - m_setAt);
}

LocalDateTime SignClock::at(std::chrono::steady_clock::duration elapsed) const {
    if (!m_payload) return m_system.now();
    using namespace std::chrono;
    const auto& p = *m_payload;
    // A date the sign was set to that does not exist is taken at the nearest day that does.
    const auto y = year(2000 + p[0]);
    const auto m = month(std::clamp<unsigned>(p[1], 1, 12));
    const unsigned last = unsigned(year_month_day_last(y, month_day_last(m)).day());
    const sys_days setDay{year_month_day(y, m, day(std::clamp<unsigned>(p[2], 1, last)))};
    const auto set = setDay + hours(std::min<int>(p[3], 23)) + minutes(std::min<int>(p[4], 59)) +
                     seconds(std::min<int>(p[5], 59));
    const auto t = set + duration_cast<seconds>(elapsed);
    const sys_days today = std::chrono::floor<std::chrono::days>(t);
    const year_month_day d{today};
    const hh_mm_ss time{t - today};
    return {int(d.year()), int(unsigned(d.month())), int(unsigned(d.day())),
            int(time.hours().count()), int(time.minutes().count())};
}

void SharedContent::publish(SignContent content) {
    std::lock_guard lock(m_mutex);
    m_content = std::move(content);
    ++m_generation;
}

std::optional<SignContent> SharedContent::takeNewer(std::uint64_t& generation) const {
    std::lock_guard lock(m_mutex);
    if (generation == m_generation) return std::nullopt;
    generation = m_generation;
    return m_content;
}

} // namespace pixbar
