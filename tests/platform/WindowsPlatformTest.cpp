// Saving and reading where Windows differs from POSIX: read-only attributes,
// files held open without sharing, devices, and names in the ANSI code page.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <aclapi.h>  // after windows.h, which it needs
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

using rkxml_detail::platform::FileReplacement;

const std::string earlierText = "<old>earlier text</old>";
const std::string saved = "(no exception)";

// A document for `fileName` that is written as <saved>text</saved>.
rkXMLDocument documentWith(const std::string& fileName, const std::string& text) {
    rkXMLDocument document;
    document.setFileName(fileName);
    addElement(document.getRoot(), "saved", text);
    return document;
}

// Holds a file open without sharing it, as some editors and virus scanners do.
class HeldFile {
public:
    explicit HeldFile(const std::string& name)
        : handle(CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldFile() {
        if (held()) CloseHandle(handle);
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool held() const { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle;
};

// Whether the file's access list lets the current user in and nobody else but the
// system itself.
bool isPrivate(const std::string& name) {
    HANDLE token = nullptr;
    std::vector<unsigned char> user(256);
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const bool known = GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size);
    CloseHandle(token);
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!known || GetNamedSecurityInfoA(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        &access, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const PSID self = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    bool userAllowed = false;
    bool othersAllowed = access == nullptr;  // no list at all lets everyone in
    for (DWORD i = 0; access != nullptr && i < access->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(access, i, &entry) || static_cast<ACE_HEADER*>(entry)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        const PSID allowed = &static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart;
        if (EqualSid(allowed, self)) {
            userAllowed = true;
        } else if (!IsWellKnownSid(allowed, WinLocalSystemSid)) {
            othersAllowed = true;
        }
    }
    LocalFree(descriptor);
    return userAllowed && !othersAllowed;
}

}  // namespace

using WindowsPlatform = ScratchTest;

TEST_F(WindowsPlatform, ReadOnlyTargetIsRefusedAndKept) {
    const std::string target = path("locked.xml");
    writeFile(target, earlierText);
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(saveError(documentWith(target, "new")), cannotOpen(target));
    EXPECT_EQ(readFile(target), earlierText);
    EXPECT_NE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"locked.xml", "locked.xml.log"}));
    EXPECT_TRUE(isPrivate(target + ".log"));  // a new log: diagnostics quote the document's content

    // A read-only log is left as it is.
    ASSERT_TRUE(SetFileAttributesA((target + ".log").c_str(), FILE_ATTRIBUTE_READONLY));
    rkXMLDocument unwritable = documentWith(target, "new");
    unwritable.getRoot()->setName("root");
    EXPECT_EQ(saveError(unwritable), "Error: tree root is not named ?root?");
    EXPECT_EQ(readFile(target + ".log"), cannotOpen(target));
}

TEST_F(WindowsPlatform, TargetHeldWithoutSharingIsRefusedAndKept) {
    const std::string target = path("held.xml");
    writeFile(target, earlierText);
    {
        const HeldFile held(target);
        ASSERT_TRUE(held.held());
        EXPECT_EQ(saveError(documentWith(target, "new")), cannotOpen(target));
    }
    EXPECT_EQ(readFile(target), earlierText);

    // Held only once the new text is written: putting it in place fails, and the
    // temporary file, private until then, goes.
    {
        FileReplacement replacement(target);
        ASSERT_TRUE(replacement.open());
        ASSERT_TRUE(replacement.write("<new/>"));
        std::vector<std::string> temporaries;
        for (const std::string& name : scratch.entries()) {
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) temporaries.push_back(name);
        }
        ASSERT_EQ(temporaries.size(), 1u);
        EXPECT_TRUE(isPrivate(path(temporaries.front())));
        const HeldFile held(target);
        ASSERT_TRUE(held.held());
        EXPECT_FALSE(replacement.commit());
    }
    EXPECT_EQ(readFile(target), earlierText);
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"held.xml", "held.xml.log"}));

    // Let go, it is replaced.
    EXPECT_EQ(saveError(documentWith(target, "new")), saved);
    EXPECT_EQ(readFile(target), "<saved>new</saved>");
}

TEST_F(WindowsPlatform, NamesOfNoFileAreRefused) {
    for (const std::string& name : {path("missing\\data.xml"), scratch.str(), path("sub\\")}) {
        EXPECT_EQ(saveError(documentWith(name, "new")), cannotOpen(name));
    }
    EXPECT_EQ(scratch.entries(), std::set<std::string>{});
}

TEST_F(WindowsPlatform, NulIsWrittenInPlace) {
    FileReplacement nul("NUL");
    ASSERT_TRUE(nul.open());
    EXPECT_TRUE(nul.writesInPlace());
    EXPECT_TRUE(nul.write("<a/>"));
    EXPECT_TRUE(nul.commit());

    EXPECT_EQ(saveError(documentWith("NUL", "text")), saved);
    rkXMLDocument document;
    document.setFileName("NUL");
    rkXMLFStream().readDocument(document);  // empty
    EXPECT_EQ(document.getTopLevelElement(), nullptr);
}

TEST_F(WindowsPlatform, NameWithAWindows1252Byte) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs the ANSI code page Windows-1252";
    const std::string target = path("b\xE4r.xml");
    for (const char* text : {"first", "second \xE4"}) {  // a new file, then one replaced
        ASSERT_EQ(saveError(documentWith(target, text)), saved);
        rkXMLDocument document;
        document.setFileName(target);
        rkXMLFStream().readDocument(document);
        EXPECT_EQ(element(document.getTopLevelElement())->getValue(), text);
    }
    // The system knows the file by the Unicode name of those bytes, and nothing else is there.
    const std::wstring wide = fs::path(scratch.str()).wstring() + L"\\b\u00e4r.xml";
    EXPECT_NE(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.str()), fs::directory_iterator()), 1);
}
