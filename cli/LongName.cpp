#include "LongName.h"

#include <system_error>

namespace rkxml_cli {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t longName = 4096;  // from this length on a name is reached in pieces
constexpr std::size_t pieceSize = 2048;

// Moves the working directory to `directory` in pieces shorter than pieceSize; false where a piece
// cannot be entered.
bool moveTo(const fs::path& directory) {
    std::error_code code;
    fs::path piece;
    for (const fs::path& part : directory) {
        if (!piece.empty() && piece.native().size() + part.native().size() >= pieceSize) {
            fs::current_path(piece, code);
            if (code) return false;
            piece.clear();
        }
        piece /= part;
    }
    if (!piece.empty()) fs::current_path(piece, code);
    return !code;
}

}  // namespace

Beside::Beside(const std::string& fileName) : reachedBy(fileName) {
    if (fileName.size() < longName) return;
    std::error_code code;
    fs::path current = fs::current_path(code);
    if (code) return;
    startedIn = std::move(current);
    if (moveTo(reachedBy.parent_path())) {
        reachedBy = reachedBy.filename();
    } else {
        moveTo(startedIn);  // a part of the way may have been walked
        startedIn.clear();
    }
}

Beside::~Beside() {
    if (!startedIn.empty()) moveTo(startedIn);
}

}  // namespace rkxml_cli
