#!/usr/bin/env bash
# Fails when a folder includes a header from a folder that is not below it in
# the dependency order of scripts/layers.txt, or when a folder of sources is
# missing from that table. Prints one line per offending include.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
declare -A rank
level=0
while read -r line; do
  line=${line%%#*}
  [ -z "${line// /}" ] && continue
  for folder in $line; do rank[$folder]=$level; done
  level=$((level + 1))
done <"$root/scripts/layers.txt"

status=0
cd "$root"
for dir in */; do
  folder=${dir%/}
  case $folder in build* | data | docs | scripts | cmake | node_modules) continue ;; esac
  # Only folders with C or C++ sources take part.
  if ! git ls-files --cached --others --exclude-standard -- "$folder" |
      grep -qE '\.(c|cc|cpp|h|hpp)$'; then
    continue
  fi
  if [ -z "${rank[$folder]+x}" ]; then
    echo "check-layers: $folder/ is not in scripts/layers.txt"
    status=1
    continue
  fi
  while IFS=: read -r file lineno include; do
    used=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$include")
    [ "$used" = "$folder" ] && continue
    if [ -z "${rank[$used]+x}" ]; then continue; fi  # not one of ours
    if [ "${rank[$used]}" -ge "${rank[$folder]}" ]; then
      echo "check-layers: $file:$lineno: $folder/ includes $used/, which is not below it"
      status=1
    fi
  done < <(git ls-files --cached --others --exclude-standard -- "$folder" |
    grep -E '\.(c|cc|cpp|h|hpp|inc)$' |
    xargs -r grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' /dev/null || true)
done
[ $status -eq 0 ] && echo "check-layers: every include goes down the dependency order"
exit $status
