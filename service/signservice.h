#pragma once

#include "apirequests.h"
#include "glyphs.h"
#include "serviceconfig.h"
#include "signschedules.h"
#include "signworker.h"
#include "timing.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pixbar::service {

/// The signs of one service and the API over them. `handle` is called from any of the HTTP
/// side's threads; a write waits there for its own job while other requests are answered.
class SignService {
public:
    /// `glyphs` holds the built-in fonts and the data folder (for previews); `clock` gives the
    /// time fields of previews; `scheduleTime` is the wall clock and time zone the signs'
    /// schedules run by, once `schedules().start()` is called.
    SignService(const ServiceConfig& config, const ProtocolFactory& factory, GlyphSets glyphs,
                const Clock& clock, std::chrono::milliseconds retry = std::chrono::seconds(2),
                ScheduleTime scheduleTime = ScheduleTime::system());
    ~SignService();

    ApiResponse handle(const ApiRequest& request);
    /// Ends every sign's work: jobs in progress finish, queued ones are answered 503.
    void stop();

    std::vector<std::string> signNames() const;
    SignWorker* worker(const std::string& name);
    SignSchedules& schedules() { return *m_schedules; }

private:
    struct Sign {
        std::unique_ptr<SignWorker> worker;
        std::mutex mutex; ///< guards what was loaded onto the sign for previews
        std::vector<std::uint8_t> userFont;
        std::vector<std::uint8_t> symbols;
    };

    ApiResponse signRequest(Sign& sign, const std::vector<std::string>& parts,
                            const ApiRequest& request);
    ApiResponse runJob(Sign& sign, Job job);
    ApiResponse preview(const ApiRequest& request, bool gif);
    ApiResponse compose(const ApiRequest& request);
    ApiResponse decode(const ApiRequest& request);
    ApiResponse palette(const ApiRequest& request);
    ApiResponse symbolPicture(const std::string& file);
    std::string statusJson(const Sign& sign) const;

    /// Stopped before the workers and gone after them, since they tell it of their status.
    std::unique_ptr<SignSchedules> m_schedules;
    std::map<std::string, std::unique_ptr<Sign>> m_signs;
    std::vector<std::string> m_order; ///< as the config lists them
    GlyphSets m_glyphs;
    GlyphSets m_fontTable; ///< m_glyphs with the font table filled, for captions and symbols
    const Clock& m_clock;
};

/// `{"error": text}` with `status`.
ApiResponse ErrorResponse(int status, const std::string& text);
/// A refused request: its error, and the line and column when it names a place in a text.
ApiResponse BadRequestResponse(const BadRequest& bad);

} // namespace pixbar::service
