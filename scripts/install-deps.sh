#!/usr/bin/env bash
# Installs the Debian packages of one set of the project's work:
#
#   scripts/install-deps.sh [build|test|package|fuzz|all]...   (default: build)
#
#   build    the four programs and the Standard database (the demo)
#   test     build, plus the test suite, the benchmarks and the manual page lint
#   package  build, plus the Debian package and its checks (cpack, lintian)
#   fuzz     build, plus clang and its fuzzing runtime
#   all      every set, and clang-format
#
# Only missing packages are installed; a machine that has them all is left
# untouched, so this is cheap to run before every build. Without root and
# without sudo it installs nothing: it names the missing packages and the
# command that installs them, and fails. Where dpkg-query is not available
# (not a Debian system), it cannot tell what is installed and leaves the
# check to the build.
set -euo pipefail

build=(build-essential cmake ninja-build pkg-config gzip zlib1g-dev libisal-dev
       libabsl-dev libpugixml-dev libinih-dev nlohmann-json3-dev libcairo2-dev)
test=(libgtest-dev libgmock-dev libbenchmark-dev mandoc git python3 chromium chromium-driver)
package=(dpkg-dev file lintian mandoc)
fuzz=(clang libclang-rt-dev)
format=(clang-format)

wanted=("${build[@]}")
for set in "${@:-build}"; do
  case "$set" in
    build) ;;
    test) wanted+=("${test[@]}") ;;
    package) wanted+=("${package[@]}") ;;
    fuzz) wanted+=("${fuzz[@]}") ;;
    all) wanted+=("${test[@]}" "${package[@]}" "${fuzz[@]}" "${format[@]}") ;;
    *)
      echo "install-deps.sh: unknown set '$set' (build, test, package, fuzz or all)" >&2
      exit 2 ;;
  esac
done

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "install-deps.sh: dpkg-query not found, so installed packages cannot be checked;" >&2
  echo "  the build needs (Debian names): ${wanted[*]}" >&2
  exit 0
fi

# The wanted packages that are not installed.
missing_packages() {
  local p
  for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$p"
    fi
  done
}

mapfile -t missing < <(missing_packages)
[ ${#missing[@]} -eq 0 ] && exit 0

how="apt-get update && apt-get install --no-install-recommends ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
  else
    echo "install-deps.sh: missing Debian packages: ${missing[*]}" >&2
    echo "  You are not root and sudo is not installed. As root, run:" >&2
    echo "    $how" >&2
    echo "  (or, where the libraries come from elsewhere, run make with SKIP_DEPS=1)" >&2
    exit 1
  fi
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
failed() {
  mapfile -t still < <(missing_packages)
  echo "install-deps.sh: $1; still missing: ${still[*]:-nothing}" >&2
  echo "  Install them by hand as root with:" >&2
  echo "    apt-get update && apt-get install --no-install-recommends ${still[*]:-}" >&2
  echo "  (a package that apt-get cannot find needs the Debian 12 'main' archive" >&2
  echo "  in /etc/apt/sources.list)" >&2
  exit 1
}
"${sudo[@]}" apt-get update -qq || failed "apt-get update failed (no network or no archive?)"
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
  failed "apt-get install failed"
