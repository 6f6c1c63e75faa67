#include "FuzzSupport.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "rkXMLHeader.h"
#include "tree/NodeAccess.h"

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

namespace {

const char* kindName(rkXMLNode::TType type) {
    switch (type) {
        case rkXMLNode::Element: return "element";
        case rkXMLNode::Comment: return "comment";
        case rkXMLNode::Header: return "header";
        default: return "node of no kind";
    }
}

}  // namespace

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

std::string treeDifference(const rkXMLElement& expected, const rkXMLElement& actual, const ValueKept& valueKept) {
    struct Pair {
        const rkXMLElement* expected;
        const rkXMLElement* actual;
        std::string path;
    };
    std::vector<Pair> pending{{&expected, &actual, "root"}};
    while (!pending.empty()) {
        const Pair pair = pending.back();
        pending.pop_back();
        if (pair.expected->size() != pair.actual->size()) {
            return pair.path + ": " + std::to_string(pair.expected->size()) + " children became " +
                   std::to_string(pair.actual->size());
        }
        unsigned index = 0;
        auto actualChild = pair.actual->begin();
        for (const rkXMLNode* want : *pair.expected) {
            rkXMLNode* got = *actualChild++;
            const std::string path = pair.path + "/" + std::to_string(index++);
            if (want == nullptr || got == nullptr) return path + ": null child";
            if (want->getElementType() != got->getElementType()) {
                return path + ": " + kindName(want->getElementType()) + " became " + kindName(got->getElementType());
            }
            if (want->getName() != got->getName())
                return path + ": name " + printable(want->getName()) + " became " + printable(got->getName());
            if (got->getParent() != pair.actual) return path + ": parent link does not name the holder";
            if (want->getElementType() == rkXMLNode::Header) {
                const auto& a = static_cast<const rkXMLHeader&>(*want);
                const auto& b = static_cast<const rkXMLHeader&>(*got);
                if (a.getVersion() != b.getVersion() || a.getEncodingType() != b.getEncodingType()) {
                    return path + ": header fields differ";
                }
            }
            if (want->getElementType() != rkXMLNode::Element) continue;
            const auto& a = static_cast<const rkXMLElement&>(*want);
            const auto& b = static_cast<const rkXMLElement&>(*got);
            const std::string wantedValue = valueKept(a) ? a.getValue() : std::string();
            if (wantedValue != b.getValue()) {
                return path + " (" + printable(a.getName()) + "): value " + printable(a.getValue()) + " became " +
                       printable(b.getValue());
            }
            const auto& attributesA = a.getAttributes();
            const auto& attributesB = b.getAttributes();
            if (attributesA != attributesB) {
                std::ostringstream detail;
                detail << path << " (" << printable(a.getName()) << "): attributes differ:";
                for (const auto& [name, value] : attributesA)
                    detail << " " << printable(name) << "=" << printable(value);
                detail << " became";
                for (const auto& [name, value] : attributesB)
                    detail << " " << printable(name) << "=" << printable(value);
                return detail.str();
            }
            pending.push_back({&a, &b, path});
        }
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
