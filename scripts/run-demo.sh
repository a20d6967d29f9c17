#!/usr/bin/env bash
# Installs what is missing, builds, and watches a simulated board's six
# channels for a few seconds.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
source "$here/deps.sh"
kestrane_install_deps
build="${KESTRANE_BUILD_DIR:-$root/build}"
kestrane_build "$root" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

export KESTRANE_SIMULATION="$root/packaging/demo/demo-board.sim"
"$build/boardlib/kestrane-board" list
"$build/boardlib/kestrane-board" firmware 000A
"$build/boardlib/kestrane-board" watch 000A --count 20
