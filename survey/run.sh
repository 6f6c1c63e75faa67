#!/bin/sh
# The surveys: the library and the rkxml program on every XML file of this machine (under /usr/share),
# apart from the unit tests, whose result may not depend on the files a machine holds. Builds what they
# need in build/surveys (build/survey is the default build's own), then runs each survey/*.py:
# foreign_files.py with the dump program, every other one with the rkxml program as its one argument.
# Fails if a survey finds a fault of ours; a file that a survey cannot classify is counted and listed.
#   survey/run.sh
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(dirname "$here")/build/surveys
cmake -S "$here/.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRKXML_BUILD_TESTS=ON \
    -DRKXML_BUILD_CLI=ON -DRKXML_BUILD_EXAMPLES=OFF -DRKXML_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target rkxml_foreign_dump rkxml_cli >/dev/null
failed=""
for survey in "$here"/*.py; do
    name=$(basename "$survey")
    case $name in
    foreign_files.py) program=$build/survey/rkxml_foreign_dump ;;
    *) program=$build/cli/rkxml ;;
    esac
    echo "== $name"
    python3 "$survey" "$program" || failed="$failed $name"
done
[ -z "$failed" ] || { echo "== failed:$failed"; exit 1; }
