#!/usr/bin/env bash
# Checks the Debian package a user gets, before it touches this machine:
#   1. its file list: both programs, the menu entry, the AppStream metadata and the icon;
#   2. its programs hold no trace of the test-only failure hook;
#   3. it installs into a minimal Debian 12 root made for this check (Debian's Essential
#      packages and nothing else), which gets only what the package's Depends name, and there
#      kestravuna-cli shows its help and protects and restores a folder (as a legacy container
#      and encrypted), and the window program starts on the offscreen platform. Nothing else
#      on this machine can hide a missing Depends.
# The root is built from the Debian mirror this machine's apt uses and thrown away at the end.
# Usage: scripts/package-check.sh PACKAGE.deb
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "package check: FAILED: $*" >&2; exit 1; }

echo "-- the package's files"
# Path and mode of every file the package must hold.
expected=(
  "usr/bin/kestravuna -rwxr-xr-x"
  "usr/bin/kestravuna-cli -rwxr-xr-x"
  "usr/share/applications/org.example.Kestravuna.desktop -rw-r--r--"
  "usr/share/metainfo/org.example.Kestravuna.metainfo.xml -rw-r--r--"
  "usr/share/icons/hicolor/scalable/apps/org.example.Kestravuna.svg -rw-r--r--"
)
listing=$(dpkg-deb --contents "$deb" | awk '{ sub(/^\.\//, "", $6); print $6, $1 }')
echo "$listing" | grep -v '/ ' | sed 's/^/  /'
for entry in "${expected[@]}"; do
  grep -qxF "$entry" <<<"$listing" || fail "the package lacks ${entry% *} with mode ${entry#* }"
done
echo "Depends: $(dpkg-deb --field "$deb" Depends)"

echo "-- no failure hook in the packaged programs"
dpkg-deb --extract "$deb" "$work/files"
bash scripts/check-fault-hook.sh absent "$work/files/usr/bin/kestravuna" "$work/files/usr/bin/kestravuna-cli"

echo "-- a minimal Debian 12 root: the package installs with what it declares, and both programs start"
# Run inside the root once the package is installed ($1 is the root). The window program has
# started when it still runs after a few seconds: a missing library or platform plugin ends it
# at once.
cat >"$work/in-root.sh" <<'INNER'
set -eu
export HOME=/root LANG=C.UTF-8
kestravuna-cli --help >/tmp/help.txt || { echo "kestravuna-cli --help failed"; exit 1; }
grep -q protect /tmp/help.txt || { echo "kestravuna-cli --help does not list protect"; exit 1; }
mkdir -p /tmp/Ordner
printf 'Sehr geehrte Damen und Herren,\n' >/tmp/Ordner/brief.txt
head -c 100000 /dev/urandom >/tmp/Ordner/daten.bin
cp -a /tmp/Ordner /tmp/Vorher
printf 'Kennwort\n' >/tmp/password
# The legacy container, then the encrypted one, which needs libsodium at work.
for options in "" --encrypt; do
  kestravuna-cli protect $options --password-file /tmp/password /tmp/Ordner >/tmp/protect.log 2>&1 ||
    { cat /tmp/protect.log; exit 1; }
  test -f /tmp/Ordner/CHIFF.CRY && test ! -e /tmp/Ordner/brief.txt || { echo "protect $options left the files"; exit 1; }
  kestravuna-cli restore --password-file /tmp/password /tmp/Ordner >/tmp/restore.log 2>&1 ||
    { cat /tmp/restore.log; exit 1; }
  diff -r /tmp/Vorher /tmp/Ordner || { echo "restore after protect $options differs"; exit 1; }
done
echo "kestravuna-cli: help shown, a folder protected and restored, as a legacy container and encrypted"
status=0
QT_QPA_PLATFORM=offscreen timeout 5 kestravuna /tmp/Ordner >/tmp/window.log 2>&1 || status=$?
if [ "$status" -ne 124 ]; then
  echo "kestravuna ended with status $status instead of running:"; cat /tmp/window.log; exit 1
fi
echo "kestravuna: running on the offscreen platform after 5 s"
INNER
start=$(date +%s)
# The null format keeps nothing on disk; the hooks run while the root exists, with /proc and
# /dev mounted inside it. The automount hooks let the root's dpkg see the package file.
# Documentation, manual pages and translations are not unpacked: they only cost time.
mmdebstrap --quiet --variant=essential --include="$deb" \
  --hook-dir=/usr/share/mmdebstrap/hooks/file-mirror-automount \
  --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-exclude=/usr/share/man/*' \
  --dpkgopt='path-exclude=/usr/share/locale/*' \
  --customize-hook='cp "'"$work"'/in-root.sh" "$1/tmp/in-root.sh" && chroot "$1" sh /tmp/in-root.sh' \
  --customize-hook='du -smx "$1" | cut -f1 >"'"$work"'/root-size"' \
  bookworm /dev/null /etc/apt/sources.list.d/debian.sources || fail "see the lines above"
echo "Debian 12 root: $(cat "$work/root-size") MB, made and checked in $(($(date +%s) - start)) s"
