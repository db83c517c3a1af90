#!/usr/bin/env bash
# Runs the tool's main job on shipped examples: the grade list
# examples/standard_grades.lst (eight grades of the Standard database the
# build makes in build/share/tarnvel/data/dat) is converted into a packed UDB file
# and one of its grades is shown; the tessel ASCII material file
# examples/moulding_grades.asc (six grades) is converted through a temporary
# material database, and the legacy property file examples/legacy_grades.udm
# (six grades of type 20000) into another; each result is summarised.
set -u
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$build/bin/tarnvel"

run() {
    local option=$1 input=$2 output=$3
    echo "\$ tarnvel $option ${input#"$root"/} -udb $output"
    rm -f "$output"
    "$bin" "$option" "$input" -udb "$output" | grep -E '^[0-9]+ of [0-9]+, |^File [0-9]+ of '
    local status=${PIPESTATUS[0]}
    echo "exit code: $status"
    [ "$status" -eq 0 ] || exit "$status"
    echo "wrote $output ($(wc -c <"$output") bytes, packed)"
    if [ -x "$build/bin/udmconv" ]; then
        echo "\$ udmconv --summary $output"
        "$build/bin/udmconv" --summary "$output" | grep -E '^(file|encoding|TSET)'
    fi
    echo
}

run -rax "$root/examples/standard_grades.lst" "$build/standard.udb"
if [ -x "$build/bin/matdb" ]; then
    echo "\$ matdb show $build/share/tarnvel/data/dat ALDERPOL AP120"
    "$build/bin/matdb" show "$build/share/tarnvel/data/dat" ALDERPOL AP120 | head -n 12
    echo "..."
    echo
fi
run -asc "$root/examples/moulding_grades.asc" "$build/moulding.udb"
run -vxmat "$root/examples/legacy_grades.udm" "$build/demo.udb"
