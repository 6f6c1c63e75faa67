// A save grants nobody access that the old file did not give and takes none away: its owner, group, ACL and
// extended attributes go over to the replacement, or, where they cannot, the old file itself is written; and a
// directory's default ACL does not take the place of the file's own.
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
constexpr uid_t namedUser = 1234;    // a user whom a file's ACL names
constexpr gid_t owningGroup = 4321;  // the file's group, to which its ACL gives nothing
const User groupMember{5678, owningGroup, {owningGroup}};
const User secondUserInGroup{secondUser.uid, secondUser.gid, {owningGroup}};  // the owner of some files

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

// Whether `user` may open `path` for reading (O_RDONLY) or for reading and writing (O_RDWR).
bool mayOpen(const User& user, const std::string& path, int flags) {
    return runInChild([&] { return ::open(path.c_str(), flags) >= 0 ? 0 : 1; }, user) == 0;
}

// Saves `file` as root, or as `user`.
std::string saveAs(const std::optional<User>& user, const std::string& file) {
    rkXMLDocument document = smallDocument(file);
    return user ? saveErrorInChild(document, user) : saveError(document);
}

class AccessKept : public DocumentInScratch {
protected:
    void SetUp() override {
        if (!isRoot()) GTEST_SKIP() << "playing a second user and other groups needs root";
        if (!succeeds("command -v setfacl && command -v getfacl")) {
            GTEST_SKIP() << "setfacl and getfacl (Debian package acl) are not installed";
        }
        writeFile(target, "");
        if (!succeeds("setfacl -m u:" + std::to_string(namedUser) + ":r " + quoted(target))) {
            GTEST_SKIP() << "the file system of " << scratch.str() << " has no ACLs";
        }
        fs::remove(target);
    }

    // A file holding an earlier text with the owner, group and mode given, and, unless empty, this ACL.
    void makeFile(const std::string& file, uid_t owner, gid_t group, mode_t mode, const std::string& acl = "") {
        writeFile(file, "<old>earlier text</old>");
        ASSERT_EQ(chown(file.c_str(), owner, group), 0);
        ASSERT_EQ(chmod(file.c_str(), mode), 0);
        if (!acl.empty()) {
            ASSERT_TRUE(succeeds("setfacl " + acl + " " + quoted(file))) << acl;
        }
    }
};
}  // namespace

TEST_F(AccessKept, OwnAclIsKeptAndTheGroupGainsNothing) {
    // A file that one more user may read and write: ls -l shows -rw-rw----+, its group having nothing.
    const struct {
        const char* name;
        uid_t owner;
        gid_t group;
        uid_t named;
        std::optional<User> savedBy;
        mode_t mode;
    } rows[] = {
        {"root's file naming the second user, saved by root", 0, owningGroup, secondUser.uid, std::nullopt, 0600},
        {"the second user's file naming another user, saved by its owner", secondUser.uid, owningGroup, namedUser,
         secondUserInGroup, 0600},
        {"a setgid file", secondUser.uid, owningGroup, namedUser, secondUserInGroup, 02600},
        // owner:owner 0640: the save must not make it the second user's, readable by the second user's group.
        {"another user's file naming the second user, saved by the second user", namedUser, namedUser, secondUser.uid,
         secondUser, 0640},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        makeFile(target, row.owner, row.group, row.mode, "-m u:" + std::to_string(row.named) + ":rw");
        const std::string aclBefore = aclOf(target);
        const auto modeBefore = fs::status(target).permissions();
        ASSERT_FALSE(mayOpen(groupMember, target, O_RDONLY));

        EXPECT_EQ(saveAs(row.savedBy, target), noException);
        EXPECT_EQ(readFile(target), textOf(smallDocument(target)));
        struct stat status {};
        ASSERT_EQ(stat(target.c_str(), &status), 0);
        EXPECT_EQ(status.st_uid, row.owner);
        EXPECT_EQ(status.st_gid, row.group);
        EXPECT_TRUE(mayOpen(User{row.owner, row.group, {}}, target, O_RDWR));
        EXPECT_EQ(aclOf(target), aclBefore);
        EXPECT_EQ(fs::status(target).permissions(), modeBefore);  // the ACL's mask as the group's bits
        EXPECT_TRUE(mayOpen(User{row.named, row.named, {}}, target, O_RDWR));
        EXPECT_FALSE(mayOpen(groupMember, target, O_RDONLY));
        fs::remove(target);
    }
}

// Writing into the old file puts the complete text beside it first; a copy left by a save that did not end
// is the only whole text there may be, so it stays, and the file is not written until it is dealt with.
TEST_F(AccessKept, RecoveryCopyOfAnUnfinishedSaveIsKept) {
    makeFile(target, namedUser, namedUser, 0660, "-m u:" + std::to_string(secondUser.uid) + ":rw");
    const std::string copy = path(".doc.xml.rkxml-copy");
    writeFile(copy, "<complete>text</complete>");
    EXPECT_EQ(saveAs(secondUser, target), "Error: writing '" + target + "' failed.");
    EXPECT_EQ(readFile(copy), "<complete>text</complete>");
    EXPECT_EQ(readFile(target), "<old>earlier text</old>");
    fs::remove(copy);
    EXPECT_EQ(saveAs(secondUser, target), noException);
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"doc.xml", "doc.xml.log"}));  // the log of the refusal
}

TEST_F(AccessKept, DirectoryDefaultAclDoesNotReplaceTheFileOwn) {
    // The directory gives every new file a default ACL that lets the second user read.
    const std::string directory = path("inheriting");
    ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
    ASSERT_TRUE(succeeds("setfacl -d -m u:" + std::to_string(secondUser.uid) + ":r " + quoted(directory)));
    // A 0640 file of root's group, without an ACL of its own: the second user could not read it.
    const std::string plain = directory + "/plain.xml";
    makeFile(plain, 0, 0, 0640, "-b");
    ASSERT_FALSE(mayOpen(secondUser, plain, O_RDONLY));
    // A file with an ACL of its own, which names another user.
    const std::string own = directory + "/own.xml";
    makeFile(own, 0, owningGroup, 0600, "-b -m u:" + std::to_string(namedUser) + ":rw");
    const std::string plainAcl = aclOf(plain);
    const std::string ownAcl = aclOf(own);
    // A new file gets what any program's new file gets there.
    const std::string ordinary = directory + "/ordinary.xml";
    writeFile(ordinary, "");
    const std::string fresh = directory + "/new.xml";

    for (const std::string& file : {plain, own, fresh}) EXPECT_EQ(saveAs(std::nullopt, file), noException) << file;
    EXPECT_FALSE(mayOpen(secondUser, plain, O_RDONLY));
    EXPECT_EQ(aclOf(plain), plainAcl);
    EXPECT_EQ(aclOf(own), ownAcl);
    EXPECT_EQ(aclOf(fresh), aclOf(ordinary));
    EXPECT_TRUE(mayOpen(secondUser, fresh, O_RDONLY));
}

TEST_F(AccessKept, ExtendedAttributesAreKept) {
    if (!succeeds("command -v setfattr && command -v getfattr")) {
        GTEST_SKIP() << "setfattr and getfattr (Debian package attr) are not installed";
    }
    // The second user may neither set a security label nor see a trusted attribute: its save writes into the file.
    const struct {
        const char* name;
        std::optional<User> savedBy;
    } rows[] = {{"saved by root", std::nullopt}, {"saved by its owner, the second user", secondUserInGroup}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        makeFile(target, row.savedBy ? secondUser.uid : 0, owningGroup, 0640);
        if (!succeeds("setfattr -n user.origin -v 'settings tool' " + quoted(target))) {
            GTEST_SKIP() << "the file system of " << scratch.str() << " has no user extended attributes";
        }
        ASSERT_TRUE(succeeds("setfattr -n user.flag " + quoted(target)));  // an empty value
        const std::string userAttributes = attributesOf(target);
        const bool labelled = succeeds("setfattr -n security.rkxml-test -v label " + quoted(target));
        const bool trusted = succeeds("setfattr -n trusted.rkxml-test -v kept " + quoted(target));
        const std::string allAttributes = attributesOf(target);

        EXPECT_EQ(saveAs(row.savedBy, target), noException);
        if (!labelled || !trusted) {
            std::cout << "no security label or trusted attribute: this file system does not let root set one\n";
        }
        EXPECT_EQ(attributesOf(target), allAttributes);
        EXPECT_EQ(readFile(target), textOf(smallDocument(target)));
        fs::remove(target);
    }
}
