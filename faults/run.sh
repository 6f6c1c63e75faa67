#!/bin/sh
# The kill matrix: plants each fault of faults/faults.txt in turn into a copy of the checked-out tree, builds it
# and runs every CTest test (no stop at the first failure), then tells which tests catch which faults.
# A tool for maintainers, not a test: about 10-15 s a fault on two cores after a first full build.
#   faults/run.sh [PATTERN...]   (shell patterns of fault names, default every fault)
#   faults/run.sh --new          (only the faults that have no result yet)
# The two package tests (package_*), which install and build a consumer (~30 s), run only for faults in
# include/ or in CMake files: no other fault changes what a consumer sees. Each test gets at most 60 s (the
# GoogleTest cases keep their own 120 s, the package tests get 300), so that a fault that makes a test hang
# counts as caught by it.
# Results: build/faults/results/NAME.failed lists the tests that failed with fault NAME planted
# ("BUILD" if it did not build, "APPLY" if its original text is no longer found exactly once);
# build/faults/STATUS tells how far a run is; faults/matrix.py prints the summary.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
work=$root/build/faults
tree=$work/tree
results=$work/results
faults=$here/faults.txt
mkdir -p "$results"

# A worktree of the checked-out commit, so that the faults never touch the developer's files.
if [ ! -d "$tree" ]; then
    git -C "$root" worktree add --detach "$tree" HEAD >/dev/null
fi
git -C "$tree" checkout --detach -q "$(git -C "$root" rev-parse HEAD)"
git -C "$tree" reset -q --hard
# A changed shared library does not relink the programs that load it: a fault in one source then costs
# one compilation and one link.
cmake --preset default -S "$tree" -B "$work/build" -DCMAKE_LINK_DEPENDS_NO_SHARED=ON >/dev/null
cmake --build "$work/build" >/dev/null
# failing ARGUMENT...: runs the tests that the ctest arguments select and prints the names of those that failed.
failing() {
    # LastTestsFailed.log holds "NUMBER:NAME" for each failed test of the last run.
    failed_log=$work/build/Testing/Temporary/LastTestsFailed.log
    rm -f "$failed_log"
    ctest --test-dir "$work/build" -j "$(nproc)" "$@" >/dev/null 2>&1 || true
    if [ -f "$failed_log" ]; then cut -d: -f2- "$failed_log"; fi
}
# run_tests [packages]: every test but the package tests, at most 60 s each; with "packages" those too, which
# take half a minute alone and are given five.
run_tests() {
    failing --timeout 60 -E '^package_'
    if [ "${1:-}" = packages ]; then failing --timeout 300 -R '^package_'; fi
}
# Once per state of the code and tests: a run started again skips it (changes to faults/ and docs/ count not).
commit=$(git -C "$tree" log -1 --format=%H -- . ':(exclude)faults' ':(exclude)docs')
if [ "$(cat "$work/base.passed" 2>/dev/null)" != "$commit" ]; then
    run_tests packages >"$work/base.failed"
    if [ -s "$work/base.failed" ]; then
        echo "faults: the suite fails without a fault planted; fix that first: $(cat "$work/base.failed")" >&2
        exit 1
    fi
    echo "$commit" >"$work/base.passed"
fi
# Every test, so that the summary also names the tests that catch nothing.
ctest --test-dir "$work/build" -N | sed -n 's/^ *Test *#[0-9]*: //p' >"$work/tests.list"

# Results of faults no longer in the table would count in the summary.
python3 "$here/plant.py" list "$faults" "$tree" >"$work/names"
for result in "$results"/*.failed; do
    [ -f "$result" ] || continue
    grep -qxF "$(basename "$result" .failed)" "$work/names" || rm -f "$result"
done
if [ "${1:-}" = --new ]; then
    while read -r name; do [ -f "$results/$name.failed" ] || echo "$name"; done <"$work/names" >"$work/batch"
else
    python3 "$here/plant.py" list "$faults" "$tree" "$@" >"$work/batch"
fi
[ -s "$work/batch" ] || { echo "faults: no fault matches $*" >&2; exit 1; }

total=$(wc -l <"$work/names")
count=$(wc -l <"$work/batch")
started=$(date +%s)
done_count=0
status() { echo "$(date -u +%H:%M:%S) faults written: $total, with results: $(find "$results" -name "*.failed" | wc -l); this batch: $done_count of $count done" >"$work/STATUS"; }
status
while read -r name <&3; do
    fault_started=$(date +%s)
    if ! python3 "$here/plant.py" apply "$faults" "$tree" "$name" >"$work/touched"; then
        echo APPLY >"$results/$name.failed"
    elif cmake --build "$work/build" >/dev/null 2>&1; then
        packages=
        grep -qE '^include/|CMakeLists\.txt$|\.cmake$' "$work/touched" && packages=packages
        run_tests $packages >"$results/$name.failed"
    else
        echo BUILD >"$results/$name.failed"
    fi
    git -C "$tree" reset -q --hard
    done_count=$((done_count + 1))
    status
    echo "$name: $(wc -l <"$results/$name.failed") failing tests, $(($(date +%s) - fault_started)) s"
done 3<"$work/batch"
echo "faults: $count faults in $(($(date +%s) - started)) s"
# Leaves the build as the unchanged tree has it.
cmake --build "$work/build" >/dev/null
python3 "$here/matrix.py" "$results" "$work/tests.list"
