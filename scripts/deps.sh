#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# any is missing. Sourced by the other scripts; safe to run repeatedly.
set -euo pipefail

KESTRANE_PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-multimedia-dev libqt6multimedia6
  libhidapi-dev libhidapi-hidraw0
  unixodbc unixodbc-dev odbcinst libsqliteodbc odbc-postgresql postgresql
  libfreetype-dev fonts-dejavu-core
  pulseaudio pulseaudio-utils
  xvfb xauth x11-utils imagemagick
)

kestrane_install_deps() {
  local missing=()
  local p
  for p in "${KESTRANE_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# Configures (once) and builds the shared build tree.
kestrane_build() {
  local src="$1" build="$2"
  shift 2
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -G Ninja "$@"
  fi
  cmake --build "$build" -j "$(nproc)"
}
