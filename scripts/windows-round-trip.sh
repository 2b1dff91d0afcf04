#!/usr/bin/env bash
# A folder protected by the Linux build restores with the Windows build, and the other way
# round, as a legacy container and encrypted: names with umlauts and the euro sign (code page
# 1252), a read-only file, a hidden file and a subfolder (both stay in place), binary data.
# Before each restore, the other platform's restore with a wrong password must fail and leave
# every byte of the protected folder as it was. Run under Wine, with WINEPREFIX set.
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

# Every entry below the protected folder, container and record included, with its type, mode,
# size and checksum: a failed restore must leave all of it, and add nothing.
snapshot() {
  (cd "$1" && find . -printf '%p %y %m %s\n' | sort && find . -type f -exec sha256sum {} + | sort)
}

# kestravuna-cli of one platform on a folder, the Windows program under Wine with Windows paths.
cli() {  # platform, command, password file, folder, options...
  local platform=$1 command=$2 password=$3 folder=$4
  shift 4
  if [[ $platform == linux ]]; then
    "$linux_cli" "$command" "$@" --password-file "$password" "$folder"
  else
    "$wine" "$windows_cli" "$command" "$@" --password-file "$(windows_path "$password")" \
      "$(windows_path "$folder")"
  fi
}

printf 'Kennwort 1\n' >"$work/password"
printf 'ganz anders\n' >"$work/wrong-password"

round_trip() {  # protecting platform, restoring platform, legacy|encrypted
  local from=$1 to=$2 kind=$3
  local name="$from-to-$to $kind" folder="$work/$from-to-$to-$kind"
  local options=()
  if [[ $kind == encrypted ]]; then options=(--encrypt); fi
  make_folder "$folder"
  local before protected written
  before=$(fingerprint "$folder")
  cli "$from" protect "$work/password" "$folder" "${options[@]}" >"$work/protect.log" 2>&1 ||
    fail "$name: protect: $(cat "$work/protect.log")"
  [[ -f "$folder/CHIFF.CRY" && -f "$folder/CHIFF.CRD" && ! -e "$folder/brief.txt" ]] ||
    fail "$name: not protected: $(ls -a "$folder")"
  # Only the encrypted container begins with its own identifier.
  if cmp -s -n 6 <(printf KVSEAL) "$folder/CHIFF.CRY"; then written=encrypted; else written=legacy; fi
  [[ $written == "$kind" ]] || fail "$name: protect wrote a $written container"
  [[ -e "$folder/.versteckt" && -e "$folder/Unterordner/innen.txt" ]] || fail "$name: hidden file or subfolder touched"
  protected=$(snapshot "$folder")
  if cli "$to" restore "$work/wrong-password" "$folder" >"$work/wrong.log" 2>&1; then
    fail "$name: a restore with a wrong password succeeded: $(cat "$work/wrong.log")"
  fi
  grep -q 'Falsches Passwort !' "$work/wrong.log" || fail "$name: wrong password: $(cat "$work/wrong.log")"
  [[ "$(snapshot "$folder")" == "$protected" ]] ||
    fail "$name: the wrong password changed the folder:"$'\n'"$(diff <(echo "$protected") <(snapshot "$folder"))"
  cli "$to" restore "$work/password" "$folder" >"$work/restore.log" 2>&1 ||
    fail "$name: restore: $(cat "$work/restore.log")"
  [[ ! -e "$folder/CHIFF.CRY" && ! -e "$folder/CHIFF.CRD" ]] || fail "$name: container left"
  [[ "$(fingerprint "$folder")" == "$before" ]] ||
    fail "$name: restored files differ:"$'\n'"$(diff <(echo "$before") <(fingerprint "$folder"))"
  echo "round trip $name: a wrong password changed nothing; every file back, byte for byte, read-only kept"
}

for kind in legacy encrypted; do
  round_trip linux windows "$kind"
  round_trip windows linux "$kind"
done
