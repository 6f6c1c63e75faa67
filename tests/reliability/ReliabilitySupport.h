// Helpers of the reliability tests: a scratch directory, whole-file access,
// child processes that may drop privileges, and sizes for slow builds.
#ifndef RKXML_TESTS_RELIABILITY_SUPPORT_H
#define RKXML_TESTS_RELIABILITY_SUPPORT_H

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <string>

#if defined(__has_include)
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif
#endif
#ifndef RUNNING_ON_VALGRIND
#define RUNNING_ON_VALGRIND 0
#endif

namespace reliability {

// A size for the big inputs: full in ordinary builds, a tenth with the
// sanitizers, a fiftieth under valgrind; the code under test is the same.
inline std::size_t scaled(std::size_t size) {
#if defined(RKXML_RELIABILITY_SMALL)
    return size / 10;
#else
    return RUNNING_ON_VALGRIND ? size / 50 : size;
#endif
}

// A fresh directory, removed with everything in it at the end. Its mode
// lets the unprivileged user of a child process in (see runInChild).
class ScratchDirectory {
public:
    ScratchDirectory() {
        namespace fs = std::filesystem;
        std::random_device random;
        do {
            path = (fs::temp_directory_path() / ("rkxml-reliability-" + std::to_string(random()))).string();
        } while (!fs::create_directory(path));
        fs::permissions(path, fs::perms::all);
    }
    ~ScratchDirectory() {
        namespace fs = std::filesystem;
        std::error_code ignored;
        // Read-only subdirectories would keep their entries, and Windows keeps read-only files.
        for (auto it = fs::recursive_directory_iterator(path, ignored); it != fs::recursive_directory_iterator();
             it.increment(ignored)) {
            if (!it->is_symlink(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string operator/(const std::string& name) const { return path + "/" + name; }
    const std::string& str() const { return path; }

private:
    std::string path;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The names in a directory.
inline std::set<std::string> entriesOf(const std::string& directory) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

#ifndef _WIN32
inline bool isRoot() { return geteuid() == 0; }

// The user a child drops to: the file system honours permissions for it.
constexpr uid_t unprivilegedUser = 65534;
constexpr gid_t unprivilegedGroup = 65534;

// Runs `body` in a child process, as the unprivileged user if we are root
// (root may write read-only files), and returns its exit status, or -1 if it
// did not exit normally. gtest assertions do not work in the child: `body`
// reports through the status it returns.
inline int runInChild(const std::function<int()>& body, bool dropPrivileges) {
    std::fflush(nullptr);  // or the child may print the parent's pending output again
    const pid_t child = fork();
    if (child == 0) {
        if (dropPrivileges && isRoot()) {
            if (setgroups(0, nullptr) != 0 || setgid(unprivilegedGroup) != 0 || setuid(unprivilegedUser) != 0) _exit(100);
        }
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace reliability

#endif
