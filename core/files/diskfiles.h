#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>

namespace pixbar {

/// One file of a save: where it goes and the bytes it is to hold.
struct FileBytes {
    std::filesystem::path file;
    std::span<const std::uint8_t> bytes;
};

/// Outcome of a save; when it failed, `file` is the one that could not be written.
struct CommitResult {
    bool ok = true;
    std::filesystem::path file;

    explicit operator bool() const { return ok; }
};

/// Replaces every file with its bytes, all of them or none. Each is written beside its target
/// and flushed to the disk before any is renamed over its old file; when anything fails, every
/// old file stays as it was and nothing new is left behind. A target that is not a regular
/// file (a folder, a device) or that the user may not write (read-only) is refused. A replaced
/// file keeps its access rights and, where the user may give it, its owner. Saving through a
/// link replaces the file it points to.
CommitResult CommitFiles(std::span<const FileBytes> files);
/// CommitFiles of one file.
CommitResult CommitFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes);

/// `file` opened for reading bytes when it is a regular file the user may read. Anything else
/// (missing, a folder, a device, a pipe, no permission) gives a stream that is not open.
std::ifstream OpenRegularFile(const std::filesystem::path& file);

} // namespace pixbar
