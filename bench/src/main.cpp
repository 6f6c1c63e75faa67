// rkxml_bench: runs one library on one corpus and prints what it measured, one fact per line, each
// flushed at once so that what came before a crash arrives. bench.py starts it once per library and
// corpus, each time in a fresh process: the first read is then a cold one, and a crash costs one row.
#ifdef RKXML_BENCH_HAVE_MALLOC_TRIM
#include <malloc.h>  // glibc's malloc_trim
#endif
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>

#include "Library.h"

namespace bench {
namespace {

// Each operation in the order of a round, and the name the report knows it by.
constexpr Operation steps[] = {ReadMemory, WriteString, WriteFile, Destroy, ReadFile};
constexpr const char* stepNames[] = {"read_memory", "write_string", "write_file", "destroy", "read_file"};
constexpr std::uint64_t bytesPerRound = 4u << 20;
// No file is written whose indentation alone would be larger than this many times the input.
constexpr std::uint64_t writeGuard = 16;

struct Options {
    std::string library, corpus, output;
    int runs = 5, warmUps = 1, mostRepeats = 200;
    bool tooDeep = false;
};

std::ostream& operator<<(std::ostream& out, const Signature& s) {
    return out << s.elements << ' ' << s.attributes << ' ' << s.comments << ' ' << s.indentUnits << ' ' << s.nameHash
               << ' ' << s.attributeHash << ' ' << s.valueHash;
}

template <typename... Parts>
void say(const Parts&... parts) {
    ((std::cout << parts << ' '), ...) << std::endl;
}

std::string oneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Wall-clock time, and the CPU time of this thread, which is steadier on a busy machine.
struct Sample {
    double wall = 0, cpu = 0;
    template <typename Work>
    void add(Work&& work) {
        const double cpuStart = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        work();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += threadCpuSeconds() - cpuStart;
    }
};

// A field of /proc/self/status, in bytes; 0 where there is none (a system other than Linux).
std::uint64_t statusBytes(const std::string& field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(field + ":", 0) == 0) return std::strtoull(line.c_str() + field.size() + 1, nullptr, 10) * 1024;
    }
    return 0;
}

// Times the rounds, then checks what the library wrote if its tree is `compared`. A write that
// fails is noted and left out from then on.
void timeRounds(Library& library, const Options& options, std::string& text, unsigned todo, bool compared) {
    const auto repeats = std::clamp<std::uint64_t>(bytesPerRound / std::max<std::size_t>(text.size(), 1), 1,
                                                   static_cast<std::uint64_t>(options.mostRepeats));
    std::string written;
    for (int round = 0; round < options.warmUps + options.runs; ++round) {
        Sample totals[std::size(steps)];
        for (std::uint64_t repeat = 0; repeat < repeats; ++repeat) {
            const std::string revision = std::to_string(repeat);
            for (std::size_t i = 0; i < std::size(steps); ++i) {
                const Operation operation = steps[i];
                if ((todo & operation) == 0) continue;
                if (round == 0 && repeat == 0) say("stage", stepNames[i]);
                auto work = [&] {
                    if (operation == ReadMemory) library.readMemory(text);
                    if (operation == WriteString || operation == WriteFile) library.edit(revision);
                    if (operation == WriteString) library.writeString(written);
                    if (operation == WriteFile) library.writeFile(options.output);
                    if (operation == Destroy) library.destroy();
                    if (operation == ReadFile) library.readFile(options.corpus);
                };
                try {
                    if ((library.untimed() & operation) != 0) {
                        work();
                    } else {
                        totals[i].add(work);
                    }
                } catch (const std::exception& error) {
                    if (operation != WriteString && operation != WriteFile) throw;
                    todo &= ~operation;
                    say("note", stepNames[i], "failed:", oneLine(error.what()));
                }
                if (operation == ReadFile) library.destroy();
            }
        }
        for (std::size_t i = 0; i < std::size(steps) && round >= options.warmUps; ++i) {
            if ((todo & steps[i] & ~library.untimed()) == 0) continue;
            say("sample", stepNames[i], totals[i].wall / repeats, totals[i].cpu / repeats);
        }
    }
    if ((todo & WriteFile) == 0 || !compared) return;
    // What the library wrote must read back into the tree it came from.
    say("stage", "reading back the written file");
    library.readMemory(text);
    library.edit("0");
    library.writeFile(options.output);
    say("written", *library.signature());
    library.destroy();
    library.readFile(options.output);
    say("readback", *library.signature());
    library.destroy();
}

void run(const Options& options) {
    const auto found = registry().find(options.library);
    if (found == registry().end()) throw std::runtime_error("no library " + options.library + " was built");
    std::string text = readWholeFile(options.corpus);
    const std::unique_ptr<Library> library = found->second();
    say("stage", "prepare");
    library->prepare(text);
#ifdef RKXML_BENCH_HAVE_MALLOC_TRIM
    // Return what preparing freed, so that the first read meets fresh memory as in a new process.
    malloc_trim(0);
#endif
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current resident set
    const std::uint64_t before = statusBytes("VmRSS");
    say("stage", "first read");
    Sample cold;
    cold.add([&] { library->readMemory(text); });
    const std::uint64_t peak = statusBytes("VmHWM");
    say("stage", "signature");
    const std::optional<Signature> signature = library->signature();
    say("status", "ok");
    say("cold", cold.wall, cold.cpu);
    say("peak", peak > before ? peak - before : 0);
    if (signature) say("signature", *signature);
    library->destroy();

    // A library whose tree is not compared learns from the caller that a corpus is too deep.
    unsigned todo = library->operations();
    const bool tooDeep = options.tooDeep || (signature && signature->indentUnits > writeGuard * text.size());
    if ((todo & WriteFile) != 0 && tooDeep) {
        todo &= ~(WriteString | WriteFile);
        const bool reported = (library->untimed() & WriteFile) == 0;
        for (const char* name : {"write_string", "write_file"}) {
            if (reported) say("note", name, "its indentation alone would be over", writeGuard, "times the input");
        }
    }
    timeRounds(*library, options, text, todo, signature.has_value());
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    using namespace bench;
    if (argc == 2 && std::string(argv[1]) == "--list") {
        for (const auto& [name, make] : registry()) say("library", name, make()->version());
        say("compiler", __VERSION__);  // "12.2.0" from GCC, "Debian Clang 14.0.6" from clang
        return 0;
    }
    if (argc < 4 || argc > 8) {
        std::cerr << "usage: rkxml_bench --list | LIBRARY CORPUS OUTPUT [RUNS [WARM_UPS [MOST_REPEATS [too-deep]]]]\n";
        return 2;
    }
    Options options{argv[1], argv[2], argv[3]};
    if (argc > 4) options.runs = std::max(1, std::atoi(argv[4]));
    if (argc > 5) options.warmUps = std::max(0, std::atoi(argv[5]));
    if (argc > 6) options.mostRepeats = std::max(1, std::atoi(argv[6]));
    options.tooDeep = argc > 7 && std::string(argv[7]) == "too-deep";
    try {
        run(options);
    } catch (const std::exception& error) {
        say("failure", oneLine(error.what()));
    }
    std::remove(options.output.c_str());
    say("done");
    // The tree, if any is left, is not destroyed: the process ends here anyway.
    std::_Exit(0);
}
