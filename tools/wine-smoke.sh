#!/usr/bin/env bash
# Starts the Windows build under Wine in a fresh install folder and Wine prefix, the way a
# user would: the window opens, the log gets its header, a second copy is refused (-1),
# the close button ends the program with 0 and a closed log. Leaves a screenshot.
#
#   tools/wine-smoke.sh [BUILD_DIR]     (default build/windows)
#
# The screenshot goes to $RAMPTIDE_SMOKE_OUT (default BUILD_DIR/smoke/window.png).
set -euo pipefail

build=$(cd "${1:-build/windows}" && pwd)
out=${RAMPTIDE_SMOKE_OUT:-$build/smoke}
wine=${WINE:-/usr/lib/wine/wine64}

if [[ -z "${RAMPTIDE_SMOKE_INNER:-}" ]]; then
    mkdir -p "$out"
    exec env RAMPTIDE_SMOKE_INNER=1 RAMPTIDE_SMOKE_OUT="$out" \
        xvfb-run -a -s "-screen 0 1400x900x24" "$0" "$build"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ramptide-smoke.XXXXXX")
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all
install=$work/install
mkdir -p "$install/docs" "$install/input"
cp "$build/src/app/ramptide.exe" "$build/tools/close-window.exe" "$install/"

fail() { echo "wine-smoke: FAILED: $*" >&2; [[ -f $install/Log.txt ]] && sed 's/^/  log: /' "$install/Log.txt" >&2; exit 1; }

echo "wine-smoke: preparing the Wine prefix"
"$wine" wineboot -i >/dev/null 2>&1
# A Wine virtual desktop draws the window frame and caption itself, since Xvfb runs no
# window manager; without it the screenshot would show a bare client area.
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1400x900 /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true # the desktop setting takes effect at the next start
wineserver -w 2>/dev/null || true

cd "$install"
"$wine" ramptide.exe &
first=$!

for _ in $(seq 600); do
    grep -q '(utc) Ramptide version' Log.txt 2>/dev/null && break
    sleep 0.1
done
grep -q '(utc) Ramptide version' Log.txt 2>/dev/null || fail "no log header within 60 s"
echo "wine-smoke: log header: $(head -n 1 Log.txt | tr -d '\r')"

set +e
"$wine" ramptide.exe
second=$?
set -e
[[ $second -eq 255 ]] || fail "a second copy returned $second instead of -1"
echo "wine-smoke: a second copy returned -1"

sleep 2 # let the window paint
xwd -root -silent | convert xwd:- "$out/window.png"
echo "wine-smoke: screenshot: $out/window.png"

"$wine" close-window.exe Ramptide 30 || fail "no window titled Ramptide to close"
set +e
wait "$first"
code=$?
set -e
[[ $code -eq 0 ]] || fail "the program ended with $code after the close"
lines=$(wc -l < Log.txt)
last=$(tail -n 1 Log.txt | tr -d '\r')
[[ $last =~ ^[A-Z][a-z]{2}\ [A-Z][a-z]{2}\ [\ 0-9][0-9]\ [0-9:]{8}\ [0-9]{4}$ ]] || fail "the log does not end with the closing time line"
echo "wine-smoke: closed with exit code 0; log closed after $lines lines"
echo "wine-smoke: passed"
