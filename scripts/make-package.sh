#!/usr/bin/env bash
# Builds Kestrane from a clean build tree for the prefix /usr and makes the
# Debian package with CPack (dependencies computed from the binaries by
# dpkg-shlibdeps). Prints the path of the .deb as its last line.
#   KESTRANE_PACKAGE_BUILD_DIR  the build tree (default build-package/); it
#                               is removed first unless
#   KESTRANE_PACKAGE_INCREMENTAL=1  keeps it (for repeated test runs)
#   KESTRANE_SKIP_DEPS=1        do not install missing packages first
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
source "$here/deps.sh"
if [ "${KESTRANE_SKIP_DEPS:-0}" != 1 ]; then
  kestrane_install_deps runtime build >&2
fi
build="${KESTRANE_PACKAGE_BUILD_DIR:-$root/build-package}"
if [ "${KESTRANE_PACKAGE_INCREMENTAL:-0}" != 1 ]; then
  rm -rf "$build"
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then
  # Paths below the source tree hash alike in every build tree.
  export CCACHE_BASEDIR="$root"
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
{
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DKESTRANE_BUILD_TESTS=OFF -DKESTRANE_BENCHMARKS=OFF "${launcher[@]}"
  cmake --build "$build" -j "$(nproc)"
  (cd "$build" && cpack -G DEB)
} >&2
deb="$(ls -t "$build"/*.deb | head -n 1)"
echo "$deb"
