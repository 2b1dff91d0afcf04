#!/usr/bin/env bash
# Drives the real kestravuna.exe under Wine as a user would, on a throw-away folder: protect and
# restore through the buttons and both password dialogs (the folder's contents compared byte
# for byte), the wrong-password box, the empty-password note, the check box that asks for
# encryption (reached with Tab, checked with Space, refused with an empty field, remembered for
# the next start), the about box, a drag by the title strip and the quit question answered with
# Enter. Takes a picture of every window.
# With an installer, installs it silently, starts the installed program on a folder as the
# folders' context-menu entry does, and uninstalls it again: nothing may be left behind.
# Runs on a virtual display with a small window manager; WINEPREFIX must be set, with Wine's
# fonts in its windows/Fonts, and no Wine server running for it (one is started here, on the
# display).
# Usage: scripts/windows-gui-test.sh KESTRAVUNA_EXE PICTURE_FOLDER [INSTALLER_EXE]
set -euo pipefail
if [[ -z "${KESTRAVUNA_ON_DISPLAY:-}" ]]; then
  export KESTRAVUNA_ON_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
[[ -n "${KESTRAVUNA_TRACE:-}" ]] && set -x
exe=$(realpath "$1")
pictures=$(realpath -m "$2")
installer=${3:+$(realpath "$3")}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
work=$(mktemp -d)
folder=$work/Ordner
program=
cleanup() {
  [[ -n "$program" ]] && kill "$program" 2>/dev/null
  "$wineserver" -k 2>/dev/null || true
  [[ -n "${openbox:-}" ]] && kill "$openbox" 2>/dev/null
  chmod -R u+w "$work"
  rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$pictures"
mkdir -p "$pictures" "$folder"

fail() {
  import -window root "$pictures/failure.png" 2>/dev/null || true
  echo "window program: FAILED: $*" >&2
  exit 1
}
step() { echo "-- $*"; }

# The visible Wine window with this caption and client size; waits up to 30 s for it.
find_window() {
  local caption=$1 size=$2 id geometry
  for _ in $(seq 300); do
    for id in $(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null); do
      geometry=$(xdotool getwindowgeometry "$id" | awk '/Geometry/ { print $2 }')
      [[ "$geometry" == "$size" ]] && { echo "$id"; return 0; }
    done
    sleep 0.1
  done
  return 1
}
# A window of the program with a frame, or a message box of the system, whatever its size.
find_box() {
  local id
  # Searching again instead of xdotool's own waiting: a window that vanishes during a search
  # (Wine makes and drops helper windows) ends that search with an X error.
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
    [[ -n "$id" ]] && { echo "$id"; return 0; }
    sleep 0.1
  done
  fail "no box \"$1\""
}
window_or_fail() { find_window "$1" "$2" || fail "no window \"$1\" of $2"; }
# Waits up to 30 s until the window is gone.
wait_gone() {
  for _ in $(seq 300); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "window \"$1\" stays open"
}
# The picture of one window with the frame the window manager gives it.
picture() { import -frame -window "$1" "$pictures/$2.png"; }
click() { xdotool mousemove --sync --window "$1" "$2" "$3" click 1; }
# A click at a client pixel of a window of the given client size whose frame Wine draws itself
# (the X window then holds the frame too: borders alike, the caption on top).
click_client() {
  local id=$1 client_width=$2 client_height=$3 X Y WIDTH HEIGHT SCREEN WINDOW border
  eval "$(xdotool getwindowgeometry --shell "$id")"
  border=$(((WIDTH - client_width) / 2))
  click "$id" $(($4 + border)) $(($5 + HEIGHT - client_height - border))
}
# Waits up to 60 s until the shell condition holds.
wait_until() {
  local what=$1; shift
  for _ in $(seq 600); do
    "$@" && return 0
    sleep 0.1
  done
  fail "$what"
}
# Replaces the text of the focused field.
type_into_field() {
  xdotool key End
  xdotool key --repeat 40 BackSpace
  [[ -n "$1" ]] && xdotool type --delay 20 "$1"
  return 0
}

is_protected() { [[ "$(ls "$folder")" == "$(printf 'CHIFF.CRD\nCHIFF.CRY')" ]]; }
# The remembered choices in the user's %APPDATA% of the throw-away Wine prefix.
remembered() { cat "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Kestravuna/kestravuna.conf 2>/dev/null | tr -d '\r'; }
# The outer size of a window whose frame Wine draws itself, less its client size: its frame.
frame_of() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$((WIDTH - $2))x$((HEIGHT - $3))"
}
is_restored() { diff -r "$work/Vorlage" "$folder" >/dev/null 2>&1; }

# The folder: text, binary data large enough for the wait window to show, a name with umlauts,
# an empty file.
printf 'Sehr geehrte Damen und Herren,\r\n' >"$folder/brief.txt"
printf 'Größe ändern\n' >"$folder/Übersicht ä.txt"
head -c 6000000 /dev/urandom >"$folder/daten.bin"
: >"$folder/leer.txt"
cp -a "$folder" "$work/Vorlage"

openbox >/dev/null 2>&1 &
openbox=$!
"$wineserver" -p
step "start on the folder"
(cd "$work" && exec "$wine" "$exe" "Z:${folder//\//\\}" </dev/null >/dev/null 2>&1) &
program=$!
# The splash window shows for at most a second, before the main window.
if splash=$(find_window Kestravuna 471x284); then
  picture "$splash" splash
else
  fail "no splash window"
fi
main=$(window_or_fail Kestravuna 593x449)
sleep 1  # the first scan
picture "$main" main-window

step "protect with a password"
click "$main" 468 396  # "Verschlüsseln..."
dialog=$(find_box "Passwort festlegen...")
# The same frame as the enter-password dialog's around the designed client sizes: the dialog
# has grown by the check box's row.
set_password_frame=$(frame_of "$dialog" 329 181)
type_into_field geheim
picture "$dialog" set-password-dialog
xdotool key Return
if wait_window=$(find_window Kestravuna 398x60); then picture "$wait_window" wait-window; fi
wait_until "the folder is not protected" is_protected
main=$(window_or_fail Kestravuna 593x449)
picture "$main" main-window-protected

step "a wrong password is refused"
click "$main" 468 428  # "Wiederherstellen..."
dialog=$(find_box Passwort)
[[ "$(frame_of "$dialog" 352 67)" == "$set_password_frame" ]] ||
  fail "the set-password dialog's client area is not 329x181 (frame $set_password_frame)"
type_into_field falsch
picture "$dialog" enter-password-dialog
xdotool key Return
box=$(find_box "Falsches Passwort !")
picture "$box" wrong-password-box
xdotool windowactivate --sync "$box" key Return
wait_gone "Falsches Passwort !"
is_protected || fail "a wrong password changed the folder"

step "restore with the password"
click "$main" 468 428
dialog=$(find_box Passwort)
type_into_field geheim
xdotool key Return
wait_until "the folder is not restored" is_restored

step "protect and restore with an empty field"
click "$main" 468 396
dialog=$(find_box "Passwort festlegen...")
type_into_field ""
xdotool key Return
box=$(find_box Sicherheitshinweis)
picture "$box" empty-password-note
xdotool windowactivate --sync "$box" key Return
wait_until "the folder is not protected without a password" is_protected
click "$main" 468 428
dialog=$(find_box Passwort)
type_into_field ""
xdotool key Return
wait_until "the folder is not restored with an empty field" is_restored
[[ "$(remembered)" == encrypt=false ]] || fail "OK did not remember the cleared box: $(remembered)"

step "the encryption box: Tab reaches it, Space checks it, an empty field is refused"
click "$main" 468 396
dialog=$(find_box "Passwort festlegen...")
type_into_field ""
xdotool key Tab Tab space
picture "$dialog" set-password-dialog-encrypt
xdotool key Return  # in the box: OK
box=$(find_box "Kein Passwort")
picture "$box" encryption-needs-password-note
xdotool windowactivate --sync "$box" key Return
wait_gone "Kein Passwort"
sleep 0.5
is_restored || fail "the protect refused for want of a password changed the folder"
[[ "$(remembered)" == encrypt=true ]] || fail "OK did not remember the checked box: $(remembered)"

step "about box; closing it counts the folder afresh"
# The file count's box in the statistics panel, as pixels.
file_count() { import -window "$main" -crop 177x17+168+192 +repage rgb:- | md5sum; }
counted=$(file_count)
printf 'neu\n' >"$folder/neu.txt"
click "$main" 76 388  # "Informationen"
about=$(find_box Programminformationen)
picture "$about" about-box
click_client "$about" 431 200 364 179  # "Schließen"
wait_gone Programminformationen
sleep 0.5
[[ "$(file_count)" != "$counted" ]] || fail "closing the about box did not count the folder afresh"

step "drag by the title strip"
eval "$(xdotool getwindowgeometry --shell "$main")"
before_x=$X before_y=$Y
xdotool mousemove --window "$main" 100 8 mousedown 1
for _ in 1 2 3 4 5 6; do
  xdotool mousemove_relative 10 6
  sleep 0.05
done
xdotool mouseup 1
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$main")"
((X - before_x == 60 && Y - before_y == 36)) ||
  fail "the title strip moved the window by $((X - before_x)),$((Y - before_y)) instead of 60,36"

step "the quit question: Escape answers \"Nein\", Enter \"Ja\""
click "$main" 68 420  # "Beenden"
box=$(find_box Bestätigen)
picture "$box" quit-question
xdotool windowactivate --sync "$box" key Escape
wait_gone Bestätigen
sleep 0.5
kill -0 "$program" 2>/dev/null || fail "Escape ended the program"
click "$main" 68 420
box=$(find_box Bestätigen)
xdotool windowactivate --sync "$box" key Return
for _ in $(seq 100); do
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$program" 2>/dev/null && fail "the program still runs after the quit question's Enter"
program=

step "the next start: the box starts checked as it was left"
(cd "$work" && exec "$wine" "$exe" "Z:${folder//\//\\}" </dev/null >/dev/null 2>&1) &
program=$!
main=$(window_or_fail Kestravuna 593x449)
contents() { (cd "$folder" && find . -type f -exec sha256sum -- {} + | sort); }
before=$(contents)
click "$main" 468 396
dialog=$(find_box "Passwort festlegen...")
type_into_field ""
xdotool key Return
box=$(find_box "Kein Passwort")
xdotool windowactivate --sync "$box" key Return
wait_gone "Kein Passwort"
sleep 0.5
[[ "$(contents)" == "$before" ]] || fail "the protect refused for want of a password changed the folder"
click "$main" 68 420  # "Beenden"
box=$(find_box Bestätigen)
xdotool windowactivate --sync "$box" key Return
wait_until "the program does not end" eval '! kill -0 "$program" 2>/dev/null'
program=

step "started in C:\\, the program refuses the folder before any window shows"
(cd "$work" && exec "$wine" "$exe" 'C:\' </dev/null >/dev/null 2>&1) &
program=$!
box=$(find_box "Verbotener Zugriff")
picture "$box" root-refused-box
xdotool search --onlyvisible --name '^Kestravuna$' >/dev/null 2>&1 &&
  fail "a window shows before the refusal is answered"
xdotool windowactivate --sync "$box" key Return
main=$(window_or_fail Kestravuna 593x449)
click "$main" 584 8  # the close symbol
box=$(find_box Bestätigen)
xdotool windowactivate --sync "$box" key Return
wait_until "the program does not end" eval '! kill -0 "$program" 2>/dev/null'
program=

# The system's setting of dots per inch is read by every program at its start.
set_dpi() {
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    </dev/null >/dev/null 2>&1
}
for dpi in 120 144; do
  step "at $dpi dots per inch the designed layout is scaled by $dpi/96"
  set_dpi "$dpi"
  (cd "$work" && exec "$wine" "$exe" "Z:${folder//\//\\}" </dev/null >/dev/null 2>&1) &
  program=$!
  scaled() { echo $((($1 * dpi + 48) / 96)); }
  main=$(window_or_fail Kestravuna "$(scaled 593)x$(scaled 449)")
  sleep 1  # the first scan
  picture "$main" "main-window-${dpi}dpi"
  click "$main" "$(scaled 584)" "$(scaled 8)"  # the close symbol
  box=$(find_box Bestätigen)
  xdotool windowactivate --sync "$box" key Return
  wait_until "the program does not end at $dpi dots per inch" eval '! kill -0 "$program" 2>/dev/null'
  program=
done
set_dpi 96
echo "window program: protect, restore, the boxes, the encryption box, the about box, the drag, the quit and the scaling work"
[[ -n "$installer" ]] || exit 0

# The installer: every run ends by itself, so Wine's server ends with the last of them and
# `wineserver -w` tells when everything, the uninstaller's copy of itself included, is done.
"$wineserver" -k
"$wineserver" -w
# A key's default value; reg.exe writes the console's code page.
reg_value() { "$wine" reg query "$1" /ve </dev/null 2>/dev/null | iconv -f CP850 -t UTF-8 | tr -d '\r' | awk -F'REG_SZ' 'NF > 1 { sub(/^[ \t]+/, "", $2); print $2 }'; }
installed=$WINEPREFIX/drive_c/Program\ Files/Kestravuna
start_menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Kestravuna.lnk
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestravuna'
folder_menu_key='HKLM\Software\Classes\Directory\shell\Kestravuna'

step "silent install"
"$wine" "$installer" /S </dev/null >/dev/null 2>&1
"$wineserver" -w
for file in kestravuna.exe kestravuna-cli.exe uninstall.exe; do
  [[ -f "$installed/$file" ]] || fail "the installer left out $file"
done
[[ -f "$start_menu" ]] || fail "no Start-menu entry"
"$wine" reg query "$uninstall_key" /v UninstallString </dev/null 2>/dev/null | grep -q 'uninstall.exe' ||
  fail "no entry in the list of installed programs"
[[ "$(reg_value "$folder_menu_key")" == "Mit Kestravuna öffnen" ]] || fail "no folder context-menu entry"
command=$(reg_value "$folder_menu_key\\command")
[[ "$command" == '"C:\Program Files\Kestravuna\kestravuna.exe" "%1"' ]] ||
  fail "the folder context menu runs: $command"

step "the installed program, started on a folder as the context menu does"
(cd "$work" && exec "$wine" 'C:\Program Files\Kestravuna\kestravuna.exe' "Z:${folder//\//\\}" \
  </dev/null >/dev/null 2>&1) &
program=$!
main=$(window_or_fail Kestravuna 593x449)
click "$main" 68 420  # "Beenden"
box=$(find_box Bestätigen)
xdotool windowactivate --sync "$box" key Return
wait_until "the installed program does not end" eval '! kill -0 "$program" 2>/dev/null'
program=
"$wineserver" -w

step "silent uninstall"
"$wine" 'C:\Program Files\Kestravuna\uninstall.exe' /S </dev/null >/dev/null 2>&1
"$wineserver" -w
[[ ! -e "$installed" ]] || fail "the uninstaller left $(ls "$installed")"
[[ ! -e "$start_menu" ]] || fail "the uninstaller left the Start-menu entry"
for key in "$uninstall_key" "$folder_menu_key"; do
  "$wine" reg query "$key" </dev/null >/dev/null 2>&1 && fail "the uninstaller left $key"
done
"$wineserver" -w
echo "installer: installs both programs with their entries, starts them, uninstalls everything"
