#!/usr/bin/env bash
# The main job, as a user sees it: the Linux program in a temporary install (the fixtures'
# model database, liveries and airports, EHAM's stands as a park apron), the stand-in
# simulator recording what it is asked to do, and rt_peer playing tools/demo/demo.scn over
# loopback: an overflight, a landing that taxis to its stand, a climb-out, an approach and a
# push back, while static parked aircraft fill the apron. About four minutes; then it closes
# the program as the window's close button would and prints each flight's timeline.
#
#   tools/demo.sh            (builds the Linux preset first when it is not built)
#
# Exit code 0 after a clean close with every expectation of the peer met. The run's folder
# (Log.txt, the stand-in's record, the peer's record) is kept and named at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/linux

if [[ ! -x $build/src/app/ramptide || ! -x $build/tools/rt_peer || ! -x $build/tools/ramptide-timeline ]]; then
    echo "==> nothing built yet: setting up the Linux build"
    tools/setup.sh linux
fi

run=$(mktemp -d "${TMPDIR:-/tmp}/ramptide-demo.XXXXXX")
echo "==> the run's folder: $run"
"$build/tools/ramptide-fixtures" install --out "$run/install" --appdata "$run/Roaming" --park-apron on --auto-range off

# The traffic service's ports are fixed: wait for any test that holds them.
exec 9>"${TMPDIR:-/tmp}/ramptide-reader-ports.lock"
flock 9

cd "$run/install"
APPDATA=$run/Roaming LOCALAPPDATA=$run/Local RAMPTIDE_UPDATE_URL=http://127.0.0.1:1/ RAMPTIDE_SIM_RECORD=$run/sim \
    "$build/src/app/ramptide" >"$run/program.txt" 2>&1 &
program=$!
start=$(date +%s.%N)
"$build/tools/rt_peer" --tcp 127.0.0.1:10747 --scenario "$root/tools/demo/demo.scn" --record "$run/record.txt" \
    >"$run/peer.txt" 2>&1 &
peer=$!
trap 'kill "$program" "$peer" 2>/dev/null || true' EXIT

# The peer ends at its scenario's second 175; the last aircraft flies its reports 30 s later
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

kill -TERM "$program"
programExit=0
wait "$program" || programExit=$?
peerExit=0
wait "$peer" || peerExit=$?
trap - EXIT

echo
echo "==> timeline (seconds from the peer's start)"
"$build/tools/ramptide-timeline" --scenario "$root/tools/demo/demo.scn" --start "$start" --track "$run/sim/track.csv"
echo
echo "==> from Log.txt"
grep -E " arrived | parked | push back |RealTraffic (connected|gone|re-connected)|Exiting: " "$run/install/Log.txt" || true
echo
echo "program exit code $programExit, peer exit code $peerExit (its record: $run/record.txt)"
if ((programExit != 0 || peerExit != 0)); then
    cat "$run/peer.txt"
    exit 1
fi
