#!/usr/bin/env bash
# ferrolo.exe in its window under Wine, on an Xvfb server of its own: the window opens, "Inizia" runs the
# job, the process ends with the run. The window's picture is kept as window_win32.png in ARTIFACTS.
# Usage: window_test.sh FERROLO_EXE ARTIFACTS WINE_RUNNER...
set -euo pipefail
exe=$1 artifacts=$2
shift 2
# A failure shows the end of the run log, where the run says what went wrong.
fail() {
    echo "FAIL: $*" >&2
    tail -n 8 "$folder/out/log.txt" >&2 2>/dev/null || true
    exit 1
}

folder=$(mktemp -d /tmp/ferrolo-window.XXXXXX)
# The server picks a free display number and writes it down once it listens.
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$folder/display" 2>/dev/null &
server=$!
trap 'kill $server; rm -rf "$folder"' EXIT
for _ in $(seq 100); do
    [ -s "$folder/display" ] && break
    sleep 0.1
done
export DISPLAY=:$(cat "$folder/display")

# Asked for, the console shows the run even with a display: the usage goes to standard error.
status=0
FERROLO_UI=console "$@" "$exe" >/dev/null 2>"$folder/usage" || status=$?
[ "$status" = 2 ] && grep -q "^Uso: Ferrolo" "$folder/usage" || fail "console usage: status $status"

cp "$exe" "$folder/ferrolo.exe"
mkdir "$folder/source" "$folder/out"
printf 'fattura\r\n' >"$folder/source/fattura-001.txt"
printf 'verbale & firme\r\n' >"$folder/source/verbale.txt"
# Wine shows the root of the Linux tree as drive Z:.
windows=$(echo "Z:$folder" | tr / '\\')
printf '[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=%s\\source\\*.*\r\nPARAM_2=%s\\out\\notte.zip\r\nPARAM_3=%s\\out\\log.txt\r\nPARAM_4=%s\\out\\log_ext.txt\r\n[PARAMETRI_FILEZIP]\r\nTEST_ZIP=SI\r\n' \
    "$windows" "$windows" "$windows" "$windows" >"$folder/notte.ini"

(cd "$folder" && exec timeout 120 "$@" ./ferrolo.exe notte.ini) &
program=$!
trap 'kill $program $server; rm -rf "$folder"' EXIT
geometry=
for _ in $(seq 300); do
    geometry=$(xdotool search --onlyvisible --name '^Ferrolo$' getwindowgeometry --shell %@ 2>/dev/null || true)
    grep -q WIDTH=450 <<<"$geometry" && break
    sleep 0.1
done
grep -q WIDTH=450 <<<"$geometry" || fail "no window of 450 x 199 pixels"
eval "$(grep -E '^(WINDOW|X|Y)=' <<<"$geometry" | head -3)"

# Before the start delay ends: the status field shows its text, the operation field is empty but drawn.
picture=$artifacts/window_win32.png
import -window root -crop "450x199+$X+$Y" +repage "$picture"
area() { convert "$picture" -crop "$1" +repage -colorspace Gray -format '%[fx:mean] %[fx:standard_deviation]' info:; }
read -r _ spread <<<"$(area 380x9+54+135)"
awk "BEGIN { exit !($spread > 0.01) }" || fail "the status field shows no text"
read -r mean spread <<<"$(area 380x9+54+47)"
awk "BEGIN { exit !($mean > 0.99 && $spread < 0.01) }" || fail "the empty operation field is not a white field"

xdotool mousemove --window "$WINDOW" 41 182 click 1 || fail "Inizia could not be clicked"
status=0
wait $program || status=$?
trap 'kill $server; rm -rf "$folder"' EXIT
[ "$status" = 0 ] || fail "the run ended with status $status"
grep -q "Nessun errore durante il test." "$folder/out/log.txt" || fail "the archive test did not pass"
unzip -tq "$folder/out/notte.zip" >/dev/null || fail "unzip -t refuses the archive"
echo "window run passed; picture in $picture"
