// Expat builds no tree: it is the reference for a scanner that only reports
// what it sees. The timed handlers count; the signature takes a separate pass.
#include <expat.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Library.h"

namespace bench {
namespace {

struct Counts {
    std::uint64_t elements = 0;
    std::uint64_t comments = 0;
};

void XMLCALL countStart(void* data, const XML_Char*, const XML_Char**) { ++static_cast<Counts*>(data)->elements; }
void XMLCALL countEnd(void*, const XML_Char*) {}
void XMLCALL countComment(void* data, const XML_Char*) { ++static_cast<Counts*>(data)->comments; }

// What the signature pass keeps of each element; text may arrive after children.
struct Record {
    std::string name;
    std::uint64_t depth;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;
};

struct Recorder {
    std::vector<Record> records;
    std::vector<std::size_t> open;
    std::vector<std::uint64_t> commentDepths;
};

void XMLCALL recordStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* recorder = static_cast<Recorder*>(data);
    Record record{name, recorder->open.size(), {}, {}};
    for (const XML_Char** a = attributes; *a != nullptr; a += 2) record.attributes.emplace_back(a[0], a[1]);
    recorder->open.push_back(recorder->records.size());
    recorder->records.push_back(std::move(record));
}
void XMLCALL recordEnd(void* data, const XML_Char*) { static_cast<Recorder*>(data)->open.pop_back(); }
void XMLCALL recordText(void* data, const XML_Char* text, int length) {
    auto* recorder = static_cast<Recorder*>(data);
    if (!recorder->open.empty()) recorder->records[recorder->open.back()].text.append(text, length);
}
void XMLCALL recordComment(void* data, const XML_Char*) {
    auto* recorder = static_cast<Recorder*>(data);
    recorder->commentDepths.push_back(recorder->open.size());
}

class ExpatLibrary : public Library {
public:
    std::string name() const override { return "expat"; }
    std::string version() const override { return XML_ExpatVersion(); }
    std::string settings() const override {
        return "XML_Parse with counting start/end/comment handlers, no tree; files in 64 KiB blocks";
    }
    unsigned operations() const override { return ReadMemory | ReadFile; }

    void readMemory(std::string& text) override {
        lastText = &text;
        Parser parser(&counts);
        if (XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), XML_TRUE) != XML_STATUS_OK) {
            parser.fail();
        }
    }
    void readFile(const std::string& path) override {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
        if (!file) throw std::runtime_error("cannot open " + path);
        Parser parser(&counts);
        for (;;) {
            constexpr int blockSize = 64 * 1024;
            void* block = XML_GetBuffer(parser.get(), blockSize);
            if (block == nullptr) throw std::runtime_error("out of memory");
            const std::size_t got = std::fread(block, 1, blockSize, file.get());
            const bool last = got < static_cast<std::size_t>(blockSize);
            if (XML_ParseBuffer(parser.get(), static_cast<int>(got), last) != XML_STATUS_OK) parser.fail();
            if (last) break;
        }
    }

    Signature signature() override {
        if (lastText == nullptr) return {};
        Recorder recorder;
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetUserData(parser, &recorder);
        XML_SetElementHandler(parser, recordStart, recordEnd);
        XML_SetCharacterDataHandler(parser, recordText);
        XML_SetCommentHandler(parser, recordComment);
        XML_Parse(parser, lastText->data(), static_cast<int>(lastText->size()), XML_TRUE);
        XML_ParserFree(parser);
        SignatureBuilder builder;
        for (const Record& record : recorder.records) {
            builder.element(record.name, record.depth);
            for (const auto& [name, value] : record.attributes) builder.attribute(name, value);
            builder.text(record.text);
        }
        for (std::uint64_t depth : recorder.commentDepths) builder.comment(depth);
        return builder.finish();
    }

private:
    class Parser {
    public:
        explicit Parser(Counts* counts) : parser(XML_ParserCreate(nullptr)) {
            if (parser == nullptr) throw std::runtime_error("XML_ParserCreate failed");
            XML_SetUserData(parser, counts);
            XML_SetElementHandler(parser, countStart, countEnd);
            XML_SetCommentHandler(parser, countComment);
        }
        ~Parser() { XML_ParserFree(parser); }
        Parser(const Parser&) = delete;
        Parser& operator=(const Parser&) = delete;
        XML_Parser get() const { return parser; }
        [[noreturn]] void fail() const {
            throw std::runtime_error(std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
                                     std::to_string(XML_GetCurrentLineNumber(parser)));
        }

    private:
        XML_Parser parser;
    };

    Counts counts;
    std::string* lastText = nullptr;
};

}  // namespace

std::unique_ptr<Library> makeExpat() { return std::make_unique<ExpatLibrary>(); }

}  // namespace bench
