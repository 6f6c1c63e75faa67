#!/bin/sh
# Builds the fuzz targets if needed and runs each for SECONDS seconds.
# Fails on the first finding; crash inputs are kept in the build folder.
#   fuzz/run.sh SECONDS [BUILD_DIR]
set -eu

seconds=${1:?usage: fuzz/run.sh SECONDS [BUILD_DIR]}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build_dir=${2:-$source_dir/build/fuzz}

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz/run.sh: clang++ not found" >&2
    exit 1
fi
if [ ! -f "$build_dir/build.ninja" ] && [ ! -f "$build_dir/Makefile" ]; then
    generator=
    command -v ninja >/dev/null 2>&1 && generator="-G Ninja"
    # shellcheck disable=SC2086
    CXX=clang++ cmake -S "$source_dir" -B "$build_dir" $generator -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DRKXML_BUILD_FUZZERS=ON -DRKXML_BUILD_TESTS=OFF -DRKXML_BUILD_BENCHMARKS=OFF -DRKXML_BUILD_EXAMPLES=OFF
fi
cmake --build "$build_dir" --target fuzz_read fuzz_roundtrip fuzz_symbols fuzz_api fuzz_convert

status=0
for target in fuzz_read fuzz_roundtrip fuzz_symbols fuzz_api fuzz_convert; do
    # New inputs go to a working corpus in the build folder; the committed seeds are only read.
    # The value conversion has seeds and a dictionary of numbers of its own.
    seeds="$here/corpus" dict="$here/xml.dict"
    [ "$target" = fuzz_convert ] && seeds="$here/corpus-convert" dict="$here/convert.dict"
    work="$build_dir/fuzz/corpus-$target"
    findings="$build_dir/fuzz/findings-$target"
    mkdir -p "$work" "$findings"
    echo "== $target for $seconds s"
    if ! "$build_dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -dict="$dict" -artifact_prefix="$findings/" -print_final_stats=1 \
        "$work" "$seeds"; then
        echo "== $target: finding kept in $findings" >&2
        status=1
    fi
done
exit $status
