// The scanning limit: finding every "<" of the input with memchr and nothing else.
#include <cstring>
#include <string>

#include "Library.h"

namespace bench {
namespace {

std::uint64_t countTags(const std::string& text) {
    std::uint64_t count = 0;
    const char* at = text.data();
    const char* const end = at + text.size();
    while (at < end) {
        const void* found = std::memchr(at, '<', static_cast<std::size_t>(end - at));
        if (found == nullptr) break;
        ++count;
        at = static_cast<const char*>(found) + 1;
    }
    return count;
}

class MemchrLibrary : public Library {
public:
    std::string name() const override { return "memchr"; }
    std::string settings() const override { return "memchr for every '<' of the input; files read whole first"; }
    unsigned operations() const override { return ReadMemory | ReadFile; }

    void readMemory(std::string& text) override { tags = countTags(text); }
    void readFile(const std::string& path) override { tags = countTags(readWholeFile(path)); }
    Signature signature() override {
        Signature counted;
        counted.elements = tags;
        return counted;
    }

private:
    std::uint64_t tags = 0;
};

}  // namespace

std::unique_ptr<Library> makeMemchr() { return std::make_unique<MemchrLibrary>(); }

}  // namespace bench
