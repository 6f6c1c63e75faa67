// Crash-safe replacement of a file.
//
// The text goes into a new temporary file in the target's own directory. Only
// after all of it was written, synced to disk and closed without error is the
// temporary file renamed over the target, so a failure or a power cut never
// leaves a half-written target: it is either the old file or the new one.
// An existing target keeps its permission bits (and owner, where allowed); a
// symbolic link keeps pointing where it did, and the file it names is replaced.
// A target that is not a regular file (a device, a pipe) is written in place.
#ifndef RKXML_STREAM_SAFE_FILE_H
#define RKXML_STREAM_SAFE_FILE_H

#include <string>
#include <string_view>

namespace rkxml_detail {

class SafeFile {
public:
    // Prepares to replace `target`; open() does the work.
    explicit SafeFile(std::string target);
    // Removes the temporary file unless commit() succeeded.
    ~SafeFile();

    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Whether `target` names an existing file that is not replaced but written in place (a device, a pipe).
    static bool isWrittenInPlace(const std::string& target);

    // Creates the temporary file; false if the target cannot be replaced (a
    // directory, not writable, or its directory missing or not writable).
    bool open();
    // Appends bytes to the temporary file; false on a write error.
    bool write(std::string_view bytes);
    // Syncs and closes the temporary file and renames it over the target; false on any failure.
    bool commit();

private:
    void discard();

    std::string target;     // the file that is finally replaced (symbolic links resolved)
    std::string temporary;  // the file being written
    int descriptor = -1;
    bool direct = false;  // a device or pipe, written in place
    bool committed = false;
};

}  // namespace rkxml_detail

#endif
