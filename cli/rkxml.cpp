// rkxml: checks, formats, reads and edits XML settings files from the shell.
//
//   rkxml check FILE...                        the reader's diagnostics; exit 1 if a file fails or loses text
//   rkxml format [--check] FILE...             writes each file back in the library's layout
//   rkxml get FILE PATH                        prints a value, PATH like settings/window/@width
//   rkxml set FILE PATH VALUE                  sets a value, creating what is missing
//
// Files are read as other XML programs write them, values given and printed in UTF-8;
// --8bit serves files of the library's 8-bit mode. format writes a file back only where it
// proves that nothing but layout changes; set changes only the bytes of the value it sets
// and proves that nothing else changes. Both run one way through the steps: read (Reading.h),
// edit (Editing.h), splice (Splice.h) or lay out anew, prove (Proof.h), save.
// Exit status: 0 done, 1 a file failed, was refused or a value is missing, 2 bad usage.
// Messages go to stderr, data to stdout.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include <rkXMLDocument.h>
#include <rkXMLFStream.h>
#include <rkXMLHeader.h>
#include <rkXMLText.h>

#include "Editing.h"
#include "Messages.h"
#include "Proof.h"
#include "Reading.h"
#include "Splice.h"

namespace {

using namespace rkxml_cli;
using rkXMLFactory::PathSteps;
using rkXMLText::Charset;

enum ExitStatus { ok = 0, failed = 1, badUsage = 2 };

PathSteps pathArgument(const std::string& text) {
    PathSteps path;
    std::string problem;
    if (!rkXMLFactory::parsePath(text, path, problem)) throw CLI::ValidationError("PATH", problem);
    return path;
}

// In UTF-8 mode the program writes XML, as the library's writer does in that mode: the names of a PATH must
// be XML names.
void checkXmlNames(const PathSteps& path) {
    std::vector<std::string> names = path.elements;
    if (path.attribute) names.push_back(*path.attribute);
    for (const std::string& name : names) {
        if (!rkXMLText::isXmlName(name)) throw CLI::ValidationError("PATH", "'" + shown(name) + "' is not an XML name");
    }
}

// A VALUE must read back as given: UTF-8 in UTF-8 mode, of the characters that XML allows, an attribute's
// value without the tabs, carriage returns and line feeds that XML programs turn into blanks, and an element's
// value without the blanks, tabs and line feeds at its ends that the reader trims.
void checkValue(const std::string& value, const PathSteps& path, Mode mode) {
    if (mode == Mode::Utf8 && rkXMLText::firstNonUtf8(value)) {
        throw CLI::ValidationError("VALUE", "not UTF-8 (for a file of the library's 8-bit mode, use --8bit)");
    }
    if (mode == Mode::Utf8) checkXmlNames(path);
    if (mode == Mode::Utf8 && !rkXMLText::holdsOnlyXmlCharacters(value)) {
        throw CLI::ValidationError("VALUE",
                                   "holds a character that XML does not allow (a control character other "
                                   "than tab, carriage return and line feed, U+FFFE or U+FFFF)");
    }
    if (path.attribute && value.find_first_of("\t\r\n") != std::string::npos) {
        throw CLI::ValidationError("VALUE",
                                   "an attribute's value cannot hold a tab, carriage return or line feed: other "
                                   "XML programs read each as a blank");
    }
    const std::string trimmed = " \t\n";
    if (!path.attribute && !value.empty() &&
        (trimmed.find(value.front()) != std::string::npos || trimmed.find(value.back()) != std::string::npos)) {
        throw CLI::ValidationError("VALUE",
                                   "an element's value cannot begin or end with a blank, tab or line "
                                   "feed: the reader trims them");
    }
}

int checkFiles(const std::vector<std::string>& fileNames) {
    int status = ok;
    for (const std::string& fileName : fileNames) {
        rkXMLFStream stream = streamFor(Mode::Utf8);
        rkXMLDocument document;
        document.setFileName(fileName);
        std::string text;
        if (readFile(stream, document, text) != ReadResult::Read) {
            status = failed;
            continue;
        }
        // Every warning of the reader says that text was dropped.
        printDiagnostics(stream, fileName);
        if (!stream.getDiagnostics().empty()) status = failed;
    }
    return status;
}

struct Rewrite {
    Mode mode = Mode::Utf8;
    std::uint64_t maxSize = 0;   // refused when the written text would be larger
    bool checkOnly = false;      // change nothing; only tell whether the file would change
    const Edit* edit = nullptr;  // for set, which also creates a missing file; null for format
};

enum class Rewritten { Unchanged, Written, WouldChange, Failed };

bool withinBound(const Original& original, std::uint64_t size, std::uint64_t maxSize) {
    if (size <= maxSize) return true;
    return complain(shown(original.fileName) + ": refused: written back it would take at least " +
                    std::to_string(size) + " bytes, more than the bound of " + std::to_string(maxSize) +
                    " bytes (--max-size raises it)");
}

// The tree laid out anew, within the bound, or false after saying why the writer refuses it.
bool render(Original& original, std::uint64_t maxSize, std::string& text) {
    if (!withinBound(original, original.stream.writtenSizeAtLeast(original.document), maxSize)) return false;
    try {
        original.stream.writeDocumentToString(original.document, text);
        return true;
    } catch (const std::runtime_error& error) {
        return complain(shown(original.fileName) + ": " + error.what());
    }
}

// Writes `text` to the file, unless the file changed since it was read.
bool save(Original& original, const std::string& text) {
    try {
        if (original.stream.writeTextToFileIfUnchanged(original.fileName, text)) return true;
        return complain(shown(original.fileName) + " changed while it was being edited");
    } catch (const std::runtime_error& error) {
        return complain(error.what());
    }
}

// The text that `how` makes of the file: for set on a file that holds a top-level element, the file's bytes
// with the value spliced in; else the tree (with set's edit) laid out anew. False after saying why not.
bool made(Original& original, const Rewrite& how, std::string& text) {
    Edit edit;
    if (how.edit != nullptr && !makeEdit(original, *how.edit, edit)) return false;
    if (original.splices) {
        return splice(original, edit, text) && provesSplice(original, text) &&
               withinBound(original, text.size(), how.maxSize);
    }
    return render(original, how.maxSize, text) && provesLossless(original, text, how.edit != nullptr ? &edit : nullptr);
}

// Writes the file `fileName` back as `how` says, or says on stderr why not (Failed). A file whose bytes already
// are what would be written is not touched (Unchanged).
Rewritten rewriteFile(const std::string& fileName, const Rewrite& how) {
    Original original(fileName, how.mode);
    original.stream.setReadLimit(how.maxSize);
    // Editors that lock the file wait from the read to the save; a change by others shows at the save.
    const rkXMLFStream::FileLock lock(original.document);
    std::string text;
    if (!readForRewrite(original, how.edit != nullptr) || !made(original, how, text)) return Rewritten::Failed;
    if (original.exists && text == original.bytes) return Rewritten::Unchanged;
    if (how.checkOnly) return Rewritten::WouldChange;
    return save(original, text) ? Rewritten::Written : Rewritten::Failed;
}

int formatFiles(const std::vector<std::string>& fileNames, const Rewrite& how) {
    int status = ok;
    for (const std::string& fileName : fileNames) {
        switch (rewriteFile(fileName, how)) {
            case Rewritten::WouldChange:
                std::cout << fileName << '\n';
                status = failed;
                break;
            case Rewritten::Failed: status = failed; break;
            case Rewritten::Unchanged:
            case Rewritten::Written: break;
        }
    }
    return status;
}

// The value in UTF-8 (in the 8-bit mode as it stands), or false after saying why there is none.
bool printable(const std::string& fileName, Charset charset, const std::string& value, std::string& out) {
    if (charset == Charset::Latin1 || charset == Charset::Windows1252) {
        out = rkXMLText::toUtf8(value, charset);
        return true;
    }
    if (rkXMLText::firstNonUtf8(value)) {
        return complain(shown(fileName) + ": the value is not UTF-8; a file of the library's 8-bit mode needs --8bit");
    }
    out = value;
    return true;
}

int getValue(const std::string& fileName, const std::string& pathText, PathSteps path, Mode mode) {
    rkXMLFStream stream = streamFor(mode);
    rkXMLDocument document;
    document.setFileName(fileName);
    std::string text;
    if (readFile(stream, document, text) != ReadResult::Read) return failed;
    printDiagnostics(stream, fileName);
    const rkXMLHeader* header = document.getHeader();
    // A file read from UTF-16 gives UTF-8 values, whatever its declaration names.
    const bool asItStands =
        mode == Mode::EightBit || header == nullptr || stream.getTextForm() != rkXMLFStream::TextForm::Bytes;
    const Charset charset = asItStands ? Charset::Utf8 : rkXMLText::charsetNamed(header->getEncodingType());
    if (charset == Charset::Other) {
        complain(shown(fileName) + ": " + notConverted(header->getEncodingType()));
        return failed;
    }
    std::string unheld;
    if (mode == Mode::Utf8 && !convertPath(path, charset, unheld)) {
        complain(shown(fileName) + ": " + shown(pathText) + " not found (" + nameOf(charset) + " cannot hold '" +
                 shown(unheld) + "')");
        return failed;
    }
    const rkXMLElement* element = findElement(document, fileName, path);
    if (element == nullptr) return failed;
    if (path.attribute && !element->hasAttribute(*path.attribute)) {
        complain(shown(fileName) + ": " + shown(pathText) + " not found");
        return failed;
    }
    const std::string& value = path.attribute ? element->getAttributes().at(*path.attribute) : element->getValue();
    std::string shownValue = value;
    if (mode == Mode::Utf8 && !printable(fileName, charset, value, shownValue)) return failed;
    std::cout << shownValue << '\n';
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Checks, formats, reads and edits XML settings files.", "rkxml"};
    app.set_version_flag("--version", "rkxml " RKXML_VERSION);
    app.require_subcommand(1);
    app.footer(
        "Files are read as UTF-8 (or the ISO-8859-1, Windows-1252 or US-ASCII they declare, or UTF-16 with its\n"
        "byte order mark, which format and set refuse); values are given and printed in UTF-8. format writes a\n"
        "file back only if nothing but its layout would change; set changes only the bytes of the value it sets.\n"
        "Both refuse a file otherwise.\n"
        "Exit status: 0 done, 1 a file failed, was refused or a value is missing, 2 bad usage.");
    app.failure_message([](const CLI::App* failing, const CLI::Error& e) {
        return "rkxml: " + CLI::FailureMessage::simple(failing, e);
    });

    std::vector<std::string> fileNames;
    std::string fileName;
    std::string pathText;
    std::string value;
    bool eightBit = false;
    Rewrite how;
    how.maxSize = std::uint64_t{64} << 20;
    const std::string pathHelp =
        "Like settings/window/width or settings/window/@state: element names from "
        "the top-level element down (the first of each name), then an attribute";
    const std::string eightBitHelp =
        "For files of the library's 8-bit mode (its default): values given and printed as bytes";
    const std::string maxSizeHelp =
        "Refuse to write more than SIZE bytes (default 64M; the text of a deeply "
        "nested file grows with the square of its depth)";

    // A bound of no bytes would refuse every file, and a negative one is no way to say "no bound".
    const CLI::Validator atLeastOneByte(
        [](std::string& text) {
            const bool isSign = !text.empty() && (text.front() == '-' || text.front() == '+');
            return isSign || text.find_first_not_of("0 \t") == std::string::npos ? "must be at least one byte"
                                                                                 : std::string();
        },
        "");

    CLI::App* check = app.add_subcommand("check", "Read each file and print the reader's diagnostics");
    check->add_option("FILE", fileNames, "XML files")->required();

    CLI::App* format = app.add_subcommand("format", "Write each file back in the library's indented layout");
    format->add_option("FILE", fileNames, "XML files")->required();
    format->add_flag("--check", how.checkOnly, "Change nothing; list the files that would change and exit 1 if any");
    format->add_flag("--8bit", eightBit, eightBitHelp);
    format->add_option("--max-size", how.maxSize, maxSizeHelp)
        ->check(atLeastOneByte)
        ->transform(CLI::AsSizeValue(false));

    CLI::App* get = app.add_subcommand("get", "Print the value of an element or an attribute");
    get->add_option("FILE", fileName, "XML file")->required();
    get->add_option("PATH", pathText, pathHelp)->required();
    get->add_flag("--8bit", eightBit, eightBitHelp);

    CLI::App* set = app.add_subcommand("set", "Set the value of an element or an attribute, creating what is missing");
    set->add_option("FILE", fileName, "XML file; created when it does not exist")->required();
    set->add_option("PATH", pathText, pathHelp)->required();
    set->add_option("VALUE", value, "The new value (after -- if it starts with -)")->required();
    set->add_flag("--8bit", eightBit, eightBitHelp);
    set->add_option("--max-size", how.maxSize, maxSizeHelp)->check(atLeastOneByte)->transform(CLI::AsSizeValue(false));

    try {
        app.parse(argc, argv);
        how.mode = eightBit ? Mode::EightBit : Mode::Utf8;
        if (check->parsed()) return checkFiles(fileNames);
        if (format->parsed()) return formatFiles(fileNames, how);
        if (get->parsed()) return getValue(fileName, pathText, pathArgument(pathText), how.mode);
        const Edit edit{pathArgument(pathText), value};
        checkValue(value, edit.path, how.mode);
        how.edit = &edit;
        return rewriteFile(fileName, how) == Rewritten::Failed ? failed : ok;
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == ok ? ok : badUsage;
    } catch (const std::exception& e) {
        complain(e.what());
        return failed;
    }
}
