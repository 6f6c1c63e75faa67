#ifndef RKXML_PLATFORM_HELDLOCKS_H
#define RKXML_PLATFORM_HELDLOCKS_H

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

namespace rkxml_detail {
namespace platform {

// The files that this process holds a lock on, by device and file number, and how many FileLock objects lean
// on each: a second lock of the same file through another descriptor or handle would wait for the first forever.
class HeldLocks {
public:
    using File = std::pair<std::uint64_t, std::uint64_t>;

    // Whether this process holds a lock on `file`.
    static bool isHeld(File file) {
        const std::lock_guard<std::mutex> guard(mutex());
        return counts().count(file) != 0;
    }
    // Counts one more user of `file` if this process holds its lock already; false otherwise, counting nothing.
    static bool joinIfHeld(File file) {
        const std::lock_guard<std::mutex> guard(mutex());
        const auto found = counts().find(file);
        if (found == counts().end()) return false;
        ++found->second;
        return true;
    }
    // Counts one more user of `file`, whose lock this process has just taken.
    static void add(File file) {
        const std::lock_guard<std::mutex> guard(mutex());
        ++counts()[file];
    }
    // Counts one user of `file` less; after the last one, the caller releases the lock.
    static void release(File file) {
        const std::lock_guard<std::mutex> guard(mutex());
        const auto found = counts().find(file);
        if (found != counts().end() && --found->second == 0) counts().erase(found);
    }

private:
    static std::mutex& mutex() {
        static std::mutex held;
        return held;
    }
    static std::map<File, unsigned>& counts() {
        static std::map<File, unsigned> held;
        return held;
    }
};

}  // namespace platform
}  // namespace rkxml_detail

#endif
