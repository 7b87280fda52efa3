#!/usr/bin/env bash
# The main job, as a user sees it: the Linux program in a temporary install (the fixtures'
# model database, liveries and airports, EHAM's stands as a park apron), the stand-in
# simulator recording what it is asked to do, and rt_peer playing tools/demo/demo.scn over
# loopback: an overflight, a landing that taxis to its stand, a climb-out, an approach and a
# departure that pushes back and taxis away, while static parked aircraft fill the apron.
# About four minutes; then it closes the program as the window's close button would and
# prints each flight's timeline.
#
#   tools/demo.sh              (builds the Linux preset first when it is not built)
#   tools/demo.sh --windows    the Windows program under Wine, in a Wine prefix of its own
#                              under Xvfb, with the stand-in simulator built as SimConnect.dll
#                              beside it and the same Linux peer and scenario (builds the
#                              Linux and Windows presets first when they are not built)
#
# Exit code 0 after a clean close with every expectation of the peer met. The run's folder
# (Log.txt, the stand-in's record, the peer's record) is kept and named at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/linux
windowsBuild=$root/build/windows
wine=${WINE:-/usr/lib/wine/wine64}

case "${1:-}" in
"") windows=false ;;
--windows) windows=true ;;
*) echo "usage: tools/demo.sh [--windows]" >&2; exit 2 ;;
esac

presets=()
if [[ ! -x $build/src/app/ramptide || ! -x $build/tools/rt_peer || ! -x $build/tools/ramptide-timeline ]]; then
    presets+=(linux)
fi
standIn=$windowsBuild/tools/simconnect_stand_in/SimConnect.dll
if $windows && [[ ! -f $windowsBuild/src/app/ramptide.exe || ! -f $windowsBuild/tools/close-window.exe || ! -f $standIn ]]; then
    presets+=(windows)
fi
if ((${#presets[@]})); then
    echo "==> nothing built yet: setting up ${presets[*]}"
    tools/setup.sh "${presets[@]}"
fi
# The Windows program's window needs an X display: Xvfb, as in tools/wine-smoke.sh.
if $windows && [[ -z ${RAMPTIDE_DEMO_XVFB:-} ]]; then
    exec env RAMPTIDE_DEMO_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" --windows
fi

run=$(mktemp -d "${TMPDIR:-/tmp}/ramptide-demo.XXXXXX")
echo "==> the run's folder: $run"
"$build/tools/ramptide-fixtures" install --out "$run/install" --appdata "$run/Roaming" --park-apron on --auto-range off
if $windows; then
    cp "$windowsBuild/src/app/ramptide.exe" "$windowsBuild/tools/close-window.exe" "$standIn" "$run/install/"
    export WINEPREFIX=$run/prefix WINEDEBUG=-all
    echo "==> preparing the Wine prefix"
    "$wine" wineboot -i >/dev/null 2>&1
    # The program's roaming application-data folder is the install's, and a crash ends the
    # program with its backtrace in program.txt instead of a dialog.
    "$wine" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' /v AppData \
        /t REG_EXPAND_SZ /d "Z:${run//\//\\}\\Roaming" /f >/dev/null
    "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
fi

# The traffic service's ports are fixed: wait for any test that holds them.
exec 9>"${TMPDIR:-/tmp}/ramptide-reader-ports.lock"
flock 9

cd "$run/install"
if $windows; then
    RAMPTIDE_UPDATE_URL=http://127.0.0.1:1/ RAMPTIDE_SIM_RECORD=$run/sim "$wine" ramptide.exe >"$run/program.txt" 2>&1 &
else
    APPDATA=$run/Roaming LOCALAPPDATA=$run/Local RAMPTIDE_UPDATE_URL=http://127.0.0.1:1/ RAMPTIDE_SIM_RECORD=$run/sim \
        "$build/src/app/ramptide" >"$run/program.txt" 2>&1 &
fi
program=$!
start=$(date +%s.%N)
"$build/tools/rt_peer" --tcp 127.0.0.1:10747 --scenario "$root/tools/demo/demo.scn" --record "$run/record.txt" \
    >"$run/peer.txt" 2>&1 &
peer=$!
ending() {
    kill "$program" "$peer" 2>/dev/null || true
    if $windows; then wineserver -k 2>/dev/null || true; fi
}
trap ending EXIT

# The peer ends at its scenario's second 185; the last aircraft flies its reports 30 s later
# and then invents a minute more.
closeAt=240
for ((second = 10; second <= closeAt; second += 10)); do
    sleep 10
    if ! kill -0 "$program" 2>/dev/null; then
        echo "the program ended early:"
        tail -20 "$run/program.txt"
        exit 1
    fi
    objects=$(grep -c '"tail"' "$run/sim/state.json" 2>/dev/null || true)
    echo "  ${second} s: ${objects:-0} AI objects in the simulator"
done

if $windows; then
    "$wine" close-window.exe Ramptide 30 || echo "no window titled Ramptide to close"
else
    kill -TERM "$program"
fi
programExit=0
wait "$program" || programExit=$?
peerExit=0
wait "$peer" || peerExit=$?
trap - EXIT
if $windows; then wineserver -k 2>/dev/null || true; fi

echo
echo "==> timeline (seconds from the peer's start)"
"$build/tools/ramptide-timeline" --scenario "$root/tools/demo/demo.scn" --start "$start" --track "$run/sim/track.csv"
echo
echo "==> from Log.txt"
tr -d '\r' <"$run/install/Log.txt" | grep -E " arrived | parked | push back |RealTraffic (connected|gone|re-connected)|Exiting: " || true
echo
echo "program exit code $programExit, peer exit code $peerExit (its record: $run/record.txt)"
if ((programExit != 0 || peerExit != 0)); then
    cat "$run/peer.txt"
    exit 1
fi
