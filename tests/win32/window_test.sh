#!/usr/bin/env bash
# ferrolo.exe in its window under Wine, on an Xvfb server of its own: the window opens, "Inizia" runs the
# job, the process ends with the run; asked for, the console shows the run even with a display. The
# window's picture is kept as window_win32.png in ARTIFACTS.
# Usage: window_test.sh FERROLO_EXE ARTIFACTS WINE_RUN PREFIX
# PREFIX is a Wine folder of this test's own: Wine's desktop keeps the display of the session's first
# program, so the window cannot share a session with the console tests, nor outlive this X server.
set -euo pipefail
exe=$1 artifacts=$2 wine_run=$3 prefix=$4
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
program=
# Wine's programs and its server end with the test, before the X server they draw on.
cleanup() {
    [ -z "$program" ] || kill "$program" 2>/dev/null
    WINEPREFIX=$prefix wineserver -k 2>/dev/null
    kill "$server"
    rm -rf "$folder"
}
trap 'cleanup || true' EXIT
for _ in $(seq 100); do
    [ -s "$folder/display" ] && break
    sleep 0.1
done
export DISPLAY=:$(cat "$folder/display")

cp "$exe" "$folder/ferrolo.exe"
mkdir "$folder/source" "$folder/out"
printf 'fattura\r\n' >"$folder/source/fattura-001.txt"
printf 'verbale & firme\r\n' >"$folder/source/verbale.txt"
# Wine shows the root of the Linux tree as drive Z:.
windows=$(echo "Z:$folder" | tr / '\\')
printf '[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=%s\\source\\*.*\r\nPARAM_2=%s\\out\\notte.zip\r\nPARAM_3=%s\\out\\log.txt\r\nPARAM_4=%s\\out\\log_ext.txt\r\n[PARAMETRI_FILEZIP]\r\nTEST_ZIP=SI\r\n' \
    "$windows" "$windows" "$windows" "$windows" >"$folder/notte.ini"

(cd "$folder" && exec timeout 120 "$wine_run" "$prefix" ./ferrolo.exe notte.ini) &
program=$!
geometry=
# The first run in a new prefix waits for Wine to set it up.
for _ in $(seq 900); do
    geometry=$(xdotool search --onlyvisible --name '^Ferrolo$' getwindowgeometry --shell %@ 2>/dev/null || true)
    grep -q WIDTH=450 <<<"$geometry" && break
    sleep 0.1
done
grep -q WIDTH=450 <<<"$geometry" || fail "no window of 450 x 199 pixels"
eval "$(grep -E '^(WINDOW|X|Y)=' <<<"$geometry" | head -3)"

# Before the start delay ends, once drawn: the status field shows its text, the empty operation field is
# a white field.
picture=$artifacts/window_win32.png
area() { convert "$picture" -crop "$1" +repage -colorspace Gray -format '%[fx:mean] %[fx:standard_deviation]' info:; }
drawn() {
    import -window root -crop "450x199+$X+$Y" +repage "$picture"
    read -r _ status_spread <<<"$(area 380x9+54+135)"
    read -r operation_mean operation_spread <<<"$(area 380x9+54+47)"
    awk "BEGIN { exit !($status_spread > 0.01 && $operation_mean > 0.99 && $operation_spread < 0.01) }"
}
for _ in $(seq 20); do
    drawn && break
    sleep 0.2
done
drawn || fail "fields as drawn: status spread $status_spread, operation mean $operation_mean spread $operation_spread"

xdotool mousemove --window "$WINDOW" 41 182 click 1 || fail "Inizia could not be clicked"
status=0
wait "$program" || status=$?
program=
[ "$status" = 0 ] || fail "the run ended with status $status"
grep -q "Nessun errore durante il test." "$folder/out/log.txt" || fail "the archive test did not pass"
unzip -tq "$folder/out/notte.zip" >/dev/null || fail "unzip -t refuses the archive"

status=0
FERROLO_UI=console "$wine_run" "$prefix" "$exe" >/dev/null 2>"$folder/usage" || status=$?
[ "$status" = 2 ] && grep -q "^Uso: Ferrolo" "$folder/usage" || fail "FERROLO_UI=console: status $status"
echo "window run passed; picture in $picture"
