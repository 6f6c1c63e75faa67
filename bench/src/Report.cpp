#include "Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <sstream>

namespace bench {
namespace {

constexpr double megabyte = 1e6;

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Three significant digits or so, without a trailing ".0" on large rates.
std::string rate(double value) {
    if (value >= 100) return fixed(value, 0);
    if (value >= 10) return fixed(value, 1);
    return fixed(value, 2);
}

std::string ratio(double value, const char* times) {
    return (value >= 10 ? fixed(value, 0) : value >= 0.1 ? fixed(value, 2) : fixed(value, 3)) + times;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string optionalNumber(const std::optional<double>& value, int decimals) {
    return value ? fixed(*value, decimals) : std::string();
}

// Markdown cells must not break the table.
std::string cell(std::string text) {
    for (char& c : text) {
        if (c == '|') c = '/';
        if (c == '\n') c = ' ';
    }
    return text;
}

}  // namespace

const char* statusText(Status status) {
    switch (status) {
        case Status::Ok: return "ok";
        case Status::Refused: return "refused";
        case Status::Failed: return "failed";
        case Status::Crashed: return "crashed";
    }
    return "?";
}

const char* operationTitle(Operation operation) {
    switch (operation) {
        case ReadMemory: return "read from memory";
        case Destroy: return "destroy";
        case Write: return "write";
        case ReadFile: return "read from file";
    }
    return "?";
}

std::size_t operationIndex(Operation operation) {
    for (std::size_t i = 0; i < reportedOperations.size(); ++i) {
        if (reportedOperations[i] == operation) return i;
    }
    return 0;
}

namespace {

std::optional<double> medianOf(std::vector<double> sorted) {
    if (sorted.empty()) return std::nullopt;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    return sorted.size() % 2 != 0 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

}  // namespace

std::optional<double> OperationResult::median() const { return medianOf(seconds); }
std::optional<double> OperationResult::cpuMedian() const { return medianOf(cpuSeconds); }

std::optional<double> Row::megabytesPerSecond(Operation operation) const {
    const OperationResult& result = operations[operationIndex(operation)];
    const auto seconds = cpuClock ? result.cpuMedian() : result.median();
    if (!seconds || *seconds <= 0) return std::nullopt;
    return static_cast<double>(inputBytes) / megabyte / *seconds;
}

double Row::coldMegabytesPerSecond() const {
    const double seconds = cpuClock ? coldCpuSeconds : coldSeconds;
    return seconds > 0 ? static_cast<double>(inputBytes) / megabyte / seconds : 0;
}

const Row* Report::find(const std::string& corpus, const std::string& library) const {
    for (const Row& row : rows) {
        if (row.corpus == corpus && row.library == library) return &row;
    }
    return nullptr;
}

void Report::printText(std::ostream& out) const {
    for (const std::string& corpus : corpora) {
        const Row* pugixml = find(corpus, "pugixml");
        bool first = true;
        for (const Row& row : rows) {
            if (row.corpus != corpus) continue;
            if (first) {
                out << "\n== " << corpus << ": " << rate(static_cast<double>(row.inputBytes) / megabyte)
                    << " MB ==   MB/s of input (ratio to pugixml)\n"
                    << std::left << std::setw(9) << "library";
                for (Operation operation : reportedOperations) out << std::setw(19) << operationTitle(operation);
                out << std::setw(11) << "peak MB/MB" << std::setw(11) << "cold MB/s" << "tree\n";
                first = false;
            }
            out << std::left << std::setw(9) << row.library;
            if (row.status != Status::Ok) {
                out << statusText(row.status) << ": " << row.message << "\n";
                continue;
            }
            for (Operation operation : reportedOperations) {
                const OperationResult& result = row.operations[operationIndex(operation)];
                std::string text = "-";
                if (const auto mbps = row.megabytesPerSecond(operation)) {
                    text = rate(*mbps);
                    const auto reference = pugixml != nullptr ? pugixml->megabytesPerSecond(operation) : std::nullopt;
                    if (reference) text += " (" + ratio(*mbps / *reference, "x") + ")";
                } else if (result.applicable && !result.note.empty()) {
                    text = "skipped";
                }
                out << std::setw(19) << text;
            }
            out << std::setw(11) << fixed(static_cast<double>(row.peakBytes) / static_cast<double>(row.inputBytes), 2)
                << std::setw(11) << rate(row.coldMegabytesPerSecond())
                << row.treeCheck << (row.roundTrip.empty() ? "" : "; written file read back: " + row.roundTrip)
                << "\n";
            for (Operation operation : reportedOperations) {
                const OperationResult& result = row.operations[operationIndex(operation)];
                if (result.applicable && !result.note.empty()) {
                    out << "         " << operationTitle(operation) << ": " << result.note << "\n";
                }
            }
        }
    }
    out << "\n";
}

void Report::printMarkdown(std::ostream& out) const {
    out << "# rkxml benchmark results\n\n"
        << "Reproduce with `bench/setup.sh && bench/run.sh" << machine.options << "` (see bench/README.md).\n\n"
        << "Machine: " << machine.cpu << ", " << machine.cores << " cores, " << machine.memory << " of memory; Linux "
        << machine.kernel << "; " << machine.compiler << "; " << machine.date << ". Load average (1, 5, 15 min) "
        << machine.loadBefore << " at the start and " << machine.loadAfter << " at the end of the "
        << static_cast<int>(machine.totalSeconds) << " s run.\n\n"
        << "Each figure is the median of " << machine.runs << " rounds"
        << (machine.warmUp ? " after one untimed warm-up round" : "") << " in one process, "
        << (machine.heapReused ? "with the heap reused between rounds (freed memory is kept, not returned to the "
                                 "system)"
                               : "with the default allocator settings")
        << ". Times are "
        << (machine.cpuClock ? "CPU times of the benchmark thread (user and system, page faults included; waits "
                               "for the disk and for other processes are not counted)"
                             : "wall-clock times")
        << ". Rates are in MB (10^6 bytes) of the input corpus per second for every operation, writing and "
           "destroying included; the ratio in brackets is to pugixml (above 1 is faster). Peak memory is the growth "
           "of the resident set while reading from memory, per MB of input, measured in a fresh process; the cold "
           "first parse is that same read, the first one in that process.\n\n";
    out << "| corpus | library | read from memory | destroy | write | read from file | peak MB per MB | cold first "
           "parse | tree |\n"
        << "|---|---|---:|---:|---:|---:|---:|---:|---|\n";
    for (const std::string& corpus : corpora) {
        const Row* pugixml = find(corpus, "pugixml");
        for (const Row& row : rows) {
            if (row.corpus != corpus) continue;
            out << "| " << corpus << " (" << rate(static_cast<double>(row.inputBytes) / megabyte) << " MB) | "
                << row.library << " | ";
            if (row.status != Status::Ok) {
                out << cell(std::string(statusText(row.status)) + ": " + row.message) << " | | | | | | |\n";
                continue;
            }
            for (Operation operation : reportedOperations) {
                const OperationResult& result = row.operations[operationIndex(operation)];
                if (const auto mbps = row.megabytesPerSecond(operation)) {
                    out << rate(*mbps);
                    const auto reference = pugixml != nullptr ? pugixml->megabytesPerSecond(operation) : std::nullopt;
                    if (reference) out << " (" << ratio(*mbps / *reference, "×") << ")";
                } else if (result.applicable && !result.note.empty()) {
                    out << cell("skipped: " + result.note);
                } else {
                    out << "—";
                }
                out << " | ";
            }
            out << fixed(static_cast<double>(row.peakBytes) / static_cast<double>(row.inputBytes), 2) << " | "
                << rate(row.coldMegabytesPerSecond()) << " | "
                << cell(row.treeCheck + (row.roundTrip.empty() ? "" : "; read back: " + row.roundTrip)) << " |\n";
        }
    }

    out << "\nrkxml against the data-model floor (the same tree built through the public API from recorded "
           "events):\n\n"
        << "| corpus | rkxml read from memory MB/s | floor MB/s | rkxml time / floor time |\n"
        << "|---|---:|---:|---:|\n";
    for (const std::string& corpus : corpora) {
        const Row* rkxml = find(corpus, "rkxml");
        const Row* floor = find(corpus, "floor");
        if (rkxml == nullptr || floor == nullptr) continue;
        const auto own = rkxml->megabytesPerSecond(ReadMemory);
        const auto least = floor->megabytesPerSecond(ReadMemory);
        out << "| " << corpus << " | " << (own ? rate(*own) : statusText(rkxml->status)) << " | "
            << (least ? rate(*least) : statusText(floor->status)) << " | "
            << (own && least ? fixed(*least / *own, 2) : "—") << " |\n";
    }

    out << "\nLibraries and how they are called:\n\n";
    for (const std::string& library : machine.libraries) out << "- " << library << "\n";
    if (!machine.notes.empty()) {
        out << "\nNotes:\n\n";
        for (const std::string& note : machine.notes) out << "- " << note << "\n";
    }
}

void Report::printCsv(std::ostream& out) const {
    out << "corpus,library,input_bytes,status,message";
    for (const char* name : {"read_memory", "destroy", "write", "read_file"}) {
        out << "," << name << "_s," << name << "_cpu_s," << name << "_mbps," << name << "_vs_pugixml," << name
            << "_note";
    }
    out << ",write_output_bytes,peak_bytes,peak_per_mb,cold_s,cold_cpu_s,elements,attributes,comments,max_depth,tree,"
           "round_trip,runs\n";
    for (const Row& row : rows) {
        const Row* pugixml = find(row.corpus, "pugixml");
        out << row.corpus << "," << row.library << "," << row.inputBytes << "," << statusText(row.status) << ","
            << csvField(row.message);
        for (Operation operation : reportedOperations) {
            const OperationResult& result = row.operations[operationIndex(operation)];
            const auto mbps = row.megabytesPerSecond(operation);
            const auto reference = pugixml != nullptr ? pugixml->megabytesPerSecond(operation) : std::nullopt;
            out << "," << optionalNumber(result.median(), 6) << "," << optionalNumber(result.cpuMedian(), 6) << "," << optionalNumber(mbps, 2) << ","
                << (mbps && reference ? fixed(*mbps / *reference, 3) : "") << "," << csvField(result.note);
        }
        const bool ok = row.status == Status::Ok;
        out << "," << row.operations[operationIndex(Write)].outputBytes << "," << (ok ? std::to_string(row.peakBytes) : "")
            << "," << (ok ? fixed(static_cast<double>(row.peakBytes) / static_cast<double>(row.inputBytes), 3) : "")
            << "," << (ok ? fixed(row.coldSeconds, 6) : "") << "," << (ok ? fixed(row.coldCpuSeconds, 6) : "") << "," << row.signature.elements << ","
            << row.signature.attributes << "," << row.signature.comments << "," << row.signature.maxDepth << ","
            << csvField(row.treeCheck) << "," << csvField(row.roundTrip) << ","
            << row.operations[operationIndex(ReadMemory)].seconds.size() << "\n";
    }
}

void Report::printChartData(std::ostream& out, Operation operation) const {
    std::vector<std::string> libraries;
    for (const Row& row : rows) {
        if (std::find(libraries.begin(), libraries.end(), row.library) == libraries.end()) {
            libraries.push_back(row.library);
        }
    }
    out << "library";
    for (const std::string& corpus : corpora) out << " " << corpus;
    out << "\n";
    for (const std::string& library : libraries) {
        bool any = false;
        std::ostringstream line;
        line << library;
        for (const std::string& corpus : corpora) {
            const Row* row = find(corpus, library);
            const auto mbps = row != nullptr ? row->megabytesPerSecond(operation) : std::nullopt;
            line << " " << (mbps ? fixed(*mbps, 2) : "NaN");
            any = any || mbps.has_value();
        }
        if (any) out << line.str() << "\n";
    }
}

}  // namespace bench
