// Expat builds no tree: it is the reference for a scanner that only reports what
// it sees, here to handlers that count elements and comments.
#include <expat.h>

#include <cstdio>
#include <string>

#include "Library.h"

namespace bench {
namespace {

void XMLCALL countStart(void* data, const XML_Char*, const XML_Char**) { ++*static_cast<std::uint64_t*>(data); }
void XMLCALL countEnd(void*, const XML_Char*) {}
void XMLCALL countComment(void* data, const XML_Char*) { ++*static_cast<std::uint64_t*>(data); }

using Parser = std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)>;

class ExpatLibrary : public Library {
public:
    std::string version() const override { return std::string(XML_ExpatVersion()).substr(6); }  // "expat_2.5.0"
    unsigned operations() const override { return ReadMemory | ReadFile; }

    void readMemory(std::string& text) override {
        const Parser parser = counting();
        check(parser, XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), XML_TRUE));
    }
    // In blocks, straight into the parser's own buffer.
    void readFile(const std::string& path) override {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
        if (!file) throw std::runtime_error("cannot open " + path);
        const Parser parser = counting();
        constexpr int blockSize = 64 * 1024;
        for (bool last = false; !last;) {
            void* block = XML_GetBuffer(parser.get(), blockSize);
            if (block == nullptr) throw std::runtime_error("out of memory");
            const std::size_t got = std::fread(block, 1, blockSize, file.get());
            last = got < static_cast<std::size_t>(blockSize);
            check(parser, XML_ParseBuffer(parser.get(), static_cast<int>(got), last));
        }
    }

private:
    Parser counting() {
        Parser parser(XML_ParserCreate(nullptr), XML_ParserFree);
        if (!parser) throw std::runtime_error("XML_ParserCreate failed");
        XML_SetUserData(parser.get(), &counted);
        XML_SetElementHandler(parser.get(), countStart, countEnd);
        XML_SetCommentHandler(parser.get(), countComment);
        return parser;
    }
    static void check(const Parser& parser, XML_Status status) {
        if (status == XML_STATUS_OK) return;
        throw std::runtime_error(std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
                                 std::to_string(XML_GetCurrentLineNumber(parser.get())));
    }

    std::uint64_t counted = 0;
};

const Registration entry{"expat", [] { return std::make_unique<ExpatLibrary>(); }};

}  // namespace
}  // namespace bench
