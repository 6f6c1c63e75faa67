#!/usr/bin/env python3
"""Runs the rkxml benchmark: builds rkxml_bench, makes the corpora, runs every library on every
corpus, each pair in a fresh process, and writes the report and its chart to bench/results/."""

import argparse, ctypes.util, datetime, os, platform, resource, shutil, signal, statistics
import subprocess, sys, tempfile, time

import gen_corpus

HERE = os.path.dirname(os.path.abspath(__file__))
LIBRARIES = ("rkxml", "pugixml", "tinyxml2", "rapidxml", "libxml2", "expat", "memchr", "floor")
OPERATIONS = {"read_memory": "read from memory", "write_string": "write to memory", "write_file": "write to file",
              "destroy": "destroy", "read_file": "read from file"}
ALLOCATORS = {"mimalloc": "mimalloc", "jemalloc": "jemalloc", "tcmalloc": "tcmalloc_minimal"}
# Freed memory stays in glibc's heap, so that rounds after the first do not pay for first touches
# of fresh pages, which are slow on some machines.
HEAP_TUNABLES = "glibc.malloc.mmap_max=0:glibc.malloc.trim_threshold=68719476736"
RKXML_ONLY, SMALL = ("warnings",), "small"

class Row:
    """What rkxml_bench said about one library (under one allocator) on one corpus at one scale."""

    def __init__(self, corpus, library, size, allocator, scale, output):
        self.corpus, self.library, self.size, self.allocator, self.scale = corpus, library, size, allocator, scale
        self.label = library + (" + " + allocator if allocator else "")
        self.facts = {}
        for line in output.splitlines():
            key, _, rest = line.strip().partition(" ")
            self.facts.setdefault(key, []).append(rest)
        self.status, self.message = self.fact("status", "failed"), self.fact("message", "")
        self.tree = self.round_trip = ""

    def fact(self, key, default=None):
        return self.facts.get(key, [default])[-1]

    def about(self, key, operation):
        return [line.split(" ", 1)[1] for line in self.facts.get(key, []) if line.split()[0] == operation]

    def note(self, operation):
        return next(iter(self.about("note", operation)), None)

    def seconds(self, operation, clock):
        """The median time of one operation by the wall (0) or CPU (1) clock; None for a failed write."""
        times = [float(sample.split()[clock]) for sample in self.about("sample", operation)]
        failed = (self.note(operation) or "").startswith("failed")
        return statistics.median(times) if times and self.status == "ok" and not failed else None

def difference(own, other, name):
    """Whether two signatures agree, but for the depths, which follow from the rest."""
    what = ("elements", "attributes", "comments", "", "names", "attribute values", "element values")
    differ = [field for field, a, b in zip(what, own.split(), other.split()) if field and a != b]
    return "differs from %s in %s" % (name, ", ".join(differ)) if differ else "same as " + name

def run(args, library, corpus, folder, scratch, allocator="", scale=1, too_deep=False):
    env = dict(os.environ, Tmp=scratch + "/")  # where rkxml logs what it finds in text read from memory
    env["GLIBC_TUNABLES"] = ":".join(filter(None, (os.environ.get("GLIBC_TUNABLES"), HEAP_TUNABLES)))
    if allocator:
        env["LD_PRELOAD"] = ctypes.util.find_library(ALLOCATORS[allocator])

    def limits():
        resource.setrlimit(resource.RLIMIT_CPU, (600, 605))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a runaway writer stops at 8 GiB, not at a full disk
        resource.setrlimit(resource.RLIMIT_FSIZE, (8 << 30, 8 << 30))
    path = os.path.join(folder, corpus + ".xml")
    command = [args.binary, library, path, os.path.join(scratch, "written.xml"), str(args.runs), str(args.warm_up),
               str(args.most_repeats)] + ["too-deep"] * too_deep
    child = subprocess.run(command, env=env, stdout=subprocess.PIPE, text=True, preexec_fn=limits)
    row = Row(corpus, library, os.path.getsize(path), allocator, scale, child.stdout)
    stage = row.fact("stage", "")
    where = "" if stage in ("", "first read") else "in %s: " % stage
    if child.returncode < 0 or ("status" in row.facts and "done" not in row.facts):
        why = {signal.SIGSEGV: " (stack overflow or bad access)", signal.SIGXCPU: " (CPU time limit)"}
        row.status, row.message = "crashed", where + (signal.strsignal(-child.returncode) + why.get(
            -child.returncode, "") if child.returncode < 0 else "ended early")
    elif "failure" in row.facts:
        row.status, row.message = "failed", where + row.fact("failure")
    elif "status" not in row.facts:
        row.message = "rkxml_bench ended with exit code %d and said nothing" % child.returncode
    if "readback" in row.facts:
        row.round_trip = difference(row.fact("readback"), row.fact("written"), "the tree written")
        row.round_trip = "same" if row.round_trip.startswith("same") else row.round_trip
    return row

def check_trees(rows):
    """Compares every tree with pugixml's, or with rkxml's when pugixml is missing or failed."""
    ok = [row for row in rows if row.status == "ok" and row.scale == 1]
    reference = next((row for name in ("pugixml", "rkxml") for row in ok if row.label == name), None)
    for row in ok:
        row.tree = "not compared" if "signature" not in row.facts or reference is None else "reference" \
            if row is reference else difference(row.fact("signature"), reference.fact("signature"), reference.library)

# ---- the report: what each table means is told in bench/README.md -------------------------------------

def number(value, times=""):
    """About three significant digits; "—" for none."""
    if value is None:
        return "—"
    return "%.*f%s" % (0 if value >= 100 else 1 if value >= 10 else 2 if value >= 0.1 or not times else 3, value, times)

def size_text(size):
    return number(size / 1e6) + " MB" if size >= 1e5 else number(size / 1e3) + " KB"

def ratio(own, other):
    return own / other if own and other else None

def table(title, header, rows, text_columns=2):
    """A titled Markdown table: the first columns and the tree check are text, the others numbers."""
    align = ["---" if i < text_columns or name == "tree" else "---:" for i, name in enumerate(header)]
    return "## %s\n\n" % title + "".join("| %s |\n" % " | ".join(str(cell).replace("|", "/") for cell in line)
                                         for line in [header, align] + rows) if rows else ""

class Report:
    def __init__(self, args, rows, corpora):
        self.args, self.rows, self.corpora, self.clock = args, rows, corpora, int(args.clock == "cpu")

    def find(self, corpus, label, scale=1):
        return next((row for row in self.rows if (row.corpus, row.label, row.scale) == (corpus, label, scale)), None)

    def rate(self, row, operation):
        """MB of input per second; None if there is none."""
        seconds = row.seconds(operation, self.clock) if row else None
        return row.size / 1e6 / seconds if seconds else None

    def cells(self, row, reference, notes=True):
        """The rates of a row, each with its ratio to the reference row's."""
        if row.status != "ok":
            return ["%s: %s" % (row.status, row.message)] + [""] * (len(OPERATIONS) - 1)
        cells = []
        for op in OPERATIONS:
            rate, other, note = self.rate(row, op), self.rate(reference, op), row.note(op)
            cells.append(number(rate) + (" (%s)" % number(ratio(rate, other), "×")) * bool(other) if rate else
                         ("skipped: " + note if notes else "skipped") if note else "—")
        return cells

    def main_table(self):
        rows = []
        for row in (row for row in self.rows if row.corpus != SMALL and not row.allocator and row.scale == 1):
            cold = float(row.fact("cold", "0 0").split()[self.clock])
            details = ["%.2f" % (int(row.fact("peak", 0)) / row.size), number(ratio(row.size / 1e6, cold)),
                       row.tree + ("; read back: " + row.round_trip) * bool(row.round_trip)]
            rows.append(["%s (%s)" % (row.corpus, size_text(row.size)), row.library] +
                        self.cells(row, self.find(row.corpus, "pugixml")) + details * (row.status == "ok"))
        return table("Every library on every corpus", ["corpus", "library"] + list(OPERATIONS.values()) +
                     ["peak MB per MB", "cold first parse", "tree"], rows)

    # The goals of the performance work: (title, library and operation over library and operation), by rate.
    GOALS = (("read time / floor time", "floor", "read_memory", "rkxml", "read_memory"),
             ("read vs tinyxml2", "rkxml", "read_memory", "tinyxml2", "read_memory"),
             ("read vs pugixml", "rkxml", "read_memory", "pugixml", "read_memory"),
             ("write to file vs pugixml", "rkxml", "write_file", "pugixml", "write_file"),
             ("write to memory vs pugixml", "rkxml", "write_string", "pugixml", "write_string"),
             ("read from file vs from memory", "rkxml", "read_file", "rkxml", "read_memory"))

    def goal_table(self):
        return table("rkxml against the goals", ["corpus"] + [goal[0] for goal in self.GOALS], [[corpus] + [number(
            ratio(self.rate(self.find(corpus, a), x), self.rate(self.find(corpus, b), y))) for _, a, x, b, y in
            self.GOALS] for corpus in self.corpora if corpus not in RKXML_ONLY], 1)

    def small_table(self):
        rows = []
        for row in (row for row in self.rows if row.corpus == SMALL and row.scale == 1 and row.status == "ok"):
            memory, file = row.seconds("write_string", 0), row.seconds("write_file", 0)
            rows.append([row.label] + [number(ratio(1, row.seconds(op, 0))) for op in OPERATIONS] +
                        [number((file - memory) * 1e6 if file and memory else None)])
        return table("A small settings file: operations per second by the wall clock", ["library", "read from memory",
                     "edit + write to memory", "edit + save to file", "destroy", "read from file",
                     "save beyond writing, µs"], rows, 1)

    def allocator_table(self):
        return table("rkxml under other allocators (ratio to glibc's)", ["corpus", "allocator"] + list(
            OPERATIONS.values()), [[row.corpus, row.allocator] + self.cells(row, self.find(row.corpus, "rkxml"), False)
                                   for row in self.rows if row.allocator])

    def growth_table(self):
        rows = []
        for one, two in ((self.find(corpus, "rkxml"), self.find(corpus, "rkxml", 2)) for corpus in self.corpora):
            if one and two:
                rows.append([one.corpus, "%s → %s" % (size_text(one.size), size_text(two.size))] + ([number(ratio(
                    two.seconds(op, self.clock), one.seconds(op, self.clock))) for op in OPERATIONS] if two.status ==
                    "ok" else ["%s: %s" % (two.status, two.message)]))
        return table("Growth: rkxml's time at 2x / at 1x", ["corpus", "size"] + list(OPERATIONS.values()), rows)

    def markdown(self, machine):
        args = self.args
        return "\n".join([
            "# rkxml benchmark results\n\nReproduce with `bench/setup.sh && bench/run.sh%(options)s`; what each table "
            "and column means: bench/README.md.\n\nMachine: %(cpu)s, %(cores)d cores, %(memory)s of memory; Linux "
            "%(kernel)s; %(compiler)s; %(date)s. Load average (1, 5, 15 min) %(load_before)s at the start and "
            "%(load_after)s at the end of the %(seconds)d s run. Libraries: %(libraries)s.\n" % machine,
            "Medians of %d timed rounds after %d untimed one(s), glibc's heap reused between rounds, by %s. Rates "
            "in MB of input per second, in brackets the ratio to pugixml (above 1 is faster).\n" % (
                args.runs, args.warm_up, "the CPU time of the benchmark thread (waits for the disk not counted)"
                if args.clock == "cpu" else "the wall clock"),
            self.main_table(), self.goal_table(), self.small_table(), self.allocator_table(), self.growth_table()] +
            ["- " + note for note in machine["notes"]])

    def chart(self, directory):
        """Read and write rates per library and corpus, drawn by gnuplot when it is installed."""
        if not shutil.which("gnuplot"):
            print("gnuplot not found (bench/setup.sh installs it): no chart", file=sys.stderr)
            return
        plots, corpora = "", [c for c in self.corpora if c != SMALL and c not in RKXML_ONLY]
        for op, title in (("read_memory", "read from memory into a tree"), ("write_file", "write the tree to a file")):
            rates = {(c, name): self.rate(self.find(c, name), op) for c in corpora for name in LIBRARIES}
            with open(os.path.join(directory, op + ".dat"), "w") as data:
                data.write("library %s\n" % " ".join(corpora) + "".join(
                    name + "".join(" %.2f" % (rates[c, name] or float("nan")) for c in corpora) + "\n"
                    for name in LIBRARIES if any(rates[c, name] for c in corpora)))
            # Only the corpora with a figure, each in the same colour in both panels.
            columns = " ".join(str(i + 2) for i, c in enumerate(corpora) if any(rates[c, name] for name in LIBRARIES))
            plots += ('set title "%s"\nplot for [c in "%s"] "%s/%s.dat" using (column(int(c))):xtic(1) title '
                      "columnheader(int(c)) linecolor int(c)\n" % (title, columns, directory, op))
        subprocess.run(["gnuplot"], text=True, input=(
            'set terminal svg size 960,760 dynamic font "sans,12" background rgb "white"\n'
            'set output "%s/throughput.svg"\nset multiplot layout 2,1 title "MB of input per second, median of the '
            'timed rounds (log scale; higher is faster)"\nset style data histograms\nset style histogram clustered '
            'gap 1\nset style fill solid 0.85 border -1\nset boxwidth 0.9\nset logscale y\nset yrange [1:*]\n'
            'set format y "%%g"\nset grid ytics\nset key outside right top vertical title "corpus"\nset ylabel "MB/s"\n'
            'set xtics nomirror\n%sunset multiplot\n' % (directory, plots)))

def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    add = parser.add_argument
    add("--binary", help="the rkxml_bench to run (default: build it in build/bench-release)")
    add("--scale", type=float, default=1, help="corpus size: 1 (default) is about 24 MB each")
    add("--corpus", default=os.path.join(HERE, "corpus"), help="folder for the corpora")
    add("--results", default=os.path.join(HERE, "results"), help="folder for the report")
    add("--corpora", default=",".join(gen_corpus.KINDS), help="comma-separated (default: all)")
    add("--libraries", default=",".join(LIBRARIES), help="comma-separated (default: all that were built)")
    add("--allocators", default=",".join(ALLOCATORS), help="rerun the rkxml rows under each of these that is "
        "installed, preloaded (default: all; 'none' for none)")
    add("--no-growth", action="store_true", help="skip the doubling check (rkxml at twice the scale)")
    add("--runs", type=int, default=5, help="timed rounds per library and corpus (default 5)")
    add("--warm-up", type=int, default=1, help="untimed rounds before them (default 1)")
    add("--most-repeats", type=int, default=200, help="most repeats of an operation in a round on a small corpus")
    add("--clock", choices=("wall", "cpu"), default="wall", help="time by the wall clock (default) or by the "
        "thread's CPU time, steadier on a busy machine")
    add("--strict", action="store_true", help="exit 1 when rkxml fails, crashes or builds a different tree")
    add("--publish", action="store_true", help="copy the report and the chart to bench/RESULTS.md and bench/")
    args = parser.parse_args()
    # The options that shape the figures, for the report's line on how to reproduce them.
    args.options = "".join(" %s %s" % (flag, value) for flag, value, default in (
        ("--clock", args.clock, "wall"), ("--scale", args.scale, 1), ("--runs", args.runs, 5),
        ("--warm-up", args.warm_up, 1), ("--allocators", args.allocators, ",".join(ALLOCATORS))) if value != default)
    args.options += " --no-growth" * args.no_growth
    return args

def build():
    folder = os.path.join(os.path.dirname(HERE), "build", "bench-release")
    subprocess.run(["cmake", "-S", os.path.dirname(HERE), "-B", folder, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DRKXML_BUILD_TESTS=OFF", "-DRKXML_BUILD_EXAMPLES=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", folder, "-j2", "--target", "rkxml_bench"], check=True)
    return os.path.join(folder, "bench", "rkxml_bench")

def machine_facts(listed):
    def first(path, prefix):
        with open(path) as handle:
            return next(line.split(":", 1)[1].strip() for line in handle if line.startswith(prefix))

    return {"cpu": first("/proc/cpuinfo", "model name"), "cores": os.cpu_count(), "kernel": platform.release(),
            "memory": "%.0f GiB" % (int(first("/proc/meminfo", "MemTotal").split()[0]) / 2 ** 20),
            "compiler": next(line.split(" ", 1)[1].strip() for line in listed if line.startswith("compiler ")),
            "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d"),
            "load_before": "%.2f %.2f %.2f" % os.getloadavg()}

def main():
    args = parse_arguments()
    args.binary = args.binary or build()
    listed = subprocess.run([args.binary, "--list"], stdout=subprocess.PIPE, text=True, check=True).stdout.splitlines()
    built = {line.split()[1]: " ".join(line.split()[1:]) for line in listed if line.startswith("library ")}
    machine = dict(machine_facts(listed), options=args.options, notes=[])
    machine["compiler"] = ("GCC " if machine["compiler"][0].isdigit() else "") + machine["compiler"]
    libraries = [name for name in args.libraries.split(",") if name in built]
    allocators = [name for name in args.allocators.split(",") if ctypes.util.find_library(ALLOCATORS.get(name, name))]
    machine["notes"] += ["%s is not built (bench/setup.sh installs it)" % name for name in args.libraries.split(",")
                         if name not in built] + ["allocator %s is not installed" % name for name in
                                                  args.allocators.split(",") if name not in allocators + ["none"]]
    machine["libraries"] = ", ".join(built[name] for name in libraries)
    corpora = args.corpora.split(",")
    scales = (1,) if args.no_growth else (1, 2)
    folders = {scale: os.path.join(args.corpus, "scale-%g" % (scale * args.scale)) for scale in scales}
    sources = "".join(gen_corpus.make_corpora(folder, scale * args.scale, corpora) for scale, folder in folders.items())

    rows, scratch, start = [], tempfile.mkdtemp(prefix="rkxml-bench-"), time.monotonic()
    for corpus in (corpus for corpus in corpora if os.path.exists(os.path.join(folders[1], corpus + ".xml"))):
        pairs = [(name, "", 1) for name in libraries if corpus not in RKXML_ONLY or name == "rkxml"]
        if "rkxml" in libraries:
            pairs += [("rkxml", name, 1) for name in allocators] + [("rkxml", "", 2)] * (2 in folders)
        corpus_rows = []
        for library, allocator, scale in pairs:
            began = time.monotonic()
            # The first rows tell whether the corpus is too deep to write, for libraries that cannot tell.
            too_deep = any((row.note("write_file") or "").startswith("its indentation") for row in corpus_rows)
            corpus_rows.append(run(args, library, corpus, folders[scale], scratch, allocator, scale, too_deep))
            row = corpus_rows[-1]
            print("%s: %s%s: %s %s (%d s)" % (corpus, row.label, " at 2x" * (scale == 2), row.status, row.message,
                                             time.monotonic() - began), file=sys.stderr)
        check_trees(corpus_rows)
        rows += corpus_rows
    shutil.rmtree(scratch, ignore_errors=True)
    machine.update(load_after="%.2f %.2f %.2f" % os.getloadavg(), seconds=time.monotonic() - start)

    report = Report(args, rows, [corpus for corpus in corpora if any(row.corpus == corpus for row in rows)])
    os.makedirs(args.results, exist_ok=True)
    text = report.markdown(machine)
    print(text)
    for name, content in (("results.md", text), ("corpus.txt", sources)):
        with open(os.path.join(args.results, name), "w") as handle:
            handle.write(content)
    report.chart(args.results)
    for name, published in (("results.md", "RESULTS.md"), ("throughput.svg", "throughput.svg")):
        if args.publish and os.path.exists(os.path.join(args.results, name)):
            shutil.copy(os.path.join(args.results, name), os.path.join(HERE, published))
    problems = [row for row in rows if row.library in ("rkxml", "floor") and (
        row.status != "ok" or row.tree.startswith("differs") or row.round_trip not in ("", "same"))]
    for row in problems:
        print("rkxml problem: %s on %s: %s %s %s %s" % (row.label, row.corpus, row.status, row.message, row.tree,
                                                       row.round_trip), file=sys.stderr)
    return 1 if args.strict and problems else 0

if __name__ == "__main__":
    sys.exit(main())
