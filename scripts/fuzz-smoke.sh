#!/usr/bin/env bash
# Runs each libFuzzer target of a fuzz build for a bounded time over a copy
# of its seed corpus, two targets at a time. A crash fails the run; the
# crashing input is kept in the build folder for turning into a regression
# test. The readers of whole UDM files get twice the time of the others.
set -euo pipefail
# Absolute, since some targets change their working directory to a private
# folder and must still find the corpus and artifact folders afterwards.
build=$(cd "${1:-build-fuzz}" && pwd)
seconds=${2:-30}
root=$(cd "$(dirname "$0")/.." && pwd)

# The inspection target reads two UDM files from one input: two bytes
# (little-endian) give the length of the first, the rest is the second.
# Pairs of the reader's seeds join its own: a damaged text beside a gzip
# file, a packed file beside a text, a mesh model as text beside packed.
add_file_pairs() {
  local out=$1 seeds="$root/fuzz/corpus/udmreader" first second size
  for pair in recovery.udm:gzip.udm.gz packed.udb:text.udm every-family.udm:every-family.udb; do
    first=$seeds/${pair%%:*}; second=$seeds/${pair##*:}
    size=$(stat -c %s "$first")
    { printf "\\x$(printf %02x $((size & 255)))\\x$(printf %02x $((size >> 8)))"
      cat "$first" "$second"; } >"$out/pair-${pair%%:*}-${pair##*:}"
  done
}
export -f add_file_pairs

run_target() {
  local target=$1 name work budget
  name=$(basename "$target" _fuzz)
  work="$build/fuzz-work/$name"
  budget=$seconds
  case "$name" in udmreader|udmlexer) budget=$((seconds * 2)) ;; esac
  rm -rf "$work"; mkdir -p "$work/corpus" "$work/artifacts"
  if [ -d "$root/fuzz/corpus/$name" ]; then
    cp -r "$root/fuzz/corpus/$name/." "$work/corpus/"
  fi
  [ "$name" = udminspect ] && add_file_pairs "$work/corpus"
  if "$target" -max_total_time="$budget" -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; then
    echo "fuzz $name (${budget}s): $(grep -E '^Done|DONE' "$work/log" | tail -1)"
  else
    echo "fuzz target $name FAILED:"; tail -40 "$work/log"; return 1
  fi
}
export -f run_target
export build seconds root

shopt -s nullglob
targets=("$build"/bin/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets in $build/bin"; exit 1
fi
printf '%s\n' "${targets[@]}" | xargs -P 2 -I{} bash -c 'run_target "$@"' _ {}
