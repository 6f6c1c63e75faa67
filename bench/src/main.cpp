// rkxml_bench: reads, destroys, writes and reads back every corpus with every
// library, and reports medians, MB/s, ratios to pugixml and peak memory.
//
// Each (library, corpus) pair first runs alone in a fresh process of this same
// program (--child): that run gives the cold first parse and the peak memory,
// and it isolates a library that crashes or refuses a corpus. Only a pair that
// came through is then timed in rounds in this process, where the heap is
// reused between rounds.
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Library.h"
#include "Report.h"

extern char** environ;

namespace bench {
namespace {

// Freed memory stays in the heap, so that rounds after the first do not pay
// for first touches of fresh pages, which are slow on some machines.
constexpr const char* heapTunables = "glibc.malloc.mmap_max=0:glibc.malloc.trim_threshold=68719476736";
const std::vector<std::string> knownCorpora{"config", "text", "attr", "wide", "deep", "real"};

struct Options {
    std::string corpusDirectory;
    std::vector<std::string> corpora;
    std::vector<std::string> libraries;
    int runs = 5;
    bool warmUp = true;
    std::string resultsDirectory;
    std::string scratchDirectory;
    double maxColdSeconds = 30;
    unsigned childCpuSeconds = 600;
    double writeGuard = 16;
    bool strict = false;
    bool keepHeap = true;
    bool cpuClock = false;
    // --child LIBRARY FILE
    bool child = false;
    std::string childLibrary;
    std::string childCorpus;
    std::string childOutput;  // --output: where the child writes
};

[[noreturn]] void usage(const char* problem) {
    if (problem != nullptr) std::cerr << "rkxml_bench: " << problem << "\n";
    std::cerr << "usage: rkxml_bench --corpus DIR [options]\n"
                 "  --corpus DIR         folder with the corpus files (NAME.xml), made by gen_corpus.py\n"
                 "  --corpora A,B        corpora to run (default: config,text,attr,wide,deep,real, those present)\n"
                 "  --libraries A,B      libraries to run (default: all that were built)\n"
                 "  --runs N             timed rounds per library and corpus (default 5)\n"
                 "  --no-warm-up         no untimed round before the timed ones\n"
                 "  --results DIR        write results.md, results.csv, read.dat and write.dat there\n"
                 "  --scratch DIR        folder for written files (default: a new folder in TMPDIR)\n"
                 "  --max-cold-seconds S time no rounds for a pair whose first read took longer (default 30)\n"
                 "  --write-guard F      write no file whose indentation alone would exceed F times the\n"
                 "                       input (default 16)\n"
                 "  --strict             exit 1 when rkxml fails, crashes or gives a different tree\n"
                 "  --clock wall|cpu     tables from wall-clock time (default) or from the CPU time of\n"
                 "                       the thread, steadier on a machine busy with other work\n"
                 "  --default-heap       keep the allocator's default settings\n";
    std::exit(2);
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) {
        if (!item.empty()) items.push_back(item);
    }
    return items;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(("missing value after " + arg).c_str());
            return argv[++i];
        };
        if (arg == "--corpus") options.corpusDirectory = value();
        else if (arg == "--corpora") options.corpora = splitList(value());
        else if (arg == "--libraries") options.libraries = splitList(value());
        else if (arg == "--runs") options.runs = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--no-warm-up") options.warmUp = false;
        else if (arg == "--results") options.resultsDirectory = value();
        else if (arg == "--scratch") options.scratchDirectory = value();
        else if (arg == "--max-cold-seconds") options.maxColdSeconds = std::atof(value().c_str());
        else if (arg == "--write-guard") options.writeGuard = std::atof(value().c_str());
        else if (arg == "--strict") options.strict = true;
        else if (arg == "--default-heap") options.keepHeap = false;
        else if (arg == "--clock") {
            const std::string clock = value();
            if (clock != "wall" && clock != "cpu") usage("--clock takes wall or cpu");
            options.cpuClock = clock == "cpu";
        }
        else if (arg == "--output") options.childOutput = value();
        else if (arg == "--child-cpu-seconds") options.childCpuSeconds = static_cast<unsigned>(std::atoi(value().c_str()));
        else if (arg == "--child") {
            options.child = true;
            options.childLibrary = value();
            options.childCorpus = value();
        } else if (arg == "--help" || arg == "-h") usage(nullptr);
        else usage(("unknown option " + arg).c_str());
    }
    if (!options.child && options.corpusDirectory.empty()) usage("--corpus is required");
    return options;
}

// Restarts the program with the heap settings in place; they are read only at start-up.
void ensureHeapTunables(char** argv) {
    const char* current = std::getenv("GLIBC_TUNABLES");
    if (current != nullptr && std::strstr(current, "mmap_max=0") != nullptr) return;
    std::string value = heapTunables;
    if (current != nullptr && *current != '\0') value = std::string(current) + ":" + value;
    setenv("GLIBC_TUNABLES", value.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("rkxml_bench: restarting with GLIBC_TUNABLES failed; going on without");
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Wall-clock time and the CPU time of this thread: on a machine shared with other
// work the second is the steadier one, while the first also holds waits for the disk.
struct Sample {
    double wall;
    double cpu;
};

template <typename Work>
Sample timed(Work&& work) {
    const double cpuStart = threadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    work();
    return {secondsSince(start), threadCpuSeconds() - cpuStart};
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

const LibraryEntry* findLibrary(const std::string& name) {
    for (const LibraryEntry& entry : knownLibraries()) {
        if (name == entry.name) return &entry;
    }
    return nullptr;
}

// A field of /proc/self/status, in bytes.
std::uint64_t statusBytes(const char* field) {
    std::ifstream in("/proc/self/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0) return std::strtoull(line.c_str() + prefix.size(), nullptr, 10) * 1024;
    }
    return 0;
}

std::string oneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

std::string describeDifference(const Signature& own, const Signature& reference, const std::string& referenceName) {
    if (own.sameTree(reference)) return "same as " + referenceName;
    std::ostringstream text;
    text << "differs from " << referenceName << ":";
    if (own.elements != reference.elements) text << " elements " << own.elements << " vs " << reference.elements << ";";
    if (own.attributes != reference.attributes) {
        text << " attributes " << own.attributes << " vs " << reference.attributes << ";";
    }
    if (own.comments != reference.comments) text << " comments " << own.comments << " vs " << reference.comments << ";";
    if (own.nameHash != reference.nameHash) text << " names;";
    if (own.attributeHash != reference.attributeHash) text << " attribute values;";
    if (own.valueHash != reference.valueHash) text << " element values;";
    std::string result = text.str();
    result.pop_back();
    return result;
}

std::uint64_t fileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

std::string megabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f MB", bytes / 1e6);
    return text;
}


// ---- the child: one library on one corpus, in a fresh process -------------

// Lines to the parent, one fact each, flushed at once so that what came before a crash arrives.
class ToParent {
public:
    template <typename... Parts>
    void line(const Parts&... parts) {
        (std::cout << ... << parts) << std::endl;
    }
};

int runChild(const Options& options) {
    rlimit cpu{options.childCpuSeconds, options.childCpuSeconds + 5};
    setrlimit(RLIMIT_CPU, &cpu);
    ToParent parent;
    const LibraryEntry* entry = findLibrary(options.childLibrary);
    if (entry == nullptr || entry->make == nullptr) {
        parent.line("status failed");
        parent.line("message not built");
        std::_Exit(0);
    }
    std::string text = readWholeFile(options.childCorpus);
    std::unique_ptr<Library> library = entry->make();
    const std::string& output = options.childOutput;
    std::string stage;
    auto enter = [&](const char* name) {
        stage = name;
        parent.line("stage ", name);
    };
    try {
        enter("prepare");
        library->prepare(text);
        // Return what preparing freed, so that the read below meets fresh memory as a first read does.
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current resident set
        const std::uint64_t before = statusBytes("VmRSS");
        enter("the first read");
        const Sample cold = timed([&] { library->readMemory(text); });
        const std::uint64_t peak = statusBytes("VmHWM");
        enter("signature");
        const Signature s = library->signature();
        parent.line("status ok");
        parent.line("cold ", cold.wall, " ", cold.cpu);
        parent.line("peak ", peak > before ? peak - before : 0);
        parent.line("signature ", s.elements, " ", s.attributes, " ", s.comments, " ", s.maxDepth, " ",
                    s.indentUnits, " ", s.nameHash, " ", s.attributeHash, " ", s.valueHash);

        const unsigned operations = library->operations();
        bool canWrite = (operations & Write) != 0;
        const double indentBytes = static_cast<double>(s.indentUnits);
        if (canWrite && indentBytes > options.writeGuard * static_cast<double>(text.size())) {
            canWrite = false;
            parent.line("note ", operationIndex(Write),
                        " not written: one indentation unit per level makes the output at least ",
                        megabytes(indentBytes), " (depth ", s.maxDepth, ")");
        }
        if (cold.wall > options.maxColdSeconds) {
            for (Operation operation : reportedOperations) {
                if ((operations & operation) != 0) {
                    parent.line("note ", operationIndex(operation), " no rounds: the first read took ", cold.wall,
                                " s");
                }
            }
            parent.line("done");
            std::_Exit(0);
        }
        enter("destroy");
        library->destroy();

        const int rounds = options.runs + (options.warmUp ? 1 : 0);
        for (int round = 0; round < rounds; ++round) {
            const bool counted = round >= rounds - options.runs;
            auto record = [&](Operation operation, Sample sample) {
                if (counted) parent.line("sample ", operationIndex(operation), " ", sample.wall, " ", sample.cpu);
            };
            enter("read from memory");
            record(ReadMemory, timed([&] { library->readMemory(text); }));
            if (canWrite) {
                enter("write");
                try {
                    record(Write, timed([&] { library->write(output); }));
                    if (counted) parent.line("bytes ", operationIndex(Write), " ", fileSize(output));
                } catch (const std::exception& error) {
                    canWrite = false;
                    parent.line("note ", operationIndex(Write), " failed: ", oneLine(error.what()));
                }
            }
            if ((operations & Destroy) != 0) {
                enter("destroy");
                record(Destroy, timed([&] { library->destroy(); }));
            }
            if ((operations & ReadFile) != 0) {
                enter("read from file");
                record(ReadFile, timed([&] { library->readFile(options.childCorpus); }));
                library->destroy();
            }
        }
        if (canWrite) {
            // What the library wrote must read back into the same tree.
            enter("reading back the written file");
            library->readFile(output);
            const Signature back = library->signature();
            library->destroy();
            parent.line("roundtrip ", back.sameTree(s) ? "same" : describeDifference(back, s, "read"));
        }
    } catch (const Refused& refused) {
        parent.line("status refused");
        parent.line("message ", oneLine(refused.what()));
    } catch (const std::exception& error) {
        parent.line("failure ", stage == "the first read" ? std::string() : "in " + stage + ": ",
                    oneLine(error.what()));
    }
    std::remove(output.c_str());
    std::remove((output + ".log").c_str());
    parent.line("done");
    // The tree, if any is left, is not destroyed: the process ends here anyway.
    std::_Exit(0);
}

std::string signalName(int signal) {
    const char* name = strsignal(signal);
    std::string text = name != nullptr ? name : "signal " + std::to_string(signal);
    if (signal == SIGSEGV) text += " (stack overflow or bad access)";
    if (signal == SIGXCPU) text += " (CPU time limit)";
    return text;
}

// Runs one library on one corpus in a child and turns what it reports into a row.
Row runPair(const Options& options, const std::string& library, const std::string& corpus, const std::string& path,
            const std::string& scratch) {
    Row row;
    row.corpus = corpus;
    row.library = library;
    row.inputBytes = fileSize(path);
    row.hasTree = library != "memchr" && library != "expat";
    row.cpuClock = options.cpuClock;
    row.status = Status::Failed;

    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        row.message = "cannot create a pipe";
        return row;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<std::string> args{"rkxml_bench", "--child", library, path,
                                  "--output", scratch + "/" + library + "-" + corpus + ".xml",
                                  "--runs", std::to_string(options.runs),
                                  "--write-guard", std::to_string(options.writeGuard),
                                  "--max-cold-seconds", std::to_string(options.maxColdSeconds),
                                  "--child-cpu-seconds", std::to_string(options.childCpuSeconds)};
    if (!options.warmUp) args.emplace_back("--no-warm-up");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        row.message = std::string("cannot start a child: ") + std::strerror(spawned);
        return row;
    }
    std::string output;
    char block[4096];
    for (ssize_t got; (got = read(pipeEnds[0], block, sizeof block)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        output.append(block, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }

    const unsigned operations = findLibrary(library)->make()->operations();
    for (Operation operation : reportedOperations) {
        row.operations[operationIndex(operation)].applicable = (operations & operation) != 0;
    }
    std::string stage;
    std::string failure;
    bool statusSeen = false;
    bool done = false;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        std::istringstream fields(value);
        if (key == "stage") {
            stage = value;
        } else if (key == "status") {
            statusSeen = true;
            row.status = value == "ok" ? Status::Ok : value == "refused" ? Status::Refused : Status::Failed;
        } else if (key == "message") {
            row.message = value;
        } else if (key == "failure") {
            failure = value;
        } else if (key == "cold") {
            fields >> row.coldSeconds >> row.coldCpuSeconds;
        } else if (key == "peak") {
            fields >> row.peakBytes;
        } else if (key == "signature") {
            Signature& s = row.signature;
            fields >> s.elements >> s.attributes >> s.comments >> s.maxDepth >> s.indentUnits >> s.nameHash >>
                s.attributeHash >> s.valueHash;
        } else if (key == "sample" || key == "bytes" || key == "note") {
            std::size_t index = 0;
            fields >> index;
            if (index >= row.operations.size()) continue;
            OperationResult& result = row.operations[index];
            if (key == "sample") {
                double wall = 0;
                double cpu = 0;
                fields >> wall >> cpu;
                result.seconds.push_back(wall);
                result.cpuSeconds.push_back(cpu);
            } else if (key == "bytes") {
                fields >> result.outputBytes;
            } else {
                std::getline(fields >> std::ws, result.note);
                if (result.note.rfind("failed", 0) == 0) {
                    result.seconds.clear();
                    result.cpuSeconds.clear();
                }
            }
        } else if (key == "roundtrip") {
            row.roundTrip = value;
        } else if (key == "done") {
            done = true;
        }
    }
    const std::string where = stage.empty() || stage == "the first read" ? "" : "in " + stage + ": ";
    if (WIFSIGNALED(wstatus) || (statusSeen && !done)) {
        row.status = Status::Crashed;
        row.message = where + (WIFSIGNALED(wstatus) ? signalName(WTERMSIG(wstatus)) : "ended early");
    } else if (!failure.empty()) {
        row.status = Status::Failed;
        row.message = failure;
    } else if (!statusSeen) {
        row.message = "the child ended with exit code " + std::to_string(WEXITSTATUS(wstatus)) + " and said nothing";
    }
    return row;
}

// Compares every tree with pugixml's, or with rkxml's when pugixml is missing or failed.
void checkTrees(std::vector<Row>& rows) {
    const Row* reference = nullptr;
    for (const char* name : {"pugixml", "rkxml"}) {
        for (const Row& row : rows) {
            if (reference == nullptr && row.library == name && row.status == Status::Ok) reference = &row;
        }
    }
    for (Row& row : rows) {
        if (row.status != Status::Ok) continue;
        if (row.library == "memchr") {
            row.treeCheck = "no tree";
        } else if (reference == nullptr) {
            row.treeCheck = "no reference";
        } else if (&row == reference) {
            row.treeCheck = "reference";
        } else {
            row.treeCheck = describeDifference(row.signature, reference->signature, reference->library);
        }
    }
}

std::string cpuModel() {
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("model name", 0) == 0) {
            const std::size_t colon = line.find(':');
            if (colon != std::string::npos) return line.substr(colon + 2);
        }
    }
    return "unknown processor";
}

Machine describeMachine(const Options& options, bool heapReused) {
    Machine machine;
    machine.cpu = cpuModel();
    machine.cores = static_cast<unsigned>(sysconf(_SC_NPROCESSORS_ONLN));
    const double memory = static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGE_SIZE));
    char text[64];
    std::snprintf(text, sizeof text, "%.0f GiB", memory / (1024.0 * 1024 * 1024));
    machine.memory = text;
    utsname names{};
    if (uname(&names) == 0) machine.kernel = names.release;
#if defined(__clang__)
    machine.compiler = "clang " __clang_version__;
#elif defined(__GNUC__)
    machine.compiler = "GCC " __VERSION__;
#endif
    const std::time_t now = std::time(nullptr);
    std::strftime(text, sizeof text, "%Y-%m-%d", std::gmtime(&now));
    machine.date = text;
    machine.runs = options.runs;
    machine.warmUp = options.warmUp;
    machine.heapReused = heapReused;
    machine.cpuClock = options.cpuClock;
    return machine;
}

// The options that shape the figures, as run.sh would pass them on.
std::string figureOptions(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--corpus" || arg == "--results" || arg == "--scratch") {
            ++i;
            continue;
        }
        text += " " + arg;
    }
    return text;
}

int runParent(Options& options, const std::string& optionText) {
    Report report;
    const bool heapReused = std::getenv("GLIBC_TUNABLES") != nullptr &&
                            std::strstr(std::getenv("GLIBC_TUNABLES"), "mmap_max=0") != nullptr;
    report.machine = describeMachine(options, heapReused);
    report.machine.options = optionText;

    if (options.libraries.empty()) {
        for (const LibraryEntry& entry : knownLibraries()) options.libraries.push_back(entry.name);
    }
    for (const std::string& name : options.libraries) {
        const LibraryEntry* entry = findLibrary(name);
        if (entry == nullptr) {
            std::cerr << "rkxml_bench: unknown library " << name << "\n";
            return 2;
        }
        if (entry->make == nullptr) {
            report.machine.notes.push_back(std::string("skipped ") + entry->name + ": " + entry->missingNote);
            std::cerr << "skipped " << entry->name << ": " << entry->missingNote << "\n";
            continue;
        }
        const std::unique_ptr<Library> library = entry->make();
        const std::string version = library->version();
        report.machine.libraries.push_back(library->name() + (version.empty() ? "" : " " + version) + ": " +
                                           library->settings());
    }

    const bool allCorpora = options.corpora.empty();
    if (allCorpora) options.corpora = knownCorpora;
    for (const std::string& corpus : options.corpora) {
        const std::string path = options.corpusDirectory + "/" + corpus + ".xml";
        if (fileSize(path) == 0) {
            report.machine.notes.push_back("corpus " + corpus + " is missing (" + path + ")");
            std::cerr << "skipped corpus " << corpus << ": " << path << " is missing or empty\n";
            continue;
        }
        report.corpora.push_back(corpus);
    }
    if (report.corpora.empty()) {
        std::cerr << "rkxml_bench: no corpus found in " << options.corpusDirectory << "\n";
        return 2;
    }

    // Written files go to a scratch folder; a folder made here is removed at the end.
    bool ownScratch = false;
    std::string scratch = options.scratchDirectory;
    if (scratch.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/rkxml-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("rkxml_bench: mkdtemp");
            return 2;
        }
        scratch = pattern;
        ownScratch = true;
    } else {
        std::filesystem::create_directories(scratch);
    }
    // rkxml logs diagnostics of documents without a file name to "$Tmp" + "rkXMLFactory.log".
    setenv("Tmp", (scratch + "/").c_str(), 1);
    // A writer that runs away stops at this size instead of filling the disk.
    signal(SIGXFSZ, SIG_IGN);
    rlimit fileLimit{8ull << 30, 8ull << 30};
    setrlimit(RLIMIT_FSIZE, &fileLimit);

    report.machine.loadBefore = loadAverage();
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& corpus : report.corpora) {
        const std::string path = options.corpusDirectory + "/" + corpus + ".xml";
        std::cerr << "corpus " << corpus << " (" << fileSize(path) << " bytes)\n";
        std::vector<Row> rows;
        for (const std::string& library : options.libraries) {
            const LibraryEntry* entry = findLibrary(library);
            if (entry->make == nullptr) continue;
            const auto pairStart = std::chrono::steady_clock::now();
            rows.push_back(runPair(options, library, corpus, path, scratch));
            const Row& row = rows.back();
            std::cerr << "  " << library << ": " << statusText(row.status)
                      << (row.message.empty() ? "" : ": " + row.message) << " ("
                      << static_cast<int>(secondsSince(pairStart)) << " s)\n";
        }
        checkTrees(rows);
        for (Row& row : rows) report.rows.push_back(std::move(row));
    }
    std::remove((scratch + "/rkXMLFactory.log").c_str());
    if (ownScratch) std::filesystem::remove_all(scratch);
    report.machine.loadAfter = loadAverage();
    report.machine.totalSeconds = secondsSince(start);

    report.printText(std::cout);
    std::cout << "total time " << static_cast<int>(report.machine.totalSeconds) << " s; load average before "
              << report.machine.loadBefore << ", after " << report.machine.loadAfter << "\n";
    if (!options.resultsDirectory.empty()) {
        std::filesystem::create_directories(options.resultsDirectory);
        std::ofstream markdown(options.resultsDirectory + "/results.md");
        report.printMarkdown(markdown);
        std::ofstream csv(options.resultsDirectory + "/results.csv");
        report.printCsv(csv);
        std::ofstream readData(options.resultsDirectory + "/read.dat");
        report.printChartData(readData, ReadMemory);
        std::ofstream writeData(options.resultsDirectory + "/write.dat");
        report.printChartData(writeData, Write);
        std::cout << "results in " << options.resultsDirectory << "\n";
    }

    int problems = 0;
    for (const Row& row : report.rows) {
        if (row.library != "rkxml" && row.library != "floor") continue;
        if (row.status != Status::Ok) {
            std::cerr << "rkxml problem: " << row.library << " on " << row.corpus << ": " << statusText(row.status)
                      << ": " << row.message << "\n";
            ++problems;
        } else if (row.treeCheck.rfind("differs", 0) == 0 ||
                   (!row.roundTrip.empty() && row.roundTrip != "same")) {
            std::cerr << "rkxml problem: " << row.library << " on " << row.corpus << ": " << row.treeCheck << "; "
                      << row.roundTrip << "\n";
            ++problems;
        }
    }
    return options.strict && problems > 0 ? 1 : 0;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    bench::Options options = bench::parseOptions(argc, argv);
    if (options.child) return bench::runChild(options);
    if (options.keepHeap) bench::ensureHeapTunables(argv);
    try {
        return bench::runParent(options, bench::figureOptions(argc, argv));
    } catch (const std::exception& error) {
        std::cerr << "rkxml_bench: " << error.what() << "\n";
        return 2;
    }
}
