// Where Windows differs from POSIX: read-only attributes, files held without sharing, devices, ANSI names.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <aclapi.h>  // after windows.h, which it needs

#include "platform/Platform.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
const std::string earlierText = "<old>earlier text</old>";

// Whether the file's access list lets its owner, the user who made it, in and nobody else but the system.
bool isPrivate(const std::string& name) {
    PSID owner = nullptr;
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(name.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &access, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    bool ownerAllowed = false;
    bool othersAllowed = access == nullptr;  // no list at all lets everyone in
    for (DWORD i = 0; access != nullptr && i < access->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(access, i, &entry) || static_cast<ACE_HEADER*>(entry)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        const PSID allowed = &static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart;
        const bool isOwner = EqualSid(allowed, owner);
        ownerAllowed = ownerAllowed || isOwner;
        othersAllowed = othersAllowed || (!isOwner && !IsWellKnownSid(allowed, WinLocalSystemSid));
    }
    LocalFree(descriptor);
    return ownerAllowed && !othersAllowed;
}
}  // namespace

using WindowsPlatform = DocumentInScratch;

TEST_F(WindowsPlatform, ReadOnlyTargetIsRefusedAndKept) {
    writeFile(target, earlierText);
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    expectRefused(target, cannotOpen(target), [&] { return saveError(smallDocument(target)); });
    EXPECT_NE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(isPrivate(target + ".log"));  // a new log: diagnostics quote the document's content

    // A read-only log is left as it is.
    ASSERT_TRUE(SetFileAttributesA((target + ".log").c_str(), FILE_ATTRIBUTE_READONLY));
    rkXMLDocument unwritable = smallDocument(target);
    unwritable.getRoot()->setName("root");
    EXPECT_EQ(saveError(unwritable), "Error: tree root is not named ?root?");
    EXPECT_EQ(readFile(target + ".log"), cannotOpen(target));
}

TEST_F(WindowsPlatform, TargetHeldWithoutSharingIsRefusedAndKept) {
    writeFile(target, earlierText);
    {
        // Held without sharing, as editors and virus scanners do, only once the new text is written: putting
        // it in place fails, and the temporary file, private until then, goes.
        rkxml_detail::platform::FileReplacement replacement(target);
        ASSERT_TRUE(replacement.open());
        ASSERT_TRUE(replacement.write("<new/>"));
        std::set<std::string> temporaries = scratch.entries();
        temporaries.erase("doc.xml");
        ASSERT_EQ(temporaries.size(), 1u);
        EXPECT_TRUE(isPrivate(path(*temporaries.begin())));
        const HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(replacement.commit(), rkxml_detail::platform::FileReplacement::Committed::Failed);
        expectRefused(target, cannotOpen(target), [&] { return saveError(smallDocument(target)); });  // held at once
        CloseHandle(held);
    }
    EXPECT_EQ(readFile(target), earlierText);
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"doc.xml", "doc.xml.log"}));
}

TEST_F(WindowsPlatform, NamesOfNoFileAreRefused) {
    fs::create_directory(path("folder"));
    for (const std::string& name : {path("missing\\data.xml"), path("folder"), path("sub\\")}) {
        SCOPED_TRACE(name);
        expectRefused(name, cannotOpen(name), [&] { return saveError(smallDocument(name)); });
    }
}

TEST_F(WindowsPlatform, NulIsWrittenInPlace) {
    rkXMLDocument nul = smallDocument("NUL");
    EXPECT_EQ(saveError(nul), "(no exception)");  // a rename onto the device would fail
    rkXMLFStream().readDocument(nul);             // empty: nothing is added
    EXPECT_EQ(describe(nul.getRoot()), "?root?(<?xml version=\"1.0\" ?>,data(entry'new & text'))");
}

TEST_F(WindowsPlatform, NameWithAWindows1252Byte) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs the ANSI code page Windows-1252";
    const std::string name = path("b\xE4r.xml");
    for (const char* text : {"first", "second \xE4"}) {  // a new file, then one replaced
        SCOPED_TRACE(text);
        ASSERT_EQ(saveError(smallDocument(name, text)), "(no exception)");
        document.setFileName(name);
        document.makeEmpty();
        rkXMLFStream().readDocument(document);
        EXPECT_EQ(describe(document.getTopLevelElement()), std::string("data(entry'") + text + "')");
    }
    // The system knows the file by the Unicode name of those bytes, and nothing else is there.
    EXPECT_TRUE(fs::exists(fs::path(scratch.str()) / L"b\u00e4r.xml"));
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.str()), fs::directory_iterator()), 1);
}
