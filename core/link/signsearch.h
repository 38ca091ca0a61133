#pragma once

#include "unitcomprotocol.h"

#include <QString>

#include <array>
#include <cstdint>

namespace pixbar {

/// What TryPort learned of one port.
enum class ProbeResult : int {
    Found = 0,      ///< a sign answered Identify and QueryInfo
    CannotOpen = 1, ///< the port could not be opened
    NoIdentify = 2, ///< nobody answered Identify
    NoInfo = 3,     ///< the sign gave its serial number but not its parameters
};

/// What a sign reports about itself.
struct SignInfo {
    std::uint16_t serial = 0;
    std::uint8_t width = 0;  ///< registers
    std::uint8_t height = 0; ///< pixels
    std::array<char, kVersionSize> version{};
};

struct Probe {
    ProbeResult result = ProbeResult::CannotOpen;
    SignInfo info; ///< filled only when found
};

/// Opens `name`, asks whoever is there for its serial number, then that sign for its size and
/// firmware version, and closes the port again.
Probe TryPort(ComProtocol& protocol, const QString& name);

/// The firmware version as the user reads it: characters 1 and 2, a full stop, 3 and 4.
QString VersionText(const std::array<char, kVersionSize>& version);

/// Where a search reports: the log, the progress bar and the window's repaints.
class SearchUi {
public:
    virtual ~SearchUi() = default;
    virtual void log(const QString& line) = 0;
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgress(int position) = 0;
    virtual void processEvents() = 0;
    /// The closing report (a failure's headline and checklist) starts with the next line.
    virtual void reportStarts() {}
};

struct SearchResult {
    bool found = false;
    QString port; ///< "COMn" of the sign, or the TCP port name it answered on
    SignInfo info;
};

/// Tries every COM port of the system in ascending order until a sign answers, logging each
/// step and the outcome; a search that finds nothing ends with the user's checklist.
/// A TCP port name typed by the user (`typedPort`) is tried first; other names are ignored.
SearchResult SearchForSign(ComProtocol& protocol, SearchUi& ui, const QString& typedPort = {});

} // namespace pixbar
