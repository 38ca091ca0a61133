#include "diskfiles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace pixbar {

namespace {

namespace fs = std::filesystem;

/// Attempts at finding an unused name beside a target before giving up.
constexpr int kNameAttempts = 16;

fs::path nameBeside(const fs::path& file, const char* kind) {
    static std::atomic<unsigned> counter{0};
    static const unsigned start = std::random_device{}();
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.%s", start + counter.fetch_add(1), kind);
    fs::path name = file;
    name += suffix;
    return name;
}

/// One target of a commit and what has been done for it so far.
struct Step {
    fs::path target;
    std::span<const std::uint8_t> bytes;
    bool existed = false;
    struct stat old {};
    fs::path temp;   ///< the finished new file, until it is renamed
    fs::path backup; ///< a second name of the old file, while the commit can still go back
    bool renamed = false;
};

fs::path resolveLink(const fs::path& file) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(file, ec))) {
        const fs::path resolved = fs::weakly_canonical(file, ec);
        if (!ec) return resolved;
    }
    return file;
}

/// A target may be replaced when it is missing, or a regular file the user may write that
/// has a write permission at all (root could write anything; a read-only file stays so).
bool mayReplace(Step& step) {
    if (::stat(step.target.c_str(), &step.old) != 0) return errno == ENOENT;
    step.existed = true;
    if (!S_ISREG(step.old.st_mode)) return false;
    if ((step.old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    return ::access(step.target.c_str(), W_OK) == 0;
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

/// Writes the new file beside the target, with the old file's owner and rights, on the disk.
bool writeTemp(Step& step) {
    const mode_t mode = step.existed ? (step.old.st_mode & 07777) : 0666;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const fs::path temp = nameBeside(step.target, "tmp");
        // O_EXCL: never reuse or truncate a file someone else has put at that name.
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return false;
        step.temp = temp;
        bool ok = writeAll(fd, step.bytes);
        if (ok && step.existed) {
            // Only root may give a file away; a group the user belongs to may still be kept.
            if ((step.old.st_uid != ::geteuid() || step.old.st_gid != ::getegid()) &&
                ::fchown(fd, step.old.st_uid, step.old.st_gid) != 0)
                (void)!::fchown(fd, uid_t(-1), step.old.st_gid);
            // After the owner, because a change of owner clears the set-id bits.
            ok = ::fchmod(fd, mode) == 0;
        }
        ok = ok && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        return ok;
    }
    return false;
}

/// A hard link keeps the old file reachable while the new one takes its name.
void keepBackup(Step& step) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const fs::path backup = nameBeside(step.target, "old");
        if (::link(step.target.c_str(), backup.c_str()) == 0) {
            step.backup = backup;
            return;
        }
        if (errno != EEXIST) return; // a file system without links: go on without
    }
}

void syncFolder(const fs::path& file) {
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

/// Undoes whatever the steps did: the old files come back, new ones go.
void rollBack(std::vector<Step>& steps) {
    for (Step& s : steps) {
        if (s.renamed) {
            if (!s.backup.empty() && ::rename(s.backup.c_str(), s.target.c_str()) == 0)
                s.backup.clear();
            else if (!s.existed)
                ::unlink(s.target.c_str());
        }
        if (!s.temp.empty() && !s.renamed) ::unlink(s.temp.c_str());
        if (!s.backup.empty()) ::unlink(s.backup.c_str());
    }
}

} // namespace

CommitResult CommitFiles(std::span<const FileBytes> files) {
    std::vector<Step> steps;
    steps.reserve(files.size());
    for (const FileBytes& f : files) {
        Step s;
        s.target = resolveLink(f.file);
        s.bytes = f.bytes;
        steps.push_back(std::move(s));
    }
    const auto fail = [&](const fs::path& file) {
        rollBack(steps);
        return CommitResult{false, file};
    };

    for (std::size_t i = 0; i < steps.size(); ++i)
        if (!mayReplace(steps[i])) return fail(files[i].file);
    for (std::size_t i = 0; i < steps.size(); ++i)
        if (!writeTemp(steps[i])) return fail(files[i].file);
    // One file is replaced in a single rename; several need a way back should a later
    // rename fail.
    if (steps.size() > 1)
        for (Step& s : steps)
            if (s.existed) keepBackup(s);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (::rename(steps[i].temp.c_str(), steps[i].target.c_str()) != 0)
            return fail(files[i].file);
        steps[i].renamed = true;
    }
    for (Step& s : steps) {
        if (!s.backup.empty()) ::unlink(s.backup.c_str());
        syncFolder(s.target);
    }
    return {};
}

CommitResult CommitFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes) {
    const FileBytes one{file, bytes};
    return CommitFiles(std::span(&one, 1));
}

std::ifstream OpenRegularFile(const std::filesystem::path& file) {
    std::ifstream in;
    struct stat st {};
    // Checked before opening, so a pipe cannot hold the program waiting for a writer.
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        in.setstate(std::ios::failbit);
    else
        in.open(file, std::ios::binary);
    return in;
}

} // namespace pixbar
