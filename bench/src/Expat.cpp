// Expat builds no tree: it is the reference for a scanner that only reports what
// it sees, here to handlers that count elements and comments. A file is read whole first.
#include <expat.h>

#include <string>

#include "Library.h"

namespace bench {
namespace {

void XMLCALL countStart(void* data, const XML_Char*, const XML_Char**) { ++*static_cast<std::uint64_t*>(data); }
void XMLCALL countComment(void* data, const XML_Char*) { ++*static_cast<std::uint64_t*>(data); }

class ExpatLibrary : public Library {
public:
    std::string version() const override { return std::string(XML_ExpatVersion()).substr(6); }  // "expat_2.5.0"
    unsigned operations() const override { return ReadMemory | ReadFile; }

    void readMemory(const std::string& text) override {
        const std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate(nullptr), XML_ParserFree);
        if (!parser) throw std::runtime_error("XML_ParserCreate failed");
        XML_SetUserData(parser.get(), &counted);
        XML_SetElementHandler(parser.get(), countStart, nullptr);
        XML_SetCommentHandler(parser.get(), countComment);
        if (XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), XML_TRUE) != XML_STATUS_OK) {
            throw std::runtime_error(std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
                                     std::to_string(XML_GetCurrentLineNumber(parser.get())));
        }
    }

private:
    std::uint64_t counted = 0;
};

const Registration entry{"expat", [] { return std::make_unique<ExpatLibrary>(); }};

}  // namespace
}  // namespace bench
