#!/usr/bin/env bash
# Runs the test suite of a build folder with a private temporary directory,
# then fails if the suite left anything in it: every test, and every
# program the tests run, must remove what it made there.
#   scripts/run-suite.sh BUILD_DIR JOBS
set -euo pipefail
build=${1:?usage: run-suite.sh BUILD_DIR JOBS}
jobs=${2:-1}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarnvel-suite-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
status=0
TMPDIR=$scratch ctest --test-dir "$build" --output-on-failure -j "$jobs" || status=$?
left=$(find "$scratch" -mindepth 1 -maxdepth 1 -printf '  %f\n')
if [ -n "$left" ]; then
    echo "run-suite.sh: the test suite left these in its temporary directory:" >&2
    echo "$left" >&2
    [ "$status" -ne 0 ] || status=1
fi
exit "$status"
