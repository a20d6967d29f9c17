#!/usr/bin/env bash
# Drives scripts/deps.sh against a fake apt-get, dpkg-query and sudo placed
# first on PATH. Each case gives the installed packages and the transcripts
# `apt-get -s` prints (captured from Debian 12), and checks what deps.sh
# installs and says. The rule under test: a set whose simulation removes
# anything is not installed at all, and the script goes on.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$(mktemp -d /tmp/kestrane-deps-test.XXXXXX)"
trap 'rm -rf "$work"' EXIT
fakebin="$work/bin"
mkdir -p "$fakebin"

# apt-get: logs every call; `-s install P...` prints $FAKE_SIM/<P+P...>.txt
# when present, else $FAKE_SIM/default.txt; a file ending in .fail makes the
# simulation exit 100 (as apt does for an unknown package).
cat >"$fakebin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE_LOG"
if [ "${1:-}" = "-s" ]; then
  shift 2
  pkgs=()
  for a in "$@"; do case "$a" in -*) ;; *) pkgs+=("$a") ;; esac; done
  key="$(IFS=+; echo "${pkgs[*]}")"
  if [ -f "$FAKE_SIM/$key.fail" ]; then cat "$FAKE_SIM/$key.fail"; exit 100; fi
  if [ -f "$FAKE_SIM/$key.txt" ]; then cat "$FAKE_SIM/$key.txt"; else cat "$FAKE_SIM/default.txt"; fi
fi
exit 0
EOF
cat >"$fakebin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
pkg="${!#}"
if grep -qx "$pkg" "$FAKE_INSTALLED"; then echo -n "install ok installed"; exit 0; fi
exit 1
EOF
cat >"$fakebin/sudo" <<'EOF'
#!/usr/bin/env bash
exec "$@"
EOF
chmod +x "$fakebin"/*

clean_sim='Reading package lists...
Building dependency tree...
The following NEW packages will be installed:
  clang
0 upgraded, 1 newly installed, 0 to remove and 0 not upgraded.
Inst clang (1:14.0-55.7~deb12u1 Debian:12.5/stable [amd64])
Conf clang (1:14.0-55.7~deb12u1 Debian:12.5/stable [amd64])'

# Stock Debian 12 GNOME: pipewire-audio conflicts with pulseaudio.
gnome_sim='Reading package lists...
Building dependency tree...
The following packages will be REMOVED:
  gnome-core pipewire-alsa pipewire-audio pipewire-pulse
The following NEW packages will be installed:
  pulseaudio
0 upgraded, 1 newly installed, 4 to remove and 0 not upgraded.
Remv gnome-core [1:43+1]
Remv pipewire-audio [0.3.65-3+deb12u1]
Remv pipewire-alsa [0.3.65-3+deb12u1]
Remv pipewire-pulse [0.3.65-3+deb12u1]
Inst pulseaudio (16.1+dfsg1-2+b1 Debian:12.5/stable [amd64])
Conf pulseaudio (16.1+dfsg1-2+b1 Debian:12.5/stable [amd64])'

unknown_sim='Reading package lists...
Building dependency tree...
E: Unable to locate package no-such-package'

failures=0
# run_case NAME INSTALLED SIMS PACKAGES... -- expectations via globals below.
run_case() {
  local name="$1" installed="$2" sims="$3"
  shift 3
  local dir="$work/$name"
  mkdir -p "$dir/sim"
  printf '%s\n' $installed >"$dir/installed"
  : >"$dir/log"
  # sims: "key=variable" pairs naming the transcript for a package list.
  local pair
  for pair in $sims; do
    local key="${pair%%=*}" var="${pair#*=}"
    case "$key" in
      *.fail) printf '%s\n' "${!var}" >"$dir/sim/$key" ;;
      *) printf '%s\n' "${!var}" >"$dir/sim/$key.txt" ;;
    esac
  done
  local output status
  output="$(PATH="$fakebin:$PATH" FAKE_LOG="$dir/log" FAKE_SIM="$dir/sim" FAKE_INSTALLED="$dir/installed" \
    bash -c 'source "$1/scripts/deps.sh"; shift; "$@"' _ "$root" "$@" 2>&1)"
  status=$?
  local ok=1
  if [ "$status" -ne 0 ]; then ok=0; echo "  exit status $status, expected 0"; fi
  local installs
  installs="$(grep -E '^apt-get install -y' "$dir/log" | sed 's/.*--no-remove //' | tr '\n' '|' | sed 's/|$//')"
  if [ "$installs" != "$expect_installs" ]; then
    ok=0
    echo "  installed '$installs', expected '$expect_installs'"
  fi
  if [ -n "$expect_no_remove_flag" ] && grep -E '^apt-get install -y' "$dir/log" | grep -qv -- '--no-remove'; then
    ok=0
    echo "  a real install ran without --no-remove"
  fi
  local pattern
  for pattern in "${expect_says[@]}"; do
    if ! grep -qE -- "$pattern" <<<"$output"; then
      ok=0
      echo "  output lacks /$pattern/"
    fi
  done
  if [ $ok -eq 1 ]; then
    echo "PASS $name"
  else
    echo "FAIL $name"
    sed 's/^/    | /' <<<"$output"
    failures=$((failures + 1))
  fi
}

expect_no_remove_flag=1

expect_installs=""
expect_says=()
run_case nothing-missing "clang pulseaudio" "" kestrane_install_set test-only clang pulseaudio
if grep -q . "$work/nothing-missing/log"; then
  echo "FAIL nothing-missing: apt-get was called: $(cat "$work/nothing-missing/log")"
  failures=$((failures + 1))
fi

expect_installs="clang"
expect_says=("Installing the missing test-only packages: clang")
run_case clean-install "" "default=clean_sim" kestrane_install_set test-only clang

expect_installs=""
expect_says=("would remove: gnome-core pipewire-audio pipewire-alsa pipewire-pulse"
  "pulseaudio conflicts with what is installed: apt would remove gnome-core"
  "installed nothing of the test-only set")
run_case removal-blocks-whole-set "pipewire-pulse" "clang+pulseaudio=gnome_sim pulseaudio=gnome_sim clang=clean_sim" \
  kestrane_install_set test-only clang pulseaudio

expect_installs=""
expect_says=("apt cannot install the build packages" "Unable to locate package no-such-package"
  "going on with what is there")
run_case unknown-package "" "no-such-package.fail=unknown_sim" kestrane_install_set build no-such-package

# With pipewire-pulse installed the sound-server set is not even tried.
expect_installs=""
expect_says=()
run_case pipewire-serves "pipewire-pulse" "default=gnome_sim" \
  bash -c 'source "$0/scripts/deps.sh"; KESTRANE_TEST_PACKAGES=(); kestrane_install_deps test' "$root"
if grep -q 'pulseaudio' "$work/pipewire-serves/log"; then
  echo "FAIL pipewire-serves: pulseaudio was simulated or installed"
  failures=$((failures + 1))
fi

# With no sound server at all, pulseaudio is installed when nothing goes.
expect_installs="pulseaudio"
expect_says=("Installing the missing sound-server packages: pulseaudio")
run_case no-server-installs-pulseaudio "" "default=clean_sim" \
  bash -c 'source "$0/scripts/deps.sh"; KESTRANE_TEST_PACKAGES=(); kestrane_install_deps test' "$root"

if [ $failures -ne 0 ]; then
  echo "$failures case(s) failed"
  exit 1
fi
echo "all cases passed"
