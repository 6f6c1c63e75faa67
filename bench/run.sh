#!/bin/sh
# The full benchmark in one command; bench.py --help lists the options.
exec python3 "$(dirname "$0")/bench.py" "$@"
