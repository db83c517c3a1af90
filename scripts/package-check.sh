#!/usr/bin/env bash
# Checks the Debian package that cpack wrote in a build folder: lintian must
# report no error, and the package unpacked into a temporary root must do
# the main job from there, in an empty folder, with no product or database
# variable set: convert the shipped grade list (-rax) and the shipped tessel
# ASCII material file (-asc), and read the results back.
#
#   scripts/package-check.sh [BUILD]     (default: build-release)
set -euo pipefail
build=$(cd "${1:-build-release}" && pwd)
scripts=$(cd "$(dirname "$0")" && pwd)
shopt -s nullglob
packages=("$build"/tarnvel_*.deb)
[ ${#packages[@]} -eq 1 ] || { echo "package-check: expected one tarnvel_*.deb in $build" >&2; exit 1; }
deb=${packages[0]}
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Architecture\|Depends\): /  \1: /p'

# lintian: errors fail; warnings and notes are shown.
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" | tee "$build/lintian.log" || true
  if grep -q '^E:' "$build/lintian.log"; then
    echo "package-check: lintian reports errors" >&2; exit 1
  fi
  echo "lintian: no error"
else
  echo "package-check: lintian is not installed (scripts/install-deps.sh package)" >&2; exit 1
fi

root=$(mktemp -d); work=$(mktemp -d)
trap 'rm -rf "$root" "$work"' EXIT
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
examples=$root/usr/share/doc/tarnvel/examples
cd "$work"
run() {
  env -u VTPATH -u VTPROJ -u VTCOMP -u KESPATH -u KOR_HOME -u KES_HOME -u KOR_DAT -u KES_DAT \
      -u TARNVEL_CONFIG "$@"
}
progress() { grep -E '^[0-9]+ of [0-9]+, ' | tail -n 1; }
run "$bin/tarnvel" -rax "$examples/standard_grades.lst" -udb standard.udb | progress
run "$bin/tarnvel" -asc "$examples/moulding_grades.asc" -udb moulding.udb | progress
for udb in standard.udb moulding.udb; do
  run "$bin/udmconv" --summary "$udb" | grep -E '^(encoding|TSET)'
done
[ "$(run "$bin/udmconv" --summary standard.udb | sed -n 's/^TSET *//p')" = 8 ] || {
  echo "package-check: standard.udb does not hold 8 sets" >&2; exit 1; }
[ "$(run "$bin/udmconv" --summary moulding.udb | sed -n 's/^TSET *//p')" = 6 ] || {
  echo "package-check: moulding.udb does not hold 6 sets" >&2; exit 1; }
for program in tarnvel-export matdb udmconv; do run "$bin/$program" --version; done
run "$bin/tarnvel-export" -supplier ALDERPOL -grade AP120 -output ap120.txt >/dev/null
[ -s ap120.txt ] || { echo "package-check: tarnvel-export did not find ALDERPOL AP120" >&2; exit 1; }

"$scripts/lint-man.sh" "$root"/usr/share/man/man*/*.gz
echo "package-check: the unpacked package converts the examples"
