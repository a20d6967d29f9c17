#!/usr/bin/env bash
# Installs what is missing, builds once and runs every test through ctest.
# A second, small tree builds the libraries and their tests with
# AddressSanitizer and UBSan.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
source "$here/deps.sh"
kestrane_install_deps runtime build test

build="${KESTRANE_BUILD_DIR:-$root/build}"
asan="${KESTRANE_ASAN_BUILD_DIR:-$root/build-asan}"

# The tree follows .clang-format; KESTRANE_CHECK_FORMAT=0 skips the check.
if [ "${KESTRANE_CHECK_FORMAT:-1}" = 1 ]; then "$here/check-format.sh"; fi

kestrane_build "$root" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRANE_WERROR=ON
kestrane_build "$root" "$asan" -DCMAKE_BUILD_TYPE=Debug -DKESTRANE_SANITIZE=ON \
  -DKESTRANE_LIBS_ONLY=ON -DKESTRANE_BENCHMARKS=OFF -DKESTRANE_WERROR=ON

export QT_QPA_PLATFORM=offscreen
status=0
echo "== Sanitizer build: library tests =="
(cd "$asan" && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j 2) || status=1
echo "== Full build: all tests =="
(cd "$build" && ctest --output-on-failure -j 2) || status=1
exit $status
