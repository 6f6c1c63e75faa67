// The figures of one run and the ways they are printed: a text table on the
// terminal, a Markdown table for the README, CSV, and gnuplot data for the chart.
#ifndef RKXML_BENCH_REPORT_H
#define RKXML_BENCH_REPORT_H

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Library.h"

namespace bench {

enum class Status { Ok, Refused, Failed, Crashed };

const char* statusText(Status status);

// The four timed operations, in report order.
constexpr std::array<Operation, 4> reportedOperations{ReadMemory, Destroy, Write, ReadFile};
const char* operationTitle(Operation operation);
std::size_t operationIndex(Operation operation);

struct OperationResult {
    bool applicable = false;         // the library has this operation at all
    std::vector<double> seconds;     // wall-clock time, one sample per round
    std::vector<double> cpuSeconds;  // CPU time of the thread, one sample per round
    std::string note;                // why there are no samples, when there are none
    std::uint64_t outputBytes = 0;   // for Write: the size of the file written

    std::optional<double> median() const;
    std::optional<double> cpuMedian() const;
};

struct Row {
    std::string corpus;
    std::string library;
    std::uint64_t inputBytes = 0;
    Status status = Status::Ok;
    std::string message;  // for a row that is not Ok: what happened
    double coldSeconds = 0;
    double coldCpuSeconds = 0;
    bool cpuClock = false;  // rates from thread CPU time instead of wall-clock time
    std::uint64_t peakBytes = 0;
    bool peakExact = true;
    Signature signature;
    bool hasTree = true;
    std::string treeCheck;   // against the reference library
    std::string roundTrip;   // reading back what the library wrote
    std::array<OperationResult, 4> operations;

    std::optional<double> megabytesPerSecond(Operation operation) const;
    double coldMegabytesPerSecond() const;
};

struct Machine {
    std::string cpu;
    unsigned cores = 0;
    std::string memory;
    std::string kernel;
    std::string compiler;
    std::string date;
    int runs = 0;
    bool warmUp = true;
    bool heapReused = false;
    bool cpuClock = false;
    std::string options;  // the program's options that change figures, for the reproduce line
    std::string loadBefore;  // /proc/loadavg at the start and the end of the run
    std::string loadAfter;
    double totalSeconds = 0;
    std::vector<std::string> libraries;  // "name version: settings"
    std::vector<std::string> notes;      // missing libraries and corpora
};

struct Report {
    Machine machine;
    std::vector<std::string> corpora;
    std::vector<Row> rows;

    const Row* find(const std::string& corpus, const std::string& library) const;

    void printText(std::ostream& out) const;
    void printMarkdown(std::ostream& out) const;
    void printCsv(std::ostream& out) const;
    // One line per library, one column per corpus: MB/s of `operation`, "NaN" where there is none.
    void printChartData(std::ostream& out, Operation operation) const;
};

}  // namespace bench

#endif
