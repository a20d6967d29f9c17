#!/bin/sh
# The shared library exports exactly its six C functions and nothing else.
set -u
lib="$1"
got="$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | sort | tr '\n' ' ')"
want="FindKestranes GetManufacturerString GetProductString GetVersionString ReadKestrane TestDLL "
if [ "$got" != "$want" ]; then
  echo "exported: $got"
  echo "wanted:   $want"
  exit 1
fi
echo "exports: $got"
