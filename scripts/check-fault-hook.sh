#!/usr/bin/env bash
# Looks for the test-only failure hook of the file layer in built programs (Linux or Windows):
# its entry points' symbol names and the names of its environment variables, anywhere in the
# file. `absent` fails when a program holds a trace of it (what users get must never obey the
# kill variables); `present` fails when a program holds none, and so shows on a test build
# that the search finds the hook where it is.
# Usage: scripts/check-fault-hook.sh absent|present PROGRAM...
set -euo pipefail

traces=(
  KESTRAVUNA_KILL_AFTER_FILE_OPS
  KESTRAVUNA_FAIL_AFTER_FILE_OPS
  KESTRAVUNA_KILL_EVENT
  BeforeMutatingFileOperation
  ResetFileOperationFaults
)

expect=${1:-}
[[ "$expect" == absent || "$expect" == present ]] && (($# > 1)) ||
  { echo "usage: scripts/check-fault-hook.sh absent|present PROGRAM..." >&2; exit 2; }
shift

patterns=()
for trace in "${traces[@]}"; do patterns+=(-e "$trace"); done
status=0
for program in "$@"; do
  [[ -f "$program" ]] || { echo "fault hook: $program does not exist" >&2; status=1; continue; }
  found=$(grep -a -o -F "${patterns[@]}" "$program" | sort -u | paste -sd' ' || true)
  if [[ "$expect" == absent && -n "$found" ]]; then
    echo "fault hook: $program holds the test-only hook: $found" >&2; status=1
  elif [[ "$expect" == present && -z "$found" ]]; then
    echo "fault hook: $program shows no trace of the hook, yet it was built with it" >&2; status=1
  else
    echo "fault hook: $expect in $program${found:+ ($found)}"
  fi
done
exit "$status"
