#!/usr/bin/env bash
# Runs the tool's main job on a shipped example and shows the outcome.
set -u
build=${1:-build}
bin="$build/bin/tarnvel"
echo "\$ tarnvel   (no arguments: the usage text)"
"$bin"
echo "exit code: $?"
