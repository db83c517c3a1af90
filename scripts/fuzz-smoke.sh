#!/usr/bin/env bash
# Runs each libFuzzer target of a fuzz build for a bounded time over a copy
# of its seed corpus. A crash fails the run; the crashing input is kept in
# the build folder for turning into a regression test.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
shopt -s nullglob
for target in "$build"/bin/*_fuzz; do
  name=$(basename "$target" _fuzz)
  work="$build/fuzz-work/$name"
  rm -rf "$work"; mkdir -p "$work/corpus" "$work/artifacts"
  if [ -d "$root/fuzz/corpus/$name" ]; then
    cp -r "$root/fuzz/corpus/$name/." "$work/corpus/"
  fi
  echo "== fuzzing $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; then
    echo "fuzz target $name failed:"; tail -40 "$work/log"; status=1
  else
    tail -1 "$work/log"
  fi
done
exit $status
