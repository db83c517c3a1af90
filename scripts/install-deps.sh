#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and fuzzes with.
# Only missing packages are installed; a machine that has them all is left
# untouched, so this is cheap to run before every build.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang libclang-rt-dev
  clang-format libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev
  libpugixml-dev libinih-dev libisal-dev libabsl-dev nlohmann-json3-dev gzip
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
