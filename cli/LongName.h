// File names longer than one system call takes (4,096 bytes on Linux): the library reaches such a
// file a directory at a time, and the program's own look at it does the same, by moving its working
// directory beside the file for the while. The program runs on one thread, so nothing else sees it.
#ifndef RKXML_CLI_LONG_NAME_H
#define RKXML_CLI_LONG_NAME_H

#include <filesystem>
#include <string>

namespace rkxml_cli {

class Beside {
public:
    // Moves beside `fileName` if its name is that long; where the move fails, the name stays whole
    // and the system says why it cannot be reached.
    explicit Beside(const std::string& fileName);
    // Moves back to the working directory it started in.
    ~Beside();
    Beside(const Beside&) = delete;
    Beside& operator=(const Beside&) = delete;

    // The name to reach the file by meanwhile: the whole name, or its last part after a move.
    const std::filesystem::path& name() const { return reachedBy; }

private:
    std::filesystem::path startedIn;  // empty when nothing moved
    std::filesystem::path reachedBy;
};

}  // namespace rkxml_cli

#endif
