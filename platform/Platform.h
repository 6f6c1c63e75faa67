// The library's only contact with the operating system: reading a file whole,
// replacing a file safely, writing the log file, and the environment. Each
// platform has one source that implements this header (Posix.cpp, Windows.cpp);
// nothing else in the library includes a system header. File names are bytes
// as the system takes them: on Windows in the process's ANSI code page.
#ifndef RKXML_PLATFORM_PLATFORM_H
#define RKXML_PLATFORM_PLATFORM_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace rkxml_detail::platform {

// Read, or why not: no file of that name, a directory, a file over the limit (before reading), or else.
enum class ReadResult { Read, Missing, Directory, TooLarge, CannotOpen, ReadFailed };

// A 64-bit FNV-1a digest of bytes, fed in pieces: enough to tell whether a file's bytes
// changed since they were read, not to stand against someone forging them.
class Digest {
public:
    void add(std::string_view bytes) {
        for (const char c : bytes) value = (value ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    }
    std::uint64_t get() const { return value; }

private:
    std::uint64_t value = 0xcbf29ce484222325u;
};

// A file as a read found it: which file (its device and its number there) and its bytes
// (their count and digest); `found` false for no file at all. `regular` tells a regular
// file from a pipe or a device; it goes with the file's number, so it is not compared.
struct FileVersion {
    bool found = false;
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    std::uint64_t size = 0;
    std::uint64_t digest = 0;
    bool regular = false;

    bool operator==(const FileVersion& other) const {
        return found == other.found && device == other.device && number == other.number && size == other.size &&
               digest == other.digest;
    }
    bool operator!=(const FileVersion& other) const { return !(*this == other); }
};

// A file's bytes as readFile gathers them, in memory that is not zeroed first
// (as a std::string's would be), since all of it is read into. A small file, the
// usual settings file, stays in the object itself: a heap block of a kilobyte or
// more makes glibc's allocator first merge every small block that the last
// destroyed tree gave back, which costs more than reading such a file.
class FileContent {
public:
    FileContent() = default;
    FileContent(const FileContent&) = delete;
    FileContent& operator=(const FileContent&) = delete;
    ~FileContent() { release(); }

    // The bytes gathered so far.
    std::string_view text() const { return {bytes, size}; }
    // Makes room for `wanted` bytes in all, the bytes gathered kept; throws std::bad_alloc without memory.
    void reserve(std::size_t wanted) {
        if (wanted <= capacity) return;
        if (wanted > sizeof inlineBytes) {
            char* larger = new char[wanted];
            if (size != 0) std::memcpy(larger, bytes, size);
            release();
            bytes = larger;
        }
        capacity = wanted;
    }
    // Where the next bytes go, and how many fit there.
    char* end() { return bytes + size; }
    std::size_t room() const { return capacity - size; }
    // Counts `count` bytes put at end() as gathered.
    void added(std::size_t count) { size += count; }
    // The bytes gathered, to be changed in place; shrink() then drops what is left beyond `count`.
    char* data() { return bytes; }
    void shrink(std::size_t count) { size = std::min(size, count); }

private:
    void release() {
        if (bytes != inlineBytes) delete[] bytes;
    }

    char inlineBytes[16384];
    char* bytes = inlineBytes;
    std::size_t size = 0;
    std::size_t capacity = 0;
};

// The text of file `name`: a regular file up to the size it had when it was opened,
// a pipe to its end (a FIFO without a writer gives none at once). A directory cannot
// be opened (Directory). POSIX gives the bytes as they are; Windows reads in text mode, as
// its programs read text files: each CR LF becomes LF (a CR alone stays). A regular file of
// more than `limit` bytes is TooLarge before anything is read, a pipe ReadFailed after
// limit + 1 bytes. `version` tells which file was read and digests the bytes as the file
// holds them (before any line ends are changed). A file that a save is writing into (its
// recovery copy is beside it) is read once that save is done. Throws std::bad_alloc when
// the bytes do not fit in memory.
ReadResult readFile(const std::string& name, FileContent& content, std::uint64_t limit, FileVersion& version);

// An advisory lock on the regular file `name` (flock on POSIX, LockFileEx on Windows),
// exclusive, held until the object is destroyed; other processes that lock the file wait
// meanwhile. A lock that this process holds already on the same file is not taken again
// (the process would wait for itself). Where the file is missing or is not a regular
// file, or the system takes no lock there, nothing is held.
class FileLock {
public:
    // Waits until the file is locked, or until it is clear that it cannot be.
    explicit FileLock(const std::string& name);
    // Releases the lock.
    ~FileLock();

    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Whether a lock on the file is held, by this object or already by this process.
    bool isHeld() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

// Replaces the content of the log file `name` by `message` (on Windows each LF stored
// as CR LF, as text files are written there). Does nothing, silently,
// when that fails or would be unsafe: the name is a link, a pipe or a device, or it
// lies in a directory that others share (such as /tmp) and is not the user's own.
void writeLogFile(const std::string& name, std::string_view message);

// The value of the environment variable `name`, its name matched in any casing
// (the exact name first); nullopt if it is not set.
std::optional<std::string> environmentVariable(const std::string& name);

// The system's directory for temporary files, ending in a path separator; empty
// (the current directory) if the system names none.
std::string temporaryDirectory();

// A file that takes the place of `target` only once all of it is on disk.
//
// The text goes into a temporary file in the target's directory that no other
// user can read; commit() flushes it to disk and puts it in place atomically, so
// a failure or a power cut leaves the old file or the new one, never a mix, and
// the old file's owner, group, mode, ACL and extended attributes (on Windows its
// attributes and security) go over to it. Where they cannot all go over (another
// user's file, a group the user is not in, an attribute the user cannot read or
// set), the complete text is first put on disk beside the target as a recovery
// copy (recoveryCopyName) and then written over the old file, which keeps all of
// them; a crash in between leaves that copy. A target that cannot be replaced (a
// pipe, a device such as NUL, an open file without a name that a link in /proc
// names) is written in place. Links are followed as the system would for a careful program: in a
// directory that others share, only links and files that are the user's own are used.
class FileReplacement {
public:
    // The name, in the target's directory, of the complete copy that a save writing into
    // the old file keeps on disk until it is done: "." + the target's name + ".rkxml-copy".
    static std::string recoveryCopyName(const std::string& targetName) {
        return "." + targetName.substr(0, 160) + ".rkxml-copy";  // cut as temporary names are
    }

    // Prepares to replace `target`; open() does the work.
    explicit FileReplacement(const std::string& target);
    // Removes the temporary file unless commit() succeeded.
    ~FileReplacement();

    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the temporary file (or opens a pipe or device); false if the target may not
    // or cannot be replaced.
    bool open();
    // Whether the target is written in place (a pipe, a device): what is written reaches
    // it at once, so a caller holds the text back until it is complete.
    bool writesInPlace() const;
    // Appends bytes, on Windows in text mode (each LF stored as CR LF); false on a write error.
    bool write(std::string_view bytes);
    // Makes commit() replace the target only if it is still `version` (no file: still missing);
    // the check and the replacement run under the target's lock.
    void expect(const FileVersion& version);
    enum class Committed { Done, Failed, Changed };
    // Flushes everything to disk and puts it in place of the target; Failed on any failure and
    // Changed where the target is not the one expected, which both leave the target as it was.
    Committed commit();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace rkxml_detail::platform

#endif
