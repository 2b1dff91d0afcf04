#!/usr/bin/env bash
# A folder protected by the Linux build restores with the Windows build, and the other way
# round: names with umlauts and the euro sign (code page 1252), a read-only file, a hidden file
# and a subfolder (both stay in place), binary data. Run under Wine, with WINEPREFIX set.
# Usage: scripts/windows-round-trip.sh LINUX_CLI WINDOWS_CLI_EXE
set -euo pipefail
linux_cli=$(realpath "$1")
windows_cli=$(realpath "$2")
wine=/usr/lib/wine/wine64
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT

windows_path() { local path=$1; echo "Z:${path//\//\\}"; }
fail() { echo "round trip: FAILED: $*" >&2; exit 1; }

make_folder() {
  local folder=$1
  mkdir -p "$folder/Unterordner"
  printf 'Sehr geehrte Damen und Herren,\r\n' >"$folder/brief.txt"
  printf 'Größe ändern\n' >"$folder/Übersicht ä.txt"
  printf '5 €\n' >"$folder/Grüße €.txt"
  head -c 200000 /dev/urandom >"$folder/daten.bin"
  printf 'fest\n' >"$folder/schreibgeschützt.txt"
  chmod a-w "$folder/schreibgeschützt.txt"
  printf 'versteckt\n' >"$folder/.versteckt"
  printf 'innen\n' >"$folder/Unterordner/innen.txt"
}

# Every file below the folder with its checksum, and whether it may be written.
fingerprint() {
  (cd "$1" && find . -type f ! -name 'CHIFF.*' -printf '%p %m\n' | sort &&
    find . -type f ! -name 'CHIFF.*' -exec sha256sum {} + | sort)
}

round_trip() {  # name, protecting command..., --, restoring command...
  local name=$1; shift
  local protect=() restore=()
  while [[ $1 != -- ]]; do protect+=("$1"); shift; done
  shift
  restore=("$@")
  local folder=$work/$name
  make_folder "$folder"
  printf 'Kennwort 1\n' >"$work/password"
  local before
  before=$(fingerprint "$folder")
  "${protect[@]}" >"$work/$name-protect.log" 2>&1 || fail "$name: protect: $(cat "$work/$name-protect.log")"
  [[ -f "$folder/CHIFF.CRY" && -f "$folder/CHIFF.CRD" && ! -e "$folder/brief.txt" ]] ||
    fail "$name: not protected: $(ls -a "$folder")"
  [[ -e "$folder/.versteckt" && -e "$folder/Unterordner/innen.txt" ]] || fail "$name: hidden file or subfolder touched"
  "${restore[@]}" >"$work/$name-restore.log" 2>&1 || fail "$name: restore: $(cat "$work/$name-restore.log")"
  [[ ! -e "$folder/CHIFF.CRY" && ! -e "$folder/CHIFF.CRD" ]] || fail "$name: container left"
  [[ "$(fingerprint "$folder")" == "$before" ]] ||
    fail "$name: restored files differ:"$'\n'"$(diff <(echo "$before") <(fingerprint "$folder"))"
  echo "round trip $name: every file back, byte for byte, read-only kept"
}

linux_folder=$work/linux-to-windows
round_trip linux-to-windows \
  "$linux_cli" protect --password-file "$work/password" "$linux_folder" -- \
  "$wine" "$windows_cli" restore --password-file "$(windows_path "$work/password")" \
  "$(windows_path "$linux_folder")"

windows_folder=$work/windows-to-linux
round_trip windows-to-linux \
  "$wine" "$windows_cli" protect --password-file "$(windows_path "$work/password")" \
  "$(windows_path "$windows_folder")" -- \
  "$linux_cli" restore --password-file "$work/password" "$windows_folder"
