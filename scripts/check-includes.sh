#!/usr/bin/env bash
# Checks that the #include lines keep the layers: every project header is included by its
# module folder ("platform/file.h"), a module includes only the modules below it, and a
# module's detail/ folder is included by that module alone. Prints each offending line. Reads
# the module folders themselves, so it works in a source tarball as in a git checkout, and
# fails when it finds nothing to check.
# Usage: scripts/check-includes.sh [PROJECT_ROOT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

declare -A allowed=(
  [platform]="platform"
  [compress]="compress platform"
  [archive]="archive platform"
  [seal]="seal compress platform"
  [protect]="protect seal archive compress platform"
  [cli]="cli protect seal archive compress platform"
  [app]="app protect seal archive compress platform"
  [bench]="bench compress platform"
  [test_support]="test_support"
)

modules=()
for module in "${!allowed[@]}"; do [[ -d "$module" ]] && modules+=("$module"); done
files=()
if ((${#modules[@]})); then
  mapfile -t files < <(find "${modules[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
fi
if ((${#files[@]} == 0)); then
  echo "include layers: no .cpp or .h files below $(pwd) to check" >&2
  exit 1
fi

status=0
for file in "${files[@]}"; do
  module=${file%%/*}
  permitted=" ${allowed[$module]} "
  # Tests may use the shared test helpers as well.
  [[ "$file" == */tests/* || "$file" == */fuzz/* ]] && permitted+="test_support "
  while IFS= read -r line; do
    included=$(sed -E 's/^[0-9]+:#include "([^"]+)".*/\1/' <<<"$line")
    target=${included%%/*}
    # Qt's meta-object code for a .cpp file's own classes is generated beside the build.
    [[ "$included" == *.moc ]] && continue
    if [[ "$included" != */* ]]; then
      echo "$file:${line%%:*}: include \"$included\" by its module folder"; status=1
    elif [[ "$permitted" != *" $target "* ]]; then
      echo "$file:${line%%:*}: $module must not include $included"; status=1
    elif [[ "$included" == */detail/* && "$target" != "$module" ]]; then
      echo "$file:${line%%:*}: $included is private to $target"; status=1
    fi
  done < <(grep -n '^#include "' "$file" || true)
done

((status == 0)) && echo "include layers: the ${#files[@]} source files keep the layers"
exit "$status"
