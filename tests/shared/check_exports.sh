#!/usr/bin/env bash
# check_exports.sh <library> <symbol>...: every symbol is exported undecorated.
set -u
lib=$1
shift
symbols=$(nm -D --defined-only "$lib" | awk '{print $3}')
status=0
for s in "$@"; do
  if ! grep -qx "$s" <<<"$symbols"; then
    echo "missing export: $s in $lib"
    status=1
  fi
done
exit $status
