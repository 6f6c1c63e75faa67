// A save grants nobody access that the old file did not give: its ACL and extended attributes go over to the
// replacement, and a directory's default ACL does not take the place of the file's own.
#include "tests/TestSupport.h"

#ifdef _WIN32
TEST(AccessKept, PosixOnly) { GTEST_SKIP() << "needs POSIX ACLs, extended attributes and users"; }
#else
#include <fcntl.h>

using namespace testing_support;

namespace {
const std::string earlierText = "<old>earlier text</old>";

constexpr uid_t namedUser = 1234;    // a user whom a file's ACL names
constexpr gid_t owningGroup = 4321;  // the file's group, to which its ACL gives nothing
constexpr uid_t groupMember = 5678;  // a member of that group

constexpr int opened = 0;
constexpr int refused = 1;

std::string quoted(const std::string& path) { return "'" + path + "'"; }

bool succeeds(const std::string& command) { return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()) == 0; }

// What a shell command prints on its standard output.
std::string outputOf(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, count);
        pclose(pipe);
    }
    return output;
}

// The file's ACL as getfacl shows it, with numeric ids.
std::string aclOf(const std::string& path) {
    return outputOf("getfacl --omit-header --numeric --absolute-names " + quoted(path));
}

// Every extended attribute of the file (its ACL too) as getfattr shows them, without the line naming the file.
std::string attributesOf(const std::string& path) {
    const std::string text = outputOf("getfattr --absolute-names --dump --match=- --encoding=hex " + quoted(path));
    return text.substr(text.find('\n') + 1);
}

// Whether `user`, a member of `group` alone, may open `path` with `flags`: opened, refused, or else why not known.
int openAs(uid_t user, gid_t group, const std::string& path, int flags) {
    return runInChild([&] {
        if (setgroups(1, &group) != 0 || setgid(group) != 0 || setuid(user) != 0) return 100;
        return ::open(path.c_str(), flags) >= 0 ? opened : refused;
    });
}

rkXMLDocument documentFor(const std::string& fileName) {
    rkXMLDocument document;
    document.setFileName(fileName);
    addElement(document.getRoot(), "saved", "new text");
    return document;
}

// Saves `file` as root, or as the second user who is also a member of the owning group.
std::string saveAs(bool secondUser, const std::string& file) {
    if (!secondUser) return saveError(documentFor(file));
    const int status = runInChild([&] {
        if (setgroups(1, &owningGroup) != 0 || setgid(otherGroup) != 0 || setuid(otherUser) != 0) return 100;
        return saveError(documentFor(file)) == "(no exception)" ? 0 : 1;
    });
    return status == 0 ? "(no exception)" : "(the second user's save ended with " + std::to_string(status) + ")";
}

// A file holding the earlier text with the owner, group and mode given.
void makeFile(const std::string& file, uid_t owner, gid_t group, mode_t mode) {
    writeFile(file, earlierText);
    ASSERT_EQ(chown(file.c_str(), owner, group), 0);
    ASSERT_EQ(chmod(file.c_str(), mode), 0);
}

class AccessKept : public ScratchTest {
protected:
    void SetUp() override {
        if (!isRoot()) GTEST_SKIP() << "playing a second user and other groups needs root";
        if (!succeeds("command -v setfacl && command -v getfacl")) {
            GTEST_SKIP() << "setfacl and getfacl (Debian package acl) are not installed";
        }
        const std::string probe = path("probe");
        writeFile(probe, "");
        if (!succeeds("setfacl -m u:" + std::to_string(namedUser) + ":r " + quoted(probe))) {
            GTEST_SKIP() << "the file system of " << scratch.str() << " has no ACLs";
        }
        fs::remove(probe);
    }

    void setAcl(const std::string& options, const std::string& file) {
        ASSERT_TRUE(succeeds("setfacl " + options + " " + quoted(file))) << options << " " << file;
    }
};
}  // namespace

TEST_F(AccessKept, OwnAclIsKeptAndTheGroupGainsNothing) {
    // A 0600 file that one more user may read and write: ls -l shows -rw-rw----+, its group having nothing.
    struct Case {
        const char* row;
        uid_t owner;
        uid_t named;
        bool savedBySecondUser;
        mode_t mode;
    };
    const Case cases[] = {
        {"root's file naming the second user, saved by root", 0, otherUser, false, 0600},
        {"the second user's file naming another user, saved by its owner", otherUser, namedUser, true, 0600},
        {"a setgid file", otherUser, namedUser, true, 02600},
    };
    for (const Case& c : cases) {
        const std::string file = path("acl.xml");
        makeFile(file, c.owner, owningGroup, c.mode);
        setAcl("-m u:" + std::to_string(c.named) + ":rw", file);
        const std::string aclBefore = aclOf(file);
        const auto modeBefore = fs::status(file).permissions();
        ASSERT_EQ(openAs(groupMember, owningGroup, file, O_RDONLY), refused) << c.row;

        EXPECT_EQ(saveAs(c.savedBySecondUser, file), "(no exception)") << c.row;
        EXPECT_EQ(readFile(file).substr(0, 7), "<saved>") << c.row;
        EXPECT_EQ(aclOf(file), aclBefore) << c.row;
        EXPECT_EQ(fs::status(file).permissions(), modeBefore) << c.row;  // the ACL's mask as the group's bits
        EXPECT_EQ(openAs(c.named, c.named, file, O_RDWR), opened) << c.row;
        EXPECT_EQ(openAs(groupMember, owningGroup, file, O_RDONLY), refused) << c.row;
        fs::remove(file);
    }
}

TEST_F(AccessKept, DirectoryDefaultAclDoesNotReplaceTheFileOwn) {
    // The directory gives every new file a default ACL that lets the second user read.
    const std::string directory = path("inheriting");
    ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
    setAcl("-d -m u:" + std::to_string(otherUser) + ":r", directory);
    // A 0640 file of root's group, without an ACL of its own: the second user could not read it.
    const std::string plain = directory + "/plain.xml";
    makeFile(plain, 0, 0, 0640);
    setAcl("-b", plain);
    ASSERT_EQ(openAs(otherUser, otherGroup, plain, O_RDONLY), refused);
    // A file with an ACL of its own, which names another user.
    const std::string own = directory + "/own.xml";
    makeFile(own, 0, owningGroup, 0600);
    setAcl("-b -m u:" + std::to_string(namedUser) + ":rw", own);
    const std::string plainAcl = aclOf(plain);
    const std::string ownAcl = aclOf(own);
    // A new file gets what any program's new file gets there.
    const std::string ordinary = directory + "/ordinary.xml";
    writeFile(ordinary, earlierText);
    const std::string fresh = directory + "/new.xml";

    for (const std::string& file : {plain, own, fresh}) EXPECT_EQ(saveAs(false, file), "(no exception)") << file;
    EXPECT_EQ(openAs(otherUser, otherGroup, plain, O_RDONLY), refused);
    EXPECT_EQ(aclOf(plain), plainAcl);
    EXPECT_EQ(aclOf(own), ownAcl);
    EXPECT_EQ(aclOf(fresh), aclOf(ordinary));
    EXPECT_EQ(openAs(otherUser, otherGroup, fresh, O_RDONLY), opened);
}

TEST_F(AccessKept, ExtendedAttributesAreKept) {
    if (!succeeds("command -v setfattr && command -v getfattr")) {
        GTEST_SKIP() << "setfattr and getfattr (Debian package attr) are not installed";
    }
    // The second user may not set a security label, so its own save goes on without it.
    struct Case {
        const char* row;
        bool savedBySecondUser;
        bool keepsSecurityLabel;
    };
    const Case cases[] = {
        {"saved by root", false, true},
        {"saved by its owner, the second user", true, false},
    };
    for (const Case& c : cases) {
        const std::string file = path("noted.xml");
        makeFile(file, c.savedBySecondUser ? otherUser : 0, owningGroup, 0640);
        if (!succeeds("setfattr -n user.origin -v 'settings tool' " + quoted(file))) {
            GTEST_SKIP() << "the file system of " << scratch.str() << " has no user extended attributes";
        }
        ASSERT_TRUE(succeeds("setfattr -n user.flag " + quoted(file)));  // an empty value
        const std::string userAttributes = attributesOf(file);
        const bool labelled = succeeds("setfattr -n security.rkxml-test -v label " + quoted(file));
        const std::string allAttributes = attributesOf(file);

        EXPECT_EQ(saveAs(c.savedBySecondUser, file), "(no exception)") << c.row;
        if (c.keepsSecurityLabel && !labelled) {
            std::cout << "no security label: this file system or security module does not let root set one\n";
        }
        EXPECT_EQ(attributesOf(file), c.keepsSecurityLabel ? allAttributes : userAttributes) << c.row;
        fs::remove(file);
    }
}
#endif
