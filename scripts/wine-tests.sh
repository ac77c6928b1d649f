#!/usr/bin/env bash
# Runs a command (a test run) that starts many Windows programs under Wine,
# with one wineserver kept alive for all of them: by default the server
# quits a moment after its last program, and a program started just then
# can fail before it runs. The server is stopped again afterwards.
# Usage: WINEPREFIX=<prefix> scripts/wine-tests.sh <command...>
set -uo pipefail
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
server=$(command -v wineserver64 || command -v wineserver || echo /usr/lib/wine/wineserver64)
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
"$server" -p
# The first program of a server session starts Wine's own services, which
# live as long as the server and keep the standard streams they were given:
# started here with none, they cannot hold a test's output pipe open (the
# test runner would wait for them).
"$wine" wineboot </dev/null >/dev/null 2>&1
status=0
"$@" || status=$?
"$server" -k || true
exit "$status"
