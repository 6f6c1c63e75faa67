#!/bin/sh
# The full benchmark in one command: builds rkxml_bench (unless --binary is
# given), generates the corpora when they are missing or out of date, runs
# every library on every corpus and draws the chart.
#
# usage: bench/run.sh [--binary PATH] [--scale S] [--publish] [rkxml_bench options...]
#   --publish  also copy the table and the chart to bench/RESULTS.md and
#              bench/throughput.svg, the versions kept in the repository
# Results go to bench/results/ (results.md, results.csv, throughput.svg).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
binary=""
scale=1
publish=0
while [ $# -gt 0 ]; do
    case $1 in
        --binary) binary=$2; shift 2 ;;
        --scale) scale=$2; shift 2 ;;
        --publish) publish=1; shift ;;
        *) break ;;
    esac
done

if [ -z "$binary" ]; then
    build=$root/build/bench
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DRKXML_BUILD_TESTS=OFF -DRKXML_BUILD_EXAMPLES=OFF -DRKXML_BUILD_BENCHMARKS=ON >/dev/null
    cmake --build "$build" -j2 --target rkxml_bench
    binary=$build/bench/rkxml_bench
fi

# The corpora are made again only when the generator or the scale changed.
corpus=$here/corpus
stamp="scale $scale generator $(sha256sum "$here/gen_corpus.py" | cut -d' ' -f1)"
if [ "$(cat "$corpus/.stamp" 2>/dev/null || true)" != "$stamp" ]; then
    rm -f "$corpus"/*.xml "$corpus/.stamp"
    python3 "$here/gen_corpus.py" --out "$corpus" --scale "$scale"
    echo "$stamp" >"$corpus/.stamp"
fi

results=$here/results
"$binary" --corpus "$corpus" --results "$results" "$@"
cp "$corpus/corpus.txt" "$results/corpus.txt"
"$here/plot.sh" "$results" "$results/throughput.svg"

if [ "$publish" -eq 1 ]; then
    cp "$results/results.md" "$here/RESULTS.md"
    [ -f "$results/throughput.svg" ] && cp "$results/throughput.svg" "$here/throughput.svg"
    echo "published: $here/RESULTS.md, $here/throughput.svg"
fi
