#!/usr/bin/env bash
# Runs the real window program on a virtual display with a small window manager, as a user
# would: it protects and restores a folder through its buttons and dialogs (the wait window
# staying above the main window when that is clicked), opens the about box, drags the window by
# its title strip and ends through the quit question; then it starts once more at a scale factor
# of 1.5 (a high-resolution screen). A picture of every window is saved on the way. Fails on the
# first step that does not happen.
# Usage: scripts/window-smoke.sh PROGRAM PICTURE_FOLDER
set -euo pipefail

if [[ -z "${SMOKE_ON_DISPLAY:-}" ]]; then
  export SMOKE_ON_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

program=$1
pictures=$(realpath -m "$2")
mkdir -p "$pictures"
work=$(mktemp -d)
app= wm=
trap 'kill $app $wm 2>/dev/null || true; chmod -R u+w "$work"; rm -rf "$work"' EXIT
export HOME=$work/home XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 -p "$HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"

fail() { echo "window smoke: FAILED: $*" >&2; import -window root "$pictures/failure.png" || true; exit 1; }
step() { echo "window smoke: $*"; }
picture() { import -window root "$pictures/$1.png"; step "picture $1.png"; }
# Waits until `condition` (a command) holds, for up to `seconds`.
wait_for() {
  local seconds=$1; shift
  for ((i = 0; i < seconds * 10; i++)); do "$@" && return 0; sleep 0.1; done
  return 1
}
visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
has_window() { [[ -n $(visible_window "$1") ]]; }
lacks_window() { [[ -z $(visible_window "$1") ]]; }
# Clicks at a point given in the client pixels of window `id`.
click_in() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
window_of_size() {  # the visible window titled `name` with client size `size` (e.g. 398x60)
  local id
  for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
    xdotool getwindowgeometry "$id" | grep -q "Geometry: $2" && { echo "$id"; return 0; }
  done
  return 1
}

# A folder as users have one: documents, a read-only file, a name with umlauts and enough data
# for the run to take a moment (so the wait window can be seen).
folder=$work/Ordner
mkdir -p "$folder/Unterordner"
printf 'Sehr geehrte Damen und Herren,\n' >"$folder/brief.txt"
printf 'Größe ändern\n' >"$folder/Übersicht.txt"
printf 'fest\n' >"$folder/schreibgeschützt.txt"
chmod a-w "$folder/schreibgeschützt.txt"
{
  head -c 6000000 /dev/urandom
  awk 'BEGIN { for (i = 0; i < 450000; i++) print "Zeile " i " für Zeile derselbe Text" }'
} >"$folder/daten.bin"
(cd "$folder" && find . -maxdepth 1 -type f -exec sha256sum -- {} + >"$work/before.sha256")

openbox >/dev/null 2>&1 &
wm=$!
sleep 1
"$program" "$folder" >"$work/program.log" 2>&1 &
app=$!

wait_for 20 window_of_size '^Kestravuna$' 593x449 >/dev/null || fail "the main window did not appear"
main=$(window_of_size '^Kestravuna$' 593x449)
wait_for 10 eval '! window_of_size "^Kestravuna$" 471x284 >/dev/null' || fail "the splash window stayed"
picture main
import -window "$main" "$pictures/main-window.png"

step "protect"
click_in "$main" 468 396  # "Verschlüsseln..."
wait_for 10 has_window '^Passwort festlegen\.\.\.$' || fail "the set-password dialog did not open"
xdotool type --delay 20 'Geheim 1'
picture set-password-dialog
xdotool key Return
wait_for 20 window_of_size '^Kestravuna$' 398x60 >/dev/null || fail "the wait window did not appear"
picture wait-window
# A click on the main window during the run leaves the wait window above it.
waiting=$(window_of_size '^Kestravuna$' 398x60) || fail "the wait window went before the click"
click_in "$main" 250 300
sleep 0.5
if window_of_size '^Kestravuna$' 398x60 >/dev/null; then
  picture wait-window-after-click
  stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | cut -d'#' -f2)
  above_main=0
  for id in $stacking; do
    (( id == main )) && above_main=1
    (( id == waiting )) && { (( above_main )) || fail "the wait window went behind the main window"; }
  done
  step "the wait window stays above the main window"
else
  step "the run ended before the wait window could be checked after a click"
fi
wait_for 120 test -e "$folder/CHIFF.CRD" || fail "protect did not write CHIFF.CRD"
wait_for 20 eval '! window_of_size "^Kestravuna$" 398x60 >/dev/null' || fail "the wait window stayed"
[[ -e "$folder/CHIFF.CRY" && ! -e "$folder/brief.txt" && ! -e "$folder/daten.bin" ]] ||
  fail "the folder is not protected: $(ls "$folder")"
picture main-protected

step "restore"
click_in "$main" 468 428  # "Wiederherstellen..."
wait_for 10 has_window '^Passwort$' || fail "the enter-password dialog did not open"
xdotool type --delay 20 'Geheim 1'
picture enter-password-dialog
xdotool key Return
wait_for 120 eval '[[ ! -e "$folder/CHIFF.CRD" && ! -e "$folder/CHIFF.CRY" ]]' ||
  fail "restore did not finish"
(cd "$folder" && sha256sum -c --quiet "$work/before.sha256") || fail "restored files differ"
[[ -z $(find "$folder/schreibgeschützt.txt" -perm /222) ]] || fail "the read-only file came back writable"

step "about box"
click_in "$main" 76 388  # "Informationen"
wait_for 10 has_window '^Programminformationen$' || fail "the about box did not open"
picture about-box
about=$(visible_window '^Programminformationen$')
click_in "$about" $((3 + 364)) $((22 + 179))  # "Schließen", inside the window's own frame
wait_for 10 lacks_window '^Programminformationen$' || fail "the about box did not close"

step "drag by the title strip"
before=$(xdotool getwindowgeometry "$main" | grep Position)
xdotool mousemove --window "$main" 200 8 mousedown 1 sleep 0.3 mousemove_relative --sync 60 40 \
  sleep 0.3 mouseup 1
sleep 0.5
after=$(xdotool getwindowgeometry "$main" | grep Position)
[[ "$before" != "$after" ]] || fail "the window did not move ($before)"
step "moved: $before -> $after"

step "quit question"
click_in "$main" 76 420  # "Beenden"
wait_for 10 has_window '^Bestätigen$' || fail "the quit question did not come"
picture quit-question
xdotool key Return  # "&Ja" is the default
wait_for 10 eval '! kill -0 "$app" 2>/dev/null' || fail "the program did not end after \"Ja\""
wait "$app" || fail "the program ended with status $?"

step "scale 1.5"
QT_SCALE_FACTOR=1.5 "$program" "$folder" >"$work/program-scaled.log" 2>&1 &
app=$!
scaled_size=$(( (593 * 3 + 1) / 2 ))x$(( (449 * 3 + 1) / 2 ))
wait_for 20 window_of_size '^Kestravuna$' "$scaled_size" >/dev/null ||
  fail "the main window did not appear at scale 1.5"
main=$(window_of_size '^Kestravuna$' "$scaled_size")
wait_for 10 eval '! window_of_size "^Kestravuna$" 707x426 >/dev/null' || fail "the splash window stayed"
sleep 0.5
picture main-scale-1.5
click_in "$main" 702 594  # "Verschlüsseln..." at 1.5 times its designed place
wait_for 10 has_window '^Passwort festlegen\.\.\.$' || fail "the set-password dialog did not open at scale 1.5"
picture set-password-dialog-scale-1.5
xdotool key Escape
wait_for 10 lacks_window '^Passwort festlegen\.\.\.$' || fail "Escape did not hide the set-password dialog"
click_in "$main" 114 630  # "Beenden"
wait_for 10 has_window '^Bestätigen$' || fail "the quit question did not come at scale 1.5"
xdotool key Return
wait_for 10 eval '! kill -0 "$app" 2>/dev/null' || fail "the program did not end at scale 1.5"
wait "$app" || fail "the program ended with status $?"
step "passed; pictures in $pictures"
