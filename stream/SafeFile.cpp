#include "stream/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <utility>

namespace rkxml_detail {
namespace {

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that writing `path` would change: symbolic links followed, also
// dangling ones, since an ordinary write would create the file they name.
std::string resolveLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        std::string link(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        const ssize_t length = readlink(path.c_str(), link.data(), link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size()) return path;
        link.resize(static_cast<std::size_t>(length));
        path = (!link.empty() && link.front() == '/') ? link : directoryOf(path) + "/" + link;
    }
    return path;
}

constexpr std::size_t maxNameKept = 160;

std::string temporaryName(const std::string& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[96];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.%u.%llx.tmp", static_cast<long>(getpid()), counter++, attempt, now);
    // The name is cut so that the temporary name stays within the file system's
    // limit of 255 bytes even for a target whose own name is near it.
    return directoryOf(target) + "/." + baseNameOf(target).substr(0, maxNameKept) + suffix;
}

// A file that exists but is neither a regular file nor a directory cannot be replaced by renaming.
bool isSpecialFile(const struct stat& status) { return !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode); }

}  // namespace

bool SafeFile::isWrittenInPlace(const std::string& target) {
    struct stat status {};
    return stat(target.c_str(), &status) == 0 && isSpecialFile(status);
}

SafeFile::SafeFile(std::string target) : target(std::move(target)) {}

SafeFile::~SafeFile() {
    if (!committed) discard();
}

bool SafeFile::open() {
    if (target.empty()) return false;
    target = resolveLinks(target);
    struct stat existing {};
    const bool exists = stat(target.c_str(), &existing) == 0;
    // Only a missing file may be created: a loop of links, where open() fails,
    // would otherwise be replaced by a new file.
    if (!exists && errno != ENOENT) return false;
    // Refuse what an ordinary open for writing would refuse: a directory, a file we may not write.
    if (exists && (S_ISDIR(existing.st_mode) || access(target.c_str(), W_OK) != 0)) return false;
    if (exists && isSpecialFile(existing)) {
        // A device or a pipe cannot be replaced by renaming: it is written in place.
        direct = true;
        descriptor = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        return descriptor >= 0;
    }

    for (unsigned attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
        temporary = temporaryName(target, attempt);
        descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0 && errno != EEXIST) break;
    }
    if (descriptor < 0) {
        temporary.clear();
        return false;
    }
    if (exists) {
        // Keep the old file's permissions and, where we may, its owner.
        if (fchown(descriptor, existing.st_uid, existing.st_gid) != 0) {
            // Not permitted for other users' files: the new file is then ours, as on an ordinary write.
        }
        if (fchmod(descriptor, existing.st_mode & 07777) != 0) {
            discard();
            return false;
        }
    }
    return true;
}

bool SafeFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool SafeFile::commit() {
    if (descriptor < 0) return false;
    // Devices and pipes may not support syncing; only a failed close counts for them.
    const bool synced = fsync(descriptor) == 0 || direct;
    const bool closed = ::close(descriptor) == 0;
    descriptor = -1;
    if (direct) {
        committed = synced && closed;
        return committed;
    }
    if (!synced || !closed || std::rename(temporary.c_str(), target.c_str()) != 0) {
        discard();
        return false;
    }
    committed = true;
    // Make the rename itself durable; a failure here cannot undo the new file, so it is not reported.
    const int directory = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        ::close(directory);
    }
    return true;
}

void SafeFile::discard() {
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
    if (!temporary.empty()) {
        ::unlink(temporary.c_str());
        temporary.clear();
    }
}

}  // namespace rkxml_detail
