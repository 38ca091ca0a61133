#pragma once

namespace pixbarctl {

/// `pixbarctl render ...`: plays a message headlessly and prints or writes the picture.
int runRender(int argc, char** argv);
/// `pixbarctl [--ports-dir DIR] --port NAME [--address N] COMMAND ...`: talks to a sign.
int runSignCommand(int argc, char** argv);

inline constexpr int kExitUsage = 64;

} // namespace pixbarctl
