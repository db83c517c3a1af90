#!/usr/bin/env bash
# Runs the tool's main job on a shipped example: the legacy property file
# examples/legacy_grades.udm (six grades of type 20000) is converted into a
# packed UDB file, which is then shown in text form.
set -u
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$build/bin/tarnvel"
input="$root/examples/legacy_grades.udm"
output="$build/demo.udb"

echo "\$ tarnvel -vxmat examples/legacy_grades.udm -udb $output"
rm -f "$output"
"$bin" -vxmat "$input" -udb "$output"
status=$?
echo "exit code: $status"
[ "$status" -eq 0 ] || exit "$status"
echo "wrote $output ($(wc -c <"$output") bytes, packed)"

if [ -x "$build/bin/udmconv" ]; then
    echo
    echo "\$ udmconv --dump $output"
    "$build/bin/udmconv" --dump "$output"
fi
