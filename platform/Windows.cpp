// The platform layer on Windows.
//
// File names are the bytes of the std::string in the process's ANSI code page,
// as the standard file streams take them, so every call is the -A variant.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <sddl.h>  // after windows.h, which it needs

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "platform/HeldLocks.h"
#include "platform/Platform.h"

namespace rkxml_detail::platform {
namespace {

// Closes a handle on every way out.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    Handle(Handle&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        reset();
        handle = std::exchange(other.handle, nullptr);
        return *this;
    }
    ~Handle() { reset(); }

    HANDLE get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    void reset() {
        if (handle != nullptr) CloseHandle(handle);
        handle = nullptr;
    }
    // Closes the handle; false if closing reported an error.
    bool close() { return CloseHandle(std::exchange(handle, nullptr)) != 0; }

private:
    HANDLE handle = nullptr;
};

// Memory that the system allocated with LocalAlloc.
struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

// ReadFile and WriteFile take at most a DWORD per call.
constexpr std::size_t maxChunk = 1u << 30;

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(std::min(bytes.size(), maxChunk)), &written, nullptr)) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// Windows programs read and write text files in text mode, where a line ends in
// CR LF on disk and in LF in memory; so does the library, for documents and logs.

// Writes `text` with each LF stored as CR LF. The text goes out in pieces of a
// bounded size, expanded in `piece`, so a large text costs no copy of its size.
bool writeText(HANDLE file, std::string_view text, std::string& piece) {
    constexpr std::size_t pieceSize = 1 << 16;
    while (!text.empty()) {
        piece.clear();
        while (!text.empty() && piece.size() < pieceSize) {
            const std::size_t scanned = std::min(text.size(), pieceSize - piece.size());
            const auto* lineFeed = static_cast<const char*>(std::memchr(text.data(), '\n', scanned));
            const std::size_t kept = lineFeed == nullptr ? scanned : static_cast<std::size_t>(lineFeed - text.data());
            piece.append(text.data(), kept);
            if (lineFeed != nullptr) piece.append("\r\n");
            text.remove_prefix(lineFeed == nullptr ? kept : kept + 1);
        }
        if (!writeAll(file, piece)) return false;
    }
    return true;
}

// Turns each CR LF of `content` into LF, in place and in one pass; a CR alone stays. A text that starts with
// UTF-16's byte order mark stays whole: its bytes CR and LF may be halves of other characters.
void joinLineEnds(FileContent& content) {
    const std::string_view mark = content.text().substr(0, 2);
    if (mark == "\xFF\xFE" || mark == "\xFE\xFF") return;
    char* const start = content.data();
    const char* const end = start + content.text().size();
    char* out = start;
    const char* in = start;
    while (const auto* cr = static_cast<const char*>(std::memchr(in, '\r', static_cast<std::size_t>(end - in)))) {
        const bool beforeLineFeed = cr + 1 < end && cr[1] == '\n';
        const std::size_t kept = static_cast<std::size_t>(cr - in) + (beforeLineFeed ? 0 : 1);
        if (out != in) std::memmove(out, in, kept);
        out += kept;
        in = cr + 1;
    }
    if (out != in) std::memmove(out, in, static_cast<std::size_t>(end - in));
    content.shrink(static_cast<std::size_t>(out - start) + static_cast<std::size_t>(end - in));
}

// Opens or creates `name` for writing, as `disposition` says, sharing it with
// everyone as an ordinary program would.
Handle openForWriting(const std::string& name, DWORD disposition, SECURITY_ATTRIBUTES* security, DWORD flags = 0) {
    return Handle(CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              security, disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr));
}

bool isRegularFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool isReadOnly(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    return !GetFileInformationByHandle(file, &information) ||
           (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// A security descriptor that lets the current user alone in, for files that must
// stay private while they are written; empty if it cannot be made. It names the
// user rather than "the owner", as emulators map only that to file modes.
LocalMemory privateSecurity() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const Handle ownedToken(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    char* sid = nullptr;
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
        return {};
    }
    const LocalMemory ownedSid(sid);
    // Protected: nothing is inherited from the directory.
    const std::string description = std::string("D:P(A;;FA;;;") + sid + ")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(description.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return {};
    }
    return LocalMemory(descriptor);
}

// As openForWriting, a file made new being one that only the current user can
// open; invalid if that cannot be arranged.
Handle createPrivate(const std::string& name, DWORD disposition, DWORD flags = 0) {
    const LocalMemory descriptor = privateSecurity();
    if (!descriptor) return {};
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    return openForWriting(name, disposition, &security, flags);
}

// The name of the file that the link `file` was opened through leads to, in the
// form the -A functions take; empty if there is none.
std::string finalPathOf(HANDLE file) {
    std::string path(MAX_PATH, '\0');
    const DWORD length = GetFinalPathNameByHandleA(file, path.data(), static_cast<DWORD>(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + path.substr(8);
    if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

constexpr std::size_t maxNameKept = 160;

// A fresh name beside the target, `kind` being "tmp" or "old". Cut so that it
// stays within the usual limit of 255 bytes even for a long target name.
std::string siblingName(const std::string& directory, const std::string& name, const char* kind) {
    static std::atomic<unsigned> counter{0};
    char suffix[96];
    std::snprintf(suffix, sizeof suffix, ".%lu.%u.%llx.%s", static_cast<unsigned long>(GetCurrentProcessId()),
                  counter++, static_cast<unsigned long long>(GetTickCount64()), kind);
    return directory + "." + name.substr(0, maxNameKept) + suffix;
}

// Which file `file` is: its volume and its number there.
bool identify(HANDLE file, FileVersion& version) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) return false;
    version.found = true;
    version.device = information.dwVolumeSerialNumber;
    version.number = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    return true;
}

// Opens an existing file so that others may go on reading, writing and removing it.
Handle openShared(const std::string& name, DWORD access) {
    return Handle(CreateFileA(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// The file `name` now, read whole; a missing file is a version that was not found.
std::optional<FileVersion> versionNow(const std::string& name) {
    const Handle file = openShared(name, GENERIC_READ);
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FileVersion{};
        return std::nullopt;
    }
    FileVersion version;
    if (!identify(file.get(), version)) return std::nullopt;
    Digest digest;
    char buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &count, nullptr)) return std::nullopt;
        if (count == 0) break;
        digest.add(std::string_view(buffer, count));
        version.size += count;
    }
    version.digest = digest.get();
    return version;
}

// LockFileEx locks bytes, which nobody else may then read or write: the byte locked lies
// far beyond the end of any real file.
constexpr DWORD lockedByteHigh = 0x7FFFFFFF;

}  // namespace

struct FileLock::State {
    Handle file;
    HeldLocks::File key{};
    bool held = false;
};

FileLock::FileLock(const std::string& name) : state(std::make_unique<State>()) {
    State& s = *state;
    // A file replaced while this waited is locked anew: the lock must be on the file that the name names.
    for (int attempt = 0; attempt < 100; ++attempt) {
        Handle opened = openShared(name, GENERIC_READ);
        if (!opened) opened = openShared(name, GENERIC_WRITE);
        FileVersion identity;
        if (!opened || GetFileType(opened.get()) != FILE_TYPE_DISK || !identify(opened.get(), identity)) return;
        s.key = {identity.device, identity.number};
        if (HeldLocks::joinIfHeld(s.key)) {
            s.held = true;
            return;
        }
        OVERLAPPED at{};
        at.OffsetHigh = lockedByteHigh;
        if (!LockFileEx(opened.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) return;
        const Handle now = openShared(name, GENERIC_READ);
        FileVersion nowIdentity;
        if (!now || !identify(now.get(), nowIdentity) || nowIdentity.device != identity.device ||
            nowIdentity.number != identity.number) {
            continue;  // closing the handle releases its lock
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
    state->file.reset();  // closing the handle releases the lock
}

bool FileLock::isHeld() const { return state->held; }

ReadResult readFile(const std::string& name, FileContent& content, std::uint64_t limit, FileVersion& version) {
    version = FileVersion{};
    // Others may go on reading, writing and removing it meanwhile, as on POSIX.
    const Handle file = openShared(name, GENERIC_READ);
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return ReadResult::Missing;
        const DWORD attributes = GetFileAttributesA(name.c_str());  // a directory is not opened as a file
        const bool isDirectory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return isDirectory ? ReadResult::Directory : ReadResult::CannotOpen;
    }
    // A pipe has no size: it is read to its end. A file is read up to the size it had
    // now, so that one that keeps growing cannot run the process out of memory; a
    // device such as NUL has none.
    const DWORD type = GetFileType(file.get());
    const bool toTheEnd = type == FILE_TYPE_PIPE;
    LARGE_INTEGER size{};
    if (type == FILE_TYPE_DISK && !GetFileSizeEx(file.get(), &size)) return ReadResult::ReadFailed;
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    if (bytes > limit || bytes > std::numeric_limits<std::size_t>::max()) return ReadResult::TooLarge;
    // A pipe is read one byte past the limit at most.
    const std::uint64_t wanted = std::min(limit, std::uint64_t{std::numeric_limits<std::size_t>::max() - 1}) + 1;
    content.reserve(static_cast<std::size_t>(bytes));
    for (;;) {
        if (content.room() == 0) {
            const std::size_t had = content.text().size();
            if (!toTheEnd || had >= wanted) break;
            content.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, had < 4096 ? 65536 : had * 2)));
        }
        DWORD count = 0;
        const DWORD wanted = static_cast<DWORD>(std::min(content.room(), maxChunk));
        if (!ReadFile(file.get(), content.end(), wanted, &count, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) break;  // the writer closed its end
            return ReadResult::ReadFailed;
        }
        if (count == 0) break;  // the end, also of a file that shrank
        content.added(count);
    }
    if (content.text().size() > limit) return ReadResult::ReadFailed;
    if (type == FILE_TYPE_DISK && !identify(file.get(), version)) return ReadResult::ReadFailed;
    Digest digest;
    digest.add(content.text());
    version.found = true;
    version.regular = type == FILE_TYPE_DISK;
    version.size = content.text().size();
    version.digest = digest.get();
    joinLineEnds(content);
    return ReadResult::Read;
}

void writeLogFile(const std::string& name, std::string_view message) {
    // Not through a link (a link itself is no regular file), private to the user when
    // new, and only into a writable regular file.
    const Handle log = createPrivate(name, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT);
    if (!log || !isRegularFile(log.get()) || isReadOnly(log.get()) || !SetEndOfFile(log.get())) return;
    std::string piece;
    writeText(log.get(), message, piece);
}

std::optional<std::string> environmentVariable(const std::string& name) {
    // The system matches the name in any casing.
    std::string value(256, '\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        if (length < value.size()) {  // it fitted: the length without the closing zero
            value.resize(length);
            return value;
        }
        value.resize(length);  // the size it needs, with the closing zero
    }
}

std::string temporaryDirectory() {
    // TMP, TEMP or the user's profile, as the system chooses; ends in a backslash.
    char path[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof path, path);
    if (length == 0 || length > MAX_PATH) return {};  // the current directory, then
    return std::string(path, length);
}

struct FileReplacement::State {
    explicit State(std::string target) : target(std::move(target)) {}
    // Removes the temporary file unless it was put in place.
    ~State() {
        if (!committed) discard();
    }

    std::string target;     // the file replaced: the name given, or where a link there leads
    std::string directory;  // the target's directory with its separator, or empty for the current one
    std::string name;       // the target's own name
    Handle file;            // the temporary file, or the target itself when written in place
    std::string temporary;  // the temporary file's name, once it exists
    std::string piece;      // the text being written, its line ends expanded
    bool exists = false;
    bool inPlace = false;
    bool committed = false;
    std::optional<FileVersion> expected;  // what the target must still be at commit()

    bool open();
    bool setTarget(std::string path);
    bool checkExisting(Handle existing);
    bool createTemporary();
    bool replaceExisting();
    Committed commit();
    void discard();
};

FileReplacement::FileReplacement(const std::string& target) : state(std::make_unique<State>(target)) {}

FileReplacement::~FileReplacement() = default;

bool FileReplacement::open() { return state->open(); }

bool FileReplacement::writesInPlace() const { return state->inPlace; }

bool FileReplacement::write(std::string_view bytes) {
    return state->file && writeText(state->file.get(), bytes, state->piece);
}

void FileReplacement::expect(const FileVersion& version) { state->expected = version; }

FileReplacement::Committed FileReplacement::commit() { return state->commit(); }

bool FileReplacement::State::open() {
    if (!setTarget(target)) return false;
    Handle existing = openForWriting(target, OPEN_EXISTING, nullptr);
    if (existing) return checkExisting(std::move(existing)) && (inPlace || createTemporary());
    // A new file; that its directory exists shows when the temporary file is made there.
    return GetLastError() == ERROR_FILE_NOT_FOUND && createTemporary();
}

// Splits `path` into its directory and its name; false if it names no file.
bool FileReplacement::State::setTarget(std::string path) {
    const std::size_t separator = path.find_last_of("\\/");
    std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    if (nameStart == 0 && path.size() > 2 && path[1] == ':') nameStart = 2;  // "C:name", relative to that drive
    if (nameStart >= path.size()) return false;
    target = std::move(path);
    directory = target.substr(0, nameStart);
    name = target.substr(nameStart);
    return true;
}

// The target opened for writing (so that it may be written and no other program
// holds it without sharing): a device is written in place; a file read-only by
// its attribute is refused; a link is followed, so that it stays.
bool FileReplacement::State::checkExisting(Handle existing) {
    if (GetFileType(existing.get()) != FILE_TYPE_DISK) {
        file = std::move(existing);
        inPlace = true;
        return true;
    }
    exists = true;
    if (isReadOnly(existing.get())) return false;
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 || setTarget(finalPathOf(existing.get()));
}

bool FileReplacement::State::createTemporary() {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = siblingName(directory, name, "tmp");
        // Private until it replaces an existing file, whose security it then takes; a new
        // target gets what the directory gives new files, as after an ordinary write.
        file = exists ? createPrivate(candidate, CREATE_NEW) : openForWriting(candidate, CREATE_NEW, nullptr);
        if (file) {
            temporary = std::move(candidate);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

// ReplaceFileA keeps the old file's attributes and security. The old file goes to a
// backup name on the way, so that every failure leaves it, or puts it back, in place.
bool FileReplacement::State::replaceExisting() {
    std::string backup = siblingName(directory, name, "old");
    for (unsigned attempt = 0; GetFileAttributesA(backup.c_str()) != INVALID_FILE_ATTRIBUTES; ++attempt) {
        if (attempt == 100) return false;
        backup = siblingName(directory, name, "old");
    }
    if (ReplaceFileA(target.c_str(), temporary.c_str(), backup.c_str(), 0, nullptr, nullptr)) {
        DeleteFileA(backup.c_str());
        return true;
    }
    // The old file was moved away but the new one not into its place. Should the old
    // file fail to come back, it stays under the backup name: its text is kept.
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        MoveFileExA(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    return false;
}

FileReplacement::Committed FileReplacement::State::commit() {
    if (!file) return Committed::Failed;
    if (inPlace) {
        // Devices and pipes may not support flushing; only a failed close counts for them.
        committed = file.close();
        return committed ? Committed::Done : Committed::Failed;
    }
    // Other savers wait while the target is checked and replaced.
    const FileLock lock(target);
    if (expected && versionNow(target) != expected) {
        discard();
        return Committed::Changed;
    }
    const bool complete = FlushFileBuffers(file.get()) && file.close();
    // A new target: the rename is made durable too; one that is expected to be missing must still be.
    const DWORD replacing = expected ? 0 : MOVEFILE_REPLACE_EXISTING;
    committed =
        complete && (exists ? replaceExisting()
                            : MoveFileExA(temporary.c_str(), target.c_str(), replacing | MOVEFILE_WRITE_THROUGH) != 0);
    const bool taken = !committed && !exists && expected && GetLastError() == ERROR_ALREADY_EXISTS;
    if (committed) {
        temporary.clear();
    } else {
        discard();
    }
    return committed ? Committed::Done : taken ? Committed::Changed : Committed::Failed;
}

void FileReplacement::State::discard() {
    file.reset();
    if (!temporary.empty()) {
        DeleteFileA(temporary.c_str());
        temporary.clear();
    }
}

}  // namespace rkxml_detail::platform
