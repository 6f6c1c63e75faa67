// The platform layer on POSIX systems (Linux, the BSDs, macOS).
//
// Paths are walked one component at a time, relative to the directory reached
// so far, so that the rules for links in shared directories (the kernel's
// protected_symlinks, protected_regular and protected_fifos) hold whatever the
// host has configured, so that every later call names the same directory, and
// so that a path longer than one system call takes is reached as well.
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <utility>
#include <vector>

#include "platform/HeldLocks.h"
#include "platform/Platform.h"

extern char** environ;

namespace rkxml_detail::platform {
namespace {

// Closes a file descriptor on every way out.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int descriptor) : descriptor(descriptor) {}
    Descriptor(Descriptor&& other) noexcept : descriptor(std::exchange(other.descriptor, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        reset(std::exchange(other.descriptor, -1));
        return *this;
    }
    ~Descriptor() { reset(); }

    int get() const { return descriptor; }
    explicit operator bool() const { return descriptor >= 0; }
    void reset(int replacement = -1) {
        if (descriptor >= 0) ::close(descriptor);
        descriptor = replacement;
    }
    // Closes the descriptor; false if the close reported an error (a late write error, on some file systems).
    bool close() { return ::close(std::exchange(descriptor, -1)) == 0; }

private:
    int descriptor = -1;
};

// Directories are walked without being opened for reading, where the system allows it.
#ifdef O_PATH
constexpr int walkFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int walkFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif
constexpr int maxLinks = 40;  // as the system's own limit for a path

// open() may be interrupted by a signal where it waits (for a lease to be given
// back, on a network file system); it is tried again.
int openAt(int directory, const char* name, int flags, mode_t mode = 0) {
    for (;;) {
        const int descriptor = ::openat(directory, name, flags, mode);
        if (descriptor >= 0 || errno != EINTR) return descriptor;
    }
}

bool isSameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool writeAll(int descriptor, std::string_view bytes) {
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

// As writeAll, for a pipe or device written in place: a pipe whose reader is gone
// fails the write instead of killing the process with SIGPIPE. The signal is held
// back for the call, and one that the call raised is taken back.
bool writeAllWithoutPipeSignal(int descriptor, std::string_view bytes) {
    sigset_t pipeSignal;
    sigset_t previous;
    sigset_t pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    if (pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous) != 0) return writeAll(descriptor, bytes);
    const bool wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    const bool written = writeAll(descriptor, bytes);
    if (!wasPending && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
        int taken = 0;
        sigwait(&pipeSignal, &taken);  // pending, so it does not wait
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return written;
}

bool flushToDisk(int descriptor) {
#ifdef __APPLE__
    // fsync only hands the data to the drive there; F_FULLFSYNC waits until it is stored.
    if (fcntl(descriptor, F_FULLFSYNC) != -1) return true;
#endif
    return fsync(descriptor) == 0;
}

bool clearNonBlocking(int descriptor) {
    const int flags = fcntl(descriptor, F_GETFL);
    return flags != -1 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != -1;
}

// A directory where everyone may create entries and only their owners remove
// them, such as /tmp: there another user can plant links and files under the
// names a program is expected to use.
bool isShared(const struct stat& directory) {
    return (directory.st_mode & S_ISVTX) != 0 && (directory.st_mode & S_IWOTH) != 0;
}

// Whether a link in `directory` may be followed: in a shared directory only the
// user's own links and those of the directory's owner.
bool mayFollow(const struct stat& link, const struct stat& directory) {
    return !isShared(directory) || link.st_uid == geteuid() || link.st_uid == directory.st_uid;
}

// Whether an existing entry in `directory` may be replaced: in a shared directory
// only the user's own.
bool mayReplace(const struct stat& entry, const struct stat& directory) {
    return !isShared(directory) || entry.st_uid == geteuid();
}

// Whether an existing entry may be written into: as for replacing it, and in a
// shared directory it must have no other name (a hard link to a file elsewhere).
bool mayWriteInto(const struct stat& entry, const struct stat& directory) {
    return mayReplace(entry, directory) && (!isShared(directory) || entry.st_nlink <= 1);
}

// The components of a path, last one first, so that they can be taken from the back.
void pushComponents(std::string_view path, std::vector<std::string>& pending) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        if (slash > start) components.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    pending.insert(pending.end(), components.rbegin(), components.rend());
}

bool readLinkAt(int directory, const std::string& name, std::string& target) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlinkat(directory, name.c_str(), buffer.data(), buffer.size());
        if (length <= 0) return false;
        if (static_cast<std::size_t>(length) < buffer.size()) {
            target.assign(buffer.data(), static_cast<std::size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Where a path leads: the directory that holds its last component, opened, and
// that component's name and status if it exists.
struct Location {
    Descriptor directory;
    struct stat directoryStatus {};
    std::string name;
    bool exists = false;
    struct stat status {};  // of the entry itself, not of what a link names

    // The open file that a link in /proc named in the last place (/proc/self/fd/3,
    // /dev/stdout), opened without access; a file that still has a name is looked
    // for under that name too.
    Descriptor named;
    struct stat namedStatus {};

    // Whether the path names an open file that its name does not lead to (a deleted
    // file, a memfd, a pipe): that file itself is then the one to use.
    bool endsAtOpenFile() const { return named && !(exists && isSameFile(status, namedStatus)); }
};

bool openDirectory(int from, const char* name, Location& where, int flags = walkFlags) {
    Descriptor next(openAt(from, name, flags));
    if (!next || fstat(next.get(), &where.directoryStatus) != 0) return false;
    where.directory = std::move(next);
    return true;
}

// Whether `directory` lies in /proc, whose links name open files and directories
// rather than paths: their text may name nothing ("/f.xml (deleted)",
// "pipe:[1234]") or another file, so the kernel follows them instead.
bool isInProc(int directory) {
#ifdef __linux__
    struct statfs fileSystem {};
    return fstatfs(directory, &fileSystem) == 0 && fileSystem.f_type == PROC_SUPER_MAGIC;
#else
    (void)directory;
    return false;
#endif
}

// Follows the link `name` in /proc to a directory, or in the last place to the open
// file it names; false for anything else.
bool followProcLink(const std::string& name, bool last, Location& where) {
#ifdef O_PATH
    if (!last) return openDirectory(where.directory.get(), name.c_str(), where, O_PATH | O_DIRECTORY | O_CLOEXEC);
    Descriptor opened(openAt(where.directory.get(), name.c_str(), O_PATH | O_CLOEXEC));
    if (!opened || fstat(opened.get(), &where.namedStatus) != 0 || S_ISDIR(where.namedStatus.st_mode)) return false;
    where.named = std::move(opened);
    return true;
#else
    (void)name, (void)last, (void)where;
    return false;
#endif
}

// Walks `path` from the current directory or the root. Links on the way are
// followed if they may be (a link in the last place only with `followLast`), those
// in /proc by the kernel; false if the path leads nowhere usable.
bool walk(const std::string& path, bool followLast, Location& where) {
    if (path.empty() || path.back() == '/') return false;
    if (!openDirectory(AT_FDCWD, path.front() == '/' ? "/" : ".", where)) return false;
    std::vector<std::string> pending;
    pushComponents(path, pending);
    int links = 0;
    while (!pending.empty()) {
        std::string name = std::move(pending.back());
        pending.pop_back();
        const bool last = pending.empty();
        struct stat status {};
        if (fstatat(where.directory.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT || !last) return false;
            where.name = std::move(name);
            where.exists = false;
            return true;
        }
        if (S_ISLNK(status.st_mode) && (followLast || !last)) {
            if (++links > maxLinks) return false;
            if (isInProc(where.directory.get())) {
                if (!followProcLink(name, last, where)) return false;
                if (!last) continue;
                // Only a regular file that still has a name is replaced under it.
                const struct stat& named = where.namedStatus;
                if (!S_ISREG(named.st_mode) || named.st_nlink == 0) return true;
            }
            std::string target;
            if (!mayFollow(status, where.directoryStatus) || !readLinkAt(where.directory.get(), name, target)) {
                return false;
            }
            if (target.front() == '/' && !openDirectory(AT_FDCWD, "/", where)) return false;
            pushComponents(target, pending);
            if (pending.empty()) return false;  // a link to "/"
            continue;
        }
        if (last) {
            where.name = std::move(name);
            where.exists = true;
            where.status = status;
            return true;
        }
        if (!S_ISDIR(status.st_mode) || !openDirectory(where.directory.get(), name.c_str(), where)) return false;
    }
    return false;  // the path names a directory, such as "/" or "a/."
}

// As walk(); a file that a link in /proc named and that cannot be found under its
// name is then the one to use.
bool locate(const std::string& path, bool followLast, Location& where) {
    if (walk(path, followLast, where)) return true;
    where.exists = false;
    return static_cast<bool>(where.named);
}

// Opens what a walk found: the open file that a link in /proc named, or else the
// entry itself, not following a link.
Descriptor openFound(const Location& where, int flags) {
    if (where.endsAtOpenFile()) {
        const std::string self = "/proc/self/fd/" + std::to_string(where.named.get());
        return Descriptor(openAt(AT_FDCWD, self.c_str(), flags));
    }
    return Descriptor(openAt(where.directory.get(), where.name.c_str(), flags | O_NOFOLLOW));
}

// Opens `name` for reading without waiting for a FIFO's writer: without one it reads
// as empty at once, as saving treats a FIFO that nobody reads. The descriptor does
// not block reading a regular file; the caller clears that for anything else.
Descriptor openForReading(const std::string& name) {
    constexpr int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    Descriptor file(openAt(AT_FDCWD, name.c_str(), flags));
    if (!file && errno == ENAMETOOLONG) {
        // Longer than one system call takes: walked a component at a time, as saving walks it.
        Location where;
        const bool located = locate(name, true, where);
        if (located && (where.exists || where.endsAtOpenFile())) {
            file = openFound(where, flags);
        } else if (located) {
            errno = ENOENT;  // its directory holds no such entry
        }
    }
    return file;
}

#ifdef __linux__
// An extended attribute of a file: its ACL, the user's own notes, a security label.
struct Attribute {
    std::string name;
    std::string value;
};

constexpr const char* accessList = "system.posix_acl_access";

// Fills `bytes` by `fetch(buffer, size)`, which answers as flistxattr and fgetxattr
// do (asked for 0 bytes, it gives the size needed); false on an error, in errno.
template <class Fetch>
bool fetchWhole(const Fetch& fetch, std::string& bytes) {
    for (;;) {
        const ssize_t size = fetch(nullptr, 0);
        if (size < 0) return false;
        bytes.resize(static_cast<std::size_t>(size));
        if (size == 0) return true;
        const ssize_t fetched = fetch(bytes.data(), bytes.size());
        if (fetched >= 0) {
            bytes.resize(static_cast<std::size_t>(fetched));
            return true;
        }
        if (errno != ERANGE) return false;  // else it grew meanwhile
    }
}

// The extended attributes of `file`; false if they cannot be read.
bool readAttributes(int file, std::vector<Attribute>& attributes) {
    std::string names;
    if (!fetchWhole([file](char* buffer, std::size_t size) { return flistxattr(file, buffer, size); }, names)) {
        return errno == ENOTSUP;  // a file system without them
    }
    for (std::size_t start = 0; start < names.size();) {
        std::size_t end = names.find('\0', start);
        if (end == std::string::npos) end = names.size();
        Attribute attribute{names.substr(start, end - start), {}};
        start = end + 1;
        const auto fetch = [file, &attribute](char* buffer, std::size_t size) {
            return fgetxattr(file, attribute.name.c_str(), buffer, size);
        };
        if (fetchWhole(fetch, attribute.value)) {
            attributes.push_back(std::move(attribute));
        } else if (errno != ENODATA) {  // else removed meanwhile
            return false;
        }
    }
    return true;
}

#endif

// Makes a rename durable. A failure cannot undo the new file, so it is not reported.
void syncDirectory(int directory) {
    Descriptor opened(openAt(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened) fsync(opened.get());
}

// The process's file mode creation mask, without changing it (as umask() would, for a moment).
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "Umask:") == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

// Whether this process sees every extended attribute of a file: the trusted.* ones are
// hidden from a process without CAP_SYS_ADMIN, so a copy that it makes may lack them.
bool maySeeEveryAttribute() {
#ifdef __linux__
    constexpr unsigned long long systemAdministration = 1ull << 21;  // CAP_SYS_ADMIN
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 7, "CapEff:") == 0) {
            return (std::strtoull(line.c_str() + 7, nullptr, 16) & systemAdministration) != 0;
        }
    }
    return false;
#else
    return true;
#endif
}

// Reads the open file `file` from its start to its end into `version`; false on a read error.
bool readVersion(int file, FileVersion& version) {
    struct stat status {};
    if (fstat(file, &status) != 0) return false;
    version = {true, static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino), 0, 0};
    Digest digest;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(file, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return false;
        if (count == 0) break;
        digest.add(std::string_view(buffer, static_cast<std::size_t>(count)));
        version.size += static_cast<std::uint64_t>(count);
    }
    version.digest = digest.get();
    return true;
}

constexpr std::size_t maxNameKept = 160;

// A fresh name beside the target. Cut so that it stays within the usual limit of
// 255 bytes even for a target whose own name is near it.
std::string temporaryNameFor(const std::string& name, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[96];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.%u.%llx.tmp", static_cast<long>(getpid()), counter++, attempt, now);
    return "." + name.substr(0, maxNameKept) + suffix;
}

bool isCaseInsensitiveEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Opens what `where` found for locking: for reading, or for writing where only that is allowed.
Descriptor openToLock(const Location& where) {
    Descriptor opened = openFound(where, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (!opened && errno == EACCES) opened = openFound(where, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    return opened;
}

// Reads the open file `file` from where it stands, as readFile describes.
ReadResult readOpenFile(int file, FileContent& content, std::uint64_t limit, FileVersion& version) {
    struct stat status {};
    if (fstat(file, &status) != 0) return ReadResult::CannotOpen;
    if (S_ISDIR(status.st_mode)) return ReadResult::Directory;
    // A FIFO with a writer is read until the writer closes it.
    if (!S_ISREG(status.st_mode) && !clearNonBlocking(file)) return ReadResult::CannotOpen;
    // A pipe has no size: it is read to its end, or one byte past the limit. Anything else
    // is read up to the size it had now, so that a file that keeps growing, or a device
    // without end, cannot run the process out of memory.
    const bool toTheEnd = S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode);
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (!toTheEnd && (size > limit || size > std::numeric_limits<std::size_t>::max())) return ReadResult::TooLarge;
    const std::uint64_t wanted =
        toTheEnd ? std::min(limit, std::uint64_t{std::numeric_limits<std::size_t>::max() - 1}) + 1 : size;
    content.reserve(toTheEnd ? 0 : static_cast<std::size_t>(size));
    for (;;) {
        if (content.room() == 0) {
            if (!toTheEnd || content.text().size() >= wanted) break;
            const std::size_t had = content.text().size();
            content.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, had < 4096 ? 65536 : had * 2)));
        }
        const ssize_t count = ::read(file, content.end(), content.room());
        if (count == 0) break;  // the end, also of a file that shrank
        if (count < 0) {
            if (errno == EINTR) continue;
            return ReadResult::ReadFailed;
        }
        content.added(static_cast<std::size_t>(count));
    }
    if (content.text().size() > limit) return ReadResult::ReadFailed;
    Digest digest;
    digest.add(content.text());
    version = {true, static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
               content.text().size(), digest.get()};
    version.regular = S_ISREG(status.st_mode);
    return ReadResult::Read;
}

// A save that writes into the old file keeps the complete text beside it, and the file
// locked, until it is done. Where that copy is there, this waits for a shared lock on the
// open file `file` (held until it is closed), so as not to read the file half written;
// true if it did. A lock of this process's own is not waited for.
bool waitForSaveInto(const std::string& name, int file) {
    struct stat status {};
    const std::size_t slash = name.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string copy = name.substr(0, nameStart) + FileReplacement::recoveryCopyName(name.substr(nameStart));
    if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode) ||
        fstatat(AT_FDCWD, copy.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || fstat(file, &status) != 0) {
        return false;
    }
    if (HeldLocks::isHeld({status.st_dev, status.st_ino})) return false;
    while (flock(file, LOCK_SH) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace

ReadResult readFile(const std::string& name, FileContent& content, std::uint64_t limit, FileVersion& version) {
    version = FileVersion{};
    const Descriptor file = openForReading(name);
    if (!file) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::CannotOpen;
    const bool waited = waitForSaveInto(name, file.get());
    const ReadResult result = readOpenFile(file.get(), content, limit, version);
    if (result != ReadResult::Read || waited || !waitForSaveInto(name, file.get())) return result;
    // A save into the file began while it was read: it is read again once that save is done.
    if (lseek(file.get(), 0, SEEK_SET) != 0) return ReadResult::ReadFailed;
    content.shrink(0);
    return readOpenFile(file.get(), content, limit, version);
}

void writeLogFile(const std::string& name, std::string_view message) {
    Location where;
    if (!locate(name, false, where)) return;
    // Not following a link, not waiting for a pipe's reader, private to the user when new.
    Descriptor log(openAt(where.directory.get(), where.name.c_str(),
                          O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat status {};
    if (!log || fstat(log.get(), &status) != 0 || !S_ISREG(status.st_mode)) return;
    if (!mayWriteInto(status, where.directoryStatus) || ftruncate(log.get(), 0) != 0) return;
    writeAll(log.get(), message);
}

std::optional<std::string> environmentVariable(const std::string& name) {
    if (const char* value = std::getenv(name.c_str())) return value;
    std::string upper = name;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (const char* value = std::getenv(upper.c_str())) return value;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals != nullptr &&
            isCaseInsensitiveEqual(std::string_view(*entry, static_cast<std::size_t>(equals - *entry)), name)) {
            return equals + 1;
        }
    }
    return std::nullopt;
}

std::string temporaryDirectory() {
    const char* directory = std::getenv("TMPDIR");
    std::string path = directory != nullptr && *directory != '\0' ? directory : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
}

struct FileLock::State {
    Descriptor file;
    HeldLocks::File key{};
    bool held = false;
};

FileLock::FileLock(const std::string& name) : state(std::make_unique<State>()) {
    State& s = *state;
    // A file replaced while this waited is locked anew: the lock must be on the file that the name names.
    for (int attempt = 0; attempt < 100; ++attempt) {
        Location where;
        if (!locate(name, true, where) || where.endsAtOpenFile() || !where.exists || !S_ISREG(where.status.st_mode)) {
            return;
        }
        s.key = {where.status.st_dev, where.status.st_ino};
        if (HeldLocks::joinIfHeld(s.key)) {
            s.held = true;
            return;
        }
        Descriptor opened = openToLock(where);
        struct stat status {};
        if (!opened || fstat(opened.get(), &status) != 0) return;
        int locked = -1;
        while ((locked = flock(opened.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (locked != 0) return;  // a file system without locks
        Location now;
        if (!isSameFile(status, where.status) || !locate(name, true, now) || !now.exists ||
            !isSameFile(now.status, status)) {
            continue;
        }
        HeldLocks::add(s.key);
        s.file = std::move(opened);
        s.held = true;
        return;
    }
}

FileLock::~FileLock() {
    if (!state->held) return;
    HeldLocks::release(state->key);
    state->file.reset();  // closing the only descriptor of the open file releases the lock
}

bool FileLock::isHeld() const { return state->held; }

struct FileReplacement::State {
    std::string target;
    Location where;
    Descriptor file;        // the temporary file, or the target itself when written in place
    std::string temporary;  // the temporary file's name in the target's directory, once it has one
    bool unnamed = false;   // the temporary file has no name until it is complete
    bool inPlace = false;
    bool committed = false;
    off_t written = 0;                    // bytes written so far, to cut a regular file written in place after them
    std::optional<FileVersion> expected;  // what the target must still be at commit()
#ifdef __linux__
    std::vector<Attribute> oldAttributes;  // of the file replaced
#endif

    bool openInPlace(const struct stat& expected);
    bool readOldAttributes();
    bool createTemporary();
    bool createUnnamed();
    bool giveName();
    bool isAsExpected() const;
    bool takeOverOldFile();
    bool giveOldAttributes();
    bool mayWriteIntoOldFile() const;
    bool copyIntoTarget(bool& touched);
    bool writeIntoOldFile();
    bool createTarget();
    bool replaceTarget();
    bool commitInPlace();
    Committed commit();
    void discard();
};

FileReplacement::FileReplacement(const std::string& target) : state(std::make_unique<State>()) {
    state->target = target;
}

FileReplacement::~FileReplacement() {
    if (!state->committed) state->discard();
}

bool FileReplacement::open() {
    State& s = *state;
    if (!locate(s.target, true, s.where)) return false;
    // A deleted file, a memfd or a pipe that a link in /proc names has no name to put a file under.
    if (s.where.endsAtOpenFile()) return s.openInPlace(s.where.namedStatus);
    if (s.where.exists) {
        const struct stat& existing = s.where.status;
        // Refuse what an ordinary open for writing would refuse, and another user's file in a shared directory.
        if (S_ISDIR(existing.st_mode) || !mayReplace(existing, s.where.directoryStatus) ||
            faccessat(s.where.directory.get(), s.where.name.c_str(), W_OK, AT_EACCESS) != 0) {
            return false;
        }
        // A device or a pipe cannot be replaced by renaming: it is written in place.
        if (!S_ISREG(existing.st_mode)) {
            return mayWriteInto(existing, s.where.directoryStatus) && s.openInPlace(existing);
        }
        if (!s.readOldAttributes()) return false;
    }
    return s.createTemporary();
}

bool FileReplacement::writesInPlace() const { return state->inPlace; }

bool FileReplacement::write(std::string_view bytes) {
    if (!state->file) return false;
    const int file = state->file.get();
    if (!(state->inPlace ? writeAllWithoutPipeSignal(file, bytes) : writeAll(file, bytes))) return false;
    state->written += static_cast<off_t>(bytes.size());
    return true;
}

void FileReplacement::expect(const FileVersion& version) { state->expected = version; }

FileReplacement::Committed FileReplacement::commit() { return state->commit(); }

bool FileReplacement::State::openInPlace(const struct stat& expected) {
    // Without waiting for a pipe's reader: a pipe nobody reads cannot be opened.
    Descriptor opened = openFound(where, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat status {};
    if (!opened || fstat(opened.get(), &status) != 0 || !isSameFile(status, expected) ||
        !clearNonBlocking(opened.get())) {
        return false;
    }
    file = std::move(opened);
    inPlace = true;
    return true;
}

// The old file's extended attributes, its ACL among them, are read before anything is
// written: a file whose attributes cannot be read is not replaced, as its replacement
// might let in someone whom the old file kept out.
bool FileReplacement::State::readOldAttributes() {
#ifdef __linux__
    Descriptor old = openFound(where, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (!old && errno == EACCES) old = openFound(where, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);  // write-only
    struct stat status {};
    return old && fstat(old.get(), &status) == 0 && isSameFile(status, where.status) &&
           readAttributes(old.get(), oldAttributes);
#else
    return true;
#endif
}

bool FileReplacement::State::createTemporary() {
    if (createUnnamed()) return true;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryNameFor(where.name, attempt);
        // Readable by the user alone until it is complete; its final mode comes at commit().
        file.reset(
            openAt(where.directory.get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file) {
            temporary = std::move(name);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

// A file without a name cannot be opened by anyone else, and nothing is left of it
// when the process dies before commit(). It is named through /proc at the end.
bool FileReplacement::State::createUnnamed() {
#ifdef O_TMPFILE
    // A new target gets the mode an ordinary creation would give (the mask and the directory's
    // default permissions applied); an existing one gets the old file's mode at commit().
    const mode_t mode = where.exists ? 0600 : 0666;
    file.reset(openAt(where.directory.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
    if (!file) return false;
    const std::string self = "/proc/self/fd/" + std::to_string(file.get());
    if (access(self.c_str(), F_OK) != 0) {
        file.reset();
        return false;
    }
    unnamed = true;
    return true;
#else
    return false;
#endif
}

bool FileReplacement::State::giveName() {
    const std::string self = "/proc/self/fd/" + std::to_string(file.get());
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryNameFor(where.name, attempt);
        if (linkat(AT_FDCWD, self.c_str(), where.directory.get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary = std::move(name);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

// Gives the temporary file the old file's owner, group, extended attributes (its ACL
// among them) and mode; false where any of them cannot go over. A new file gets the
// usual mode, and the ACL that the directory gives new files.
bool FileReplacement::State::takeOverOldFile() {
    if (!where.exists) return unnamed || fchmod(file.get(), 0666 & ~currentUmask()) == 0;
    const struct stat& old = where.status;
    // The attributes after the owner, whose change drops file capabilities; the mode last, as setting an
    // ACL may clear the setgid bit. A chmod rewrites only the ACL's owner, mask and other entries, which
    // the old mode gives as the old ACL had them.
    return maySeeEveryAttribute() && fchown(file.get(), old.st_uid, old.st_gid) == 0 && giveOldAttributes() &&
           fchmod(file.get(), old.st_mode & 07777) == 0;
}

// Copies the old file's extended attributes; false where one cannot be set. Where the
// old file had no ACL, the one that the directory's default gave the temporary file goes.
bool FileReplacement::State::giveOldAttributes() {
#ifdef __linux__
    bool hadAccessList = false;
    for (const Attribute& attribute : oldAttributes) {
        hadAccessList = hadAccessList || attribute.name == accessList;
        if (fsetxattr(file.get(), attribute.name.c_str(), attribute.value.data(), attribute.value.size(), 0) != 0) {
            return false;
        }
    }
    return hadAccessList || fremovexattr(file.get(), accessList) == 0 || errno == ENODATA || errno == ENOTSUP;
#else
    return true;
#endif
}

// Whether writing into the old file keeps what it has: a write by another user clears
// the setuid and setgid bits of an executable, and any write clears file capabilities.
bool FileReplacement::State::mayWriteIntoOldFile() const {
    const mode_t mode = where.status.st_mode;
    const bool dropsBits = (mode & S_ISUID) != 0 || ((mode & S_ISGID) != 0 && (mode & S_IXGRP) != 0);
    if (dropsBits && geteuid() != 0) return false;
#ifdef __linux__
    for (const Attribute& attribute : oldAttributes) {
        if (attribute.name == "security.capability") return false;
    }
#endif
    return S_ISREG(mode) && mayWriteInto(where.status, where.directoryStatus);
}

// Whether the target is still what commit() expects; true where nothing is expected.
bool FileReplacement::State::isAsExpected() const {
    if (!expected) return true;
    Location now;
    if (!locate(target, true, now)) return false;
    if (!now.exists && !now.endsAtOpenFile()) return !expected->found;
    const Descriptor current = openFound(now, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    FileVersion version;
    return current && readVersion(current.get(), version) && version == *expected;
}

// Writes the temporary file's bytes over the regular file that the target was when it was
// found (a file bind-mounted into place, as containers get their settings, or one whose
// owner, group or attributes a replacement would not keep), keeping the file itself.
// `touched` tells whether anything was written into it.
bool FileReplacement::State::copyIntoTarget(bool& touched) {
    touched = false;
    Descriptor target(
        openAt(where.directory.get(), where.name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!target || fstat(target.get(), &status) != 0 || !S_ISREG(status.st_mode) || !isSameFile(status, where.status) ||
        !mayWriteInto(status, where.directoryStatus) || lseek(file.get(), 0, SEEK_SET) != 0) {
        return false;
    }
    touched = true;
    char buffer[65536];
    off_t size = 0;
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return false;
        if (count == 0) break;
        if (!writeAll(target.get(), std::string_view(buffer, static_cast<std::size_t>(count)))) return false;
        size += count;
    }
    return ftruncate(target.get(), size) == 0 && flushToDisk(target.get()) && target.close();
}

// Writes the text into the old file, which keeps its owner, group, mode, ACL and attributes.
// The complete text is first on disk under the recovery copy's name, so that a crash while
// the old file is being written leaves it; it goes when the old file holds the text. A copy
// left by an earlier save that did not end is not overwritten: the save is refused.
bool FileReplacement::State::writeIntoOldFile() {
    if (!mayWriteIntoOldFile() || !flushToDisk(file.get())) return false;
    const int directory = where.directory.get();
    const std::string copy = FileReplacement::recoveryCopyName(where.name);
    if (unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(file.get());
        if (linkat(AT_FDCWD, self.c_str(), directory, copy.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
    } else {
        if (linkat(directory, temporary.c_str(), directory, copy.c_str(), 0) != 0) return false;
        unlinkat(directory, temporary.c_str(), 0);
    }
    temporary = copy;
    syncDirectory(directory);
    bool touched = false;
    if (!copyIntoTarget(touched)) {
        if (touched) temporary.clear();  // the old file may be cut short: the copy stays
        return false;
    }
    return true;
}

// Puts the complete temporary file under the target's name, which must still be free when
// the target is expected to be missing.
bool FileReplacement::State::createTarget() {
    const int directory = where.directory.get();
    if (!expected) return renameat(directory, temporary.c_str(), directory, where.name.c_str()) == 0;
    if (linkat(directory, temporary.c_str(), directory, where.name.c_str(), 0) != 0) return false;
    unlinkat(directory, temporary.c_str(), 0);
    return true;
}

bool FileReplacement::State::replaceTarget() {
    const int directory = where.directory.get();
    if (renameat(directory, temporary.c_str(), directory, where.name.c_str()) == 0) return true;
    // A file mounted in place cannot be renamed over: its bytes are written into it.
    bool touched = false;
    if ((errno != EBUSY && errno != EXDEV) || !copyIntoTarget(touched)) return false;
    unlinkat(directory, temporary.c_str(), 0);
    return true;
}

FileReplacement::Committed FileReplacement::State::commit() {
    if (!file) return Committed::Failed;
    if (inPlace) {
        committed = commitInPlace();
        return committed ? Committed::Done : Committed::Failed;
    }
    // Other savers wait while the target is checked and replaced.
    const FileLock lock(target);
    if (!isAsExpected()) {
        discard();
        return Committed::Changed;
    }
    // Where the replacement cannot carry all that the old file has, the old file itself is written.
    const bool intoOldFile = where.exists && !takeOverOldFile();
    bool done = false;
    if (intoOldFile) {
        done = writeIntoOldFile();
    } else {
        done = (where.exists || takeOverOldFile()) && flushToDisk(file.get()) && (!unnamed || giveName()) &&
               (where.exists ? replaceTarget() : createTarget());
    }
    if (!done) {
        const bool taken = !where.exists && expected && errno == EEXIST;  // made meanwhile by someone else
        discard();
        return taken ? Committed::Changed : Committed::Failed;
    }
    // The text is on disk: a late error of close() cannot concern it any more.
    if (intoOldFile) {
        discard();  // the recovery copy
    } else {
        temporary.clear();
        file.reset();
    }
    committed = true;
    syncDirectory(where.directory.get());
    return Committed::Done;
}

bool FileReplacement::State::commitInPlace() {
    struct stat status {};
    if (fstat(file.get(), &status) != 0) return false;
    // A regular file (one that a link in /proc names) loses what was beyond the new text.
    // Devices and pipes may not support flushing; only a failed close counts for them.
    if (S_ISREG(status.st_mode) && (ftruncate(file.get(), written) != 0 || !flushToDisk(file.get()))) return false;
    return file.close();
}

void FileReplacement::State::discard() {
    file.reset();
    if (!temporary.empty()) {
        unlinkat(where.directory.get(), temporary.c_str(), 0);
        temporary.clear();
    }
}

}  // namespace rkxml_detail::platform
