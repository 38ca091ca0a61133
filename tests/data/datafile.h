#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace datatest {

using Bytes = std::vector<std::uint8_t>;

/// The folder the build writes the data files into.
inline const std::filesystem::path kDataDir{PIXBAR_DATA_DIR};

/// A data file's bytes; empty when it is missing.
inline Bytes readFile(const std::string& name) {
    std::ifstream in(kDataDir / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace datatest
