// Loading a document from the file that it names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "rkXMLFStream.h"

namespace {

// Closes a file descriptor on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : descriptor(descriptor) {}
    ~FileDescriptor() {
        if (descriptor >= 0) ::close(descriptor);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return descriptor; }

private:
    int descriptor;
};

// The whole content of `fileName`, its bytes as they are; throws on failure.
std::string readWholeFile(const std::string& fileName) {
    const std::string cannotOpen = "Opening file: " + fileName + "failed.";
    FileDescriptor file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    // A directory opens for reading on this platform, but holds no text.
    if (file.get() < 0 || fstat(file.get(), &status) != 0 || S_ISDIR(status.st_mode)) {
        throw std::runtime_error(cannotOpen);
    }
    // Read to the end rather than trusting the size: the file may change while it is read.
    std::string content(S_ISREG(status.st_mode) ? static_cast<std::size_t>(status.st_size) + 1 : 0, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == content.size()) content.resize(content.size() < 4096 ? 65536 : content.size() * 2);
        const ssize_t count = ::read(file.get(), &content[filled], content.size() - filled);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("Reading file: " + fileName + " failed.");
        }
        filled += static_cast<std::size_t>(count);
    }
    content.resize(filled);
    return content;
}

}  // namespace

void rkXMLFStream::readDocument(rkXMLDocument& document) {
    const std::string& fileName = document.getFileName();
    if (fileName.empty()) throw std::runtime_error("Invalid/empty filename.");
    std::string content = readWholeFile(fileName);
    // An empty file reads like an empty text: nothing is added and nothing logged.
    if (content.empty()) return;
    readDocumentFromString(document, content);
}
