#!/usr/bin/env bash
# Makes the Debian package with scripts/make-package.sh (in its own build
# tree, kept between runs so later runs are incremental) and checks it:
# lintian reports no error, the desktop entry passes desktop-file-validate,
# the metainfo passes `appstreamcli validate --no-net`, and every command,
# unpacked, answers --version. A checker that is not installed is skipped
# with one line saying so.
#   package_test.sh SOURCE_DIR TREE VERSION "COMMANDS"
set -uo pipefail
root="$1"
tree="$2"
version="$3"
read -r -a commands <<<"$4"

deb="$(KESTRANE_SKIP_DEPS=1 KESTRANE_PACKAGE_INCREMENTAL=1 KESTRANE_PACKAGE_BUILD_DIR="$tree" \
  "$root/scripts/make-package.sh" 2>"$tree.log" | tail -n 1)"
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
  tail -n 30 "$tree.log"
  echo "FAIL make-package.sh printed no package ('$deb')"
  exit 1
fi
echo "package: $deb"
unpacked="$(mktemp -d /tmp/kestrane-package-test.XXXXXX)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"

failures=0
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}

if command -v lintian >/dev/null 2>&1; then
  report="$(lintian --allow-root "$deb" 2>&1)"
  if grep -q '^E: ' <<<"$report"; then
    fail "lintian errors:"
    grep '^E: ' <<<"$report" | sed 's/^/  /'
  else
    echo "PASS lintian: no errors"
  fi
  grep '^W: ' <<<"$report" | sed 's/^/  (lintian) /'
else
  echo "SKIP lintian: not installed (package lintian)"
fi

desktop="$unpacked/usr/share/applications/com.morvane.Kestrane.desktop"
if command -v desktop-file-validate >/dev/null 2>&1; then
  if out="$(desktop-file-validate "$desktop" 2>&1)" && [ -z "$out" ]; then
    echo "PASS desktop-file-validate"
  else
    fail "desktop-file-validate: $out"
  fi
else
  echo "SKIP desktop-file-validate: not installed (package desktop-file-utils)"
fi

metainfo="$unpacked/usr/share/metainfo/com.morvane.Kestrane.metainfo.xml"
if command -v appstreamcli >/dev/null 2>&1; then
  if out="$(appstreamcli validate --no-net "$metainfo" 2>&1)"; then
    echo "PASS appstreamcli validate"
  else
    fail "appstreamcli validate: $out"
  fi
else
  echo "SKIP appstreamcli: not installed (package appstream)"
fi

libdir="$(dirname "$(find "$unpacked/usr/lib" -name 'libKestrane_DLL.so.*' -type f | head -n 1)")"
case "$libdir" in
  */usr/lib/*-linux-gnu) ;;
  *) fail "the libraries are not under the multiarch folder: ${libdir#$unpacked}" ;;
esac
for cmd in "${commands[@]}"; do
  [ -x "$unpacked/usr/bin/$cmd" ] || { fail "usr/bin/$cmd missing"; continue; }
  out="$(LD_LIBRARY_PATH="$libdir" QT_QPA_PLATFORM=offscreen "$unpacked/usr/bin/$cmd" --version 2>&1)"
  if [ $? -eq 0 ] && grep -qiE "^$cmd .*$version" <<<"$out"; then
    echo "PASS $cmd --version: $out"
  else
    fail "$cmd --version: '$out'"
  fi
done

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
