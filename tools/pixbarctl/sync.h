#pragma once

#include <QString>

#include <cstdint>

namespace pixbarctl {

/// `pixbarctl ... sync [--file DATA] [--config as.cfg]`: the file sync mode until a stop signal.
int runSync(const QString& portsDir, const QString& portName, std::uint16_t address, int argc,
            char** argv);

} // namespace pixbarctl
