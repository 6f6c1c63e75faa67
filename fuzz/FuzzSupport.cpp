#include "FuzzSupport.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "rkXMLDifference.h"
#include "rkXMLWalk.h"

namespace fuzz {
namespace {

std::string createdDirectory;

void removeScratchDirectory() {
    if (createdDirectory.empty()) return;
    if (DIR* directory = opendir(createdDirectory.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") ::unlink((createdDirectory + "/" + name).c_str());
        }
        closedir(directory);
    }
    ::rmdir(createdDirectory.c_str());
}

bool isWritableDirectory(const char* path) {
    struct stat status {};
    return path != nullptr && stat(path, &status) == 0 && S_ISDIR(status.st_mode) && access(path, W_OK) == 0;
}

}  // namespace

std::string printable(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text.substr(0, 200)) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out + (text.size() > 200 ? "\"..." : "\"");
}

const std::string& scratchDirectory() {
    static const std::string directory = [] {
        std::string base = isWritableDirectory("/dev/shm") ? "/dev/shm" : "";
        if (base.empty()) base = isWritableDirectory(std::getenv("TMPDIR")) ? std::getenv("TMPDIR") : "/tmp";
        std::string pattern = base + "/rkxml-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) fail("scratch directory", "cannot create " + pattern);
        createdDirectory = pattern;
        std::atexit(removeScratchDirectory);
        setenv("Tmp", (pattern + "/").c_str(), 1);
        return pattern;
    }();
    return directory;
}

rkXMLFStream& utf8Stream() {
    static rkXMLFStream stream;
    static const bool switched = (stream.utf8Symbols(), true);
    (void)switched;
    return stream;
}

rkXMLFStream& foreignStream() {
    static rkXMLFStream stream;
    static const bool switched = (stream.foreignXml(), true);
    (void)switched;
    return stream;
}

void fail(const std::string& property, const std::string& detail) {
    std::fprintf(stderr, "\n*** property broken: %s\n%s\n", property.c_str(), detail.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string whyNotFresh(const rkXMLDocument& document) {
    const rkXMLNode* root = document.getRoot();
    if (root->getElementType() != rkXMLNode::Element) return "the root is not an element";
    const auto& element = static_cast<const rkXMLElement&>(*root);
    if (element.getName() != rkXMLDocument::getRootTagName()) return "the root is named " + printable(root->getName());
    if (const_cast<rkXMLElement&>(element).getParent() != root) return "the root is not its own parent";
    if (!element.empty()) return "the root has " + std::to_string(element.size()) + " children";
    if (!element.getValue().empty()) return "the root has the value " + printable(element.getValue());
    if (!element.getAttributes().empty()) return "the root has attributes";
    return {};
}

std::string treeDifference(const rkXMLDocument& expected, const rkXMLDocument& actual, const ValueKept& valueKept) {
    const rkXMLDifference difference =
        rkXMLDifference::between(expected, actual, [&valueKept](const std::string& first, const std::string& second) {
            return (valueKept(first) ? first : std::string()) == second;
        });
    if (difference.differs) return difference.path + ": " + difference.reason;
    for (rkXMLWalk walk(static_cast<const rkXMLElement&>(*actual.getRoot())); walk.next();) {
        if (walk.node()->getParent() != walk.holder()) return "a parent link does not name the holder";
    }
    return {};
}

bool isWritten(const std::string& value) {
    std::string copy = value;
    for (char c : {'\n', '\r', '\t'}) {
        const std::size_t at = copy.find(c);
        if (at != std::string::npos) copy[at] = ' ';
    }
    std::string collapsed;
    for (char c : copy) {
        if (c != ' ' || collapsed.empty() || collapsed.back() != ' ') collapsed += c;
    }
    return !collapsed.empty() && collapsed != " ";
}

std::string fileContent(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace fuzz

// Every target starts by making the scratch directory, which also sends the logs of unnamed documents there.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::scratchDirectory();
    return 0;
}
