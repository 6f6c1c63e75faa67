#!/bin/sh
# The kill matrix: plants each fault of faults/*.patch in turn into a copy of the checked-out tree, builds it
# and runs every CTest test (no stop at the first failure), then tells which tests catch which faults.
# A tool for maintainers, not a test: it takes about a minute per fault on two cores.
#   faults/run.sh [PATTERN]      (PATTERN: a shell pattern of patch names, default every patch)
# Results: build/faults/results/NAME.failed lists the tests that failed with fault NAME planted
# ("BUILD" if it did not build, "APPLY" if the patch no longer applies); faults/matrix.py prints the
# summary from them.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
work=$root/build/faults
tree=$work/tree
results=$work/results
pattern=${1:-*}
mkdir -p "$results"

# A worktree of the checked-out commit, so that the patches never touch the developer's files.
if [ ! -d "$tree" ]; then
    git -C "$root" worktree add --detach "$tree" HEAD >/dev/null
fi
git -C "$tree" checkout --detach -q "$(git -C "$root" rev-parse HEAD)"
git -C "$tree" reset -q --hard
cmake --preset default -S "$tree" -B "$work/build" >/dev/null
cmake --build "$work/build" >/dev/null
ctest --test-dir "$work/build" -j "$(nproc)" >/dev/null 2>&1 || {
    echo "faults: the suite fails without a fault planted; fix that first" >&2
    exit 1
}
# Every test, so that the summary also names the tests that catch nothing.
ctest --test-dir "$work/build" -N | sed -n 's/^ *Test *#[0-9]*: //p' >"$work/tests.list"

for patch in "$here"/$pattern.patch; do
    [ -f "$patch" ] || { echo "faults: no patch matches $pattern" >&2; exit 1; }
    name=$(basename "$patch" .patch)
    if ! git -C "$tree" apply "$patch"; then
        echo "faults: $name does not apply" >&2
        echo APPLY >"$results/$name.failed"
        continue
    fi
    if cmake --build "$work/build" >/dev/null 2>&1; then
        ctest --test-dir "$work/build" -j "$(nproc)" >/dev/null 2>&1 || true
        # LastTestsFailed.log holds "NUMBER:NAME" for each failed test of the last run.
        failed_log=$work/build/Testing/Temporary/LastTestsFailed.log
        if [ -f "$failed_log" ]; then cut -d: -f2- "$failed_log" >"$results/$name.failed"; else : >"$results/$name.failed"; fi
        rm -f "$failed_log"
    else
        echo BUILD >"$results/$name.failed"
    fi
    git -C "$tree" reset -q --hard
    echo "$name: $(wc -l <"$results/$name.failed") failing tests"
done
# Leaves the build as the unchanged tree has it.
cmake --build "$work/build" >/dev/null
python3 "$here/matrix.py" "$results" "$work/tests.list"
