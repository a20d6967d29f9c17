#!/usr/bin/env bash
# Installs the Debian packages Kestrane needs, in sets: what the program needs
# to run, what it needs to build, and what only the tests need. Sourced by the
# other scripts; safe to run repeatedly. It never removes a package: each set
# is simulated first and, when apt would remove anything, nothing of that set
# is installed and the script goes on with what is there.
set -euo pipefail

# One package per word; adding a package to a set is adding its name here.
KESTRANE_RUNTIME_PACKAGES=(
  libqt6core6 libqt6dbus6 libqt6gui6 libqt6widgets6 libqt6multimedia6 qt6-qpa-plugins
  libhidapi-hidraw0 libudev1
  unixodbc odbcinst libsqliteodbc
)
KESTRANE_BUILD_PACKAGES=(
  build-essential cmake ninja-build pkg-config git file
  qt6-base-dev qt6-multimedia-dev
  libhidapi-dev libudev-dev unixodbc-dev
  libfreetype-dev fonts-dejavu-core
  help2man
)
KESTRANE_TEST_PACKAGES=(
  clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  odbc-postgresql postgresql
  pulseaudio-utils
  xvfb xauth x11-utils imagemagick
  dbus-daemon
  lintian desktop-file-utils appstream
  prometheus-node-exporter prometheus systemd
  twm
  at-spi2-core python3-pyatspi dbus-x11 weston qt6-wayland
  xmp openmpt123
  umockdev libumockdev-dev gir1.2-umockdev-1.0
)
# The real-audio tests need a Pulse-compatible server. One already present
# (pipewire-pulse on a stock desktop) serves; pulseaudio is only wanted where
# there is none, and even then only when apt would remove nothing for it.
KESTRANE_SOUND_SERVER_PACKAGES=(pulseaudio)
KESTRANE_PULSE_COMPATIBLE=(pulseaudio pipewire-pulse)

kestrane_package_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

kestrane_sudo() {
  if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi
}

KESTRANE_APT_UPDATED=0
kestrane_apt_update_once() {
  if [ "$KESTRANE_APT_UPDATED" -eq 0 ]; then
    kestrane_sudo apt-get update || echo "deps.sh: apt-get update failed; using the package lists there are"
    KESTRANE_APT_UPDATED=1
  fi
}

# The packages an `apt-get -s` transcript removes, one line, blank-separated.
kestrane_removals() {
  sed -n 's/^Remv \([^ ]*\).*/\1/p' | tr '\n' ' ' | sed 's/ $//'
}

# kestrane_install_set NAME PACKAGE...
# Installs the missing packages of one set, all or nothing. Returns 0 even
# when it installs nothing, so the caller goes on with what is there.
kestrane_install_set() {
  local name="$1"
  shift
  local missing=() p
  for p in "$@"; do
    kestrane_package_installed "$p" || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  kestrane_apt_update_once
  local sim
  if ! sim="$(LC_ALL=C apt-get -s install --no-install-recommends "${missing[@]}" 2>&1)"; then
    echo "deps.sh: apt cannot install the $name packages (${missing[*]}):"
    printf '%s\n' "$sim" | grep -E '^(E:|W:| )' | head -n 8 | sed 's/^/  /'
    echo "deps.sh: installed nothing of the $name set; going on with what is there"
    return 0
  fi
  local removed
  removed="$(printf '%s\n' "$sim" | kestrane_removals)"
  if [ -n "$removed" ]; then
    echo "deps.sh: installing the $name packages (${missing[*]}) would remove: $removed"
    # Name the package that forces the removal: it conflicts with, or
    # replaces something the removed packages depend on.
    local one oneRemoved
    for p in "${missing[@]}"; do
      one="$(LC_ALL=C apt-get -s install --no-install-recommends "$p" 2>&1 || true)"
      oneRemoved="$(printf '%s\n' "$one" | kestrane_removals)"
      if [ -n "$oneRemoved" ]; then
        echo "deps.sh:   $p conflicts with what is installed: apt would remove $oneRemoved for it"
      fi
    done
    echo "deps.sh: installed nothing of the $name set; going on with what is there"
    return 0
  fi
  echo "Installing the missing $name packages: ${missing[*]}"
  # --no-remove: should the real run differ from the simulation, apt stops
  # instead of removing anything.
  kestrane_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends --no-remove \
    "${missing[@]}"
}

# True when some Pulse-compatible sound server is installed.
kestrane_have_pulse_server() {
  local p
  for p in "${KESTRANE_PULSE_COMPATIBLE[@]}"; do
    kestrane_package_installed "$p" && return 0
  done
  return 1
}

# kestrane_install_deps [runtime] [build] [test]
# Without arguments: all three sets, as the tests need.
kestrane_install_deps() {
  local sets=("$@")
  if [ ${#sets[@]} -eq 0 ]; then sets=(runtime build test); fi
  local set
  for set in "${sets[@]}"; do
    case "$set" in
      runtime) kestrane_install_set run-time "${KESTRANE_RUNTIME_PACKAGES[@]}" ;;
      build) kestrane_install_set build "${KESTRANE_BUILD_PACKAGES[@]}" ;;
      test)
        kestrane_install_set test-only "${KESTRANE_TEST_PACKAGES[@]}"
        if ! kestrane_have_pulse_server; then
          kestrane_install_set sound-server "${KESTRANE_SOUND_SERVER_PACKAGES[@]}"
        fi
        ;;
      *)
        echo "deps.sh: unknown package set '$set'" >&2
        return 2
        ;;
    esac
  done
}

# kestrane_build SOURCE BUILD [CMAKE ARGS...]
# Configures the tree (once; later calls keep its settings) and builds it.
kestrane_build() {
  local src="$1" build="$2"
  shift 2
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -G Ninja "$@"
  fi
  cmake --build "$build" -j "$(nproc)"
}
