#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and checks what a package
# would hold: every command answers --version with its name and version,
# each has its man page, no installed ELF file carries a RUNPATH, and the
# libraries, header, pkg-config file, desktop entry, metainfo, icons, udev
# rule and copyright are in place.
#   installed_commands_test.sh BUILD_DIR VERSION "COMMANDS"
set -uo pipefail
build="$1"
version="$2"
read -r -a commands <<<"$3"
prefix="$(mktemp -d /tmp/kestrane-install-test.XXXXXX)"
trap 'rm -rf "$prefix"' EXIT

if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
  cat "$prefix.log"
  rm -f "$prefix.log"
  echo "FAIL cmake --install"
  exit 1
fi
rm -f "$prefix.log"
failures=0
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}

libdir="$(dirname "$(find "$prefix" -name 'libKestrane_DLL.so.*' -type f | head -n 1)")"
[ -n "$libdir" ] && [ -d "$libdir" ] || fail "libKestrane_DLL not installed"
for lib in libKestrane_DLL libPlotwickDLL; do
  [ -f "$libdir/$lib.so.$version" ] || fail "$lib.so.$version missing"
  [ -L "$libdir/$lib.so.${version%%.*}" ] || fail "$lib.so.${version%%.*} link missing"
  soname="$(readelf -d "$libdir/$lib.so.$version" 2>/dev/null | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')"
  [ "$soname" = "$lib.so.${version%%.*}" ] || fail "$lib soname is '$soname'"
done

for cmd in "${commands[@]}"; do
  exe="$prefix/bin/$cmd"
  [ -x "$exe" ] || { fail "$cmd not installed as bin/$cmd"; continue; }
  [ -f "$prefix/share/man/man1/$cmd.1.gz" ] || fail "$cmd has no man page"
  out="$(LD_LIBRARY_PATH="$libdir" QT_QPA_PLATFORM=offscreen "$exe" --version 2>&1)"
  status=$?
  if [ $status -ne 0 ] || ! grep -qiE "^$cmd .*$version" <<<"$out"; then
    fail "$cmd --version: exit $status, output '$out'"
  else
    echo "PASS $cmd --version: $out"
  fi
done

while IFS= read -r -d '' f; do
  if file -b "$f" | grep -q '^ELF' && readelf -d "$f" 2>/dev/null | grep -qE '\((RUNPATH|RPATH)\)'; then
    fail "${f#$prefix/} carries $(readelf -d "$f" | grep -E 'RUNPATH|RPATH' | sed 's/.*: //')"
  fi
done < <(find "$prefix" -type f -print0)

for f in include/kestrane_dll.h share/applications/com.morvane.Kestrane.desktop \
  share/metainfo/com.morvane.Kestrane.metainfo.xml share/icons/hicolor/256x256/apps/com.morvane.Kestrane.png \
  share/icons/hicolor/16x16/apps/com.morvane.Kestrane.png lib/udev/rules.d/70-kestrane.rules \
  share/doc/kestrane/copyright share/doc/kestrane/changelog.gz; do
  [ -f "$prefix/$f" ] || fail "$f missing"
done
pc="$(find "$prefix" -name kestrane-board.pc | head -n 1)"
if [ -z "$pc" ]; then
  fail "kestrane-board.pc missing"
else
  # A C program builds against the installed header and library through it.
  printf '#include <kestrane_dll.h>\nint main(void){char t[KESTRANE_TEST_TEXT_SIZE];return TestDLL(t)==1?0:1;}\n' >"$prefix/use.c"
  flags="$(PKG_CONFIG_PATH="$(dirname "$pc")" pkg-config --define-variable=prefix="$prefix" --cflags --libs kestrane-board)"
  # shellcheck disable=SC2086
  if cc -std=c99 -Wall -Werror "$prefix/use.c" -o "$prefix/use" $flags && LD_LIBRARY_PATH="$libdir" "$prefix/use"; then
    echo "PASS a C program builds and calls TestDLL through pkg-config"
  else
    fail "building a C program through kestrane-board.pc ($flags)"
  fi
fi

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
