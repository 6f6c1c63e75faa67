#!/bin/sh
# Runs a Windows program under Wine, in the Wine prefix that WINEPREFIX names:
#   RunUnderWine.sh WINESERVER WINE PROGRAM [ARGUMENT...]
#
# The first program of a Wine session starts the server and Wine's background
# services, and these keep the program's output open until the server ends, so a
# test runner that waits for the output to close waits for them too (seconds
# after each program, or until its time-out when programs keep the server busy).
# So a session starts here apart from the output, once, with a server that stays
# a few seconds after the last program; a lock keeps programs started at the same
# time from racing to start it.
set -u
server=$1
wine=$2
shift 2

start_session() {
    # Neither may inherit the lock, or it would be held as long as they run.
    if "$server" -p10 </dev/null >/dev/null 2>&1 9>&-; then  # fails if a server is running already
        "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    fi
}

if command -v flock >/dev/null 2>&1; then
    (
        flock 9
        start_session
    ) 9>"${WINEPREFIX:?}.lock"
else
    start_session
fi
exec "$wine" "$@"
