#!/bin/sh
# tools/soak.sh MINUTES: a real-time soak of the live traffic engine. It writes the soak
# scenario (ramptide-fixtures soak-scenario: 300 aircraft, MINUTES minutes of steady traffic,
# then one minute at 400 datagrams a second), starts ramptide_soak (bench/soak/main.cpp: the
# readers, the simulator client on the stand-in and the traffic thread in one process), plays
# the scenario to it with rt_peer over 127.0.0.1 only, and waits for ramptide_soak's summary.
# Exits with ramptide_soak's code: 0 when the summary holds, 1 when not; 2 for a bad call.
# Memory is judged over the steady state, from when all aircraft are created (the creation ramp
# takes about three minutes) to the burst, the same for a short soak as for a long one: a soak
# of 4 minutes or less has hardly any steady state to judge.
#
# It uses the linux preset's binaries, building them first only when one is missing (at most
# $JOBS jobs, default 3). Everything goes to a fresh folder under $TMPDIR (default /tmp),
# named on the first line: soak.out (ramptide_soak's figures, also shown here), peer.out,
# soak.scn and run/ (Log.txt of the run).
set -eu

minutes=${1:-}
case $minutes in
'' | *[!0-9]* | 0)
    echo "usage: tools/soak.sh MINUTES (a whole number above 0)" >&2
    exit 2
    ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/linux
soak=$build/bench/ramptide_soak
peer=$build/tools/rt_peer
fixtures=$build/tools/ramptide-fixtures
if [ ! -x "$soak" ] || [ ! -x "$peer" ] || [ ! -x "$fixtures" ]; then
    echo "building the linux preset's ramptide_soak, rt_peer and ramptide-fixtures"
    (cd "$root" && cmake --preset linux >/dev/null &&
        cmake --build --preset linux -j"${JOBS:-3}" --target ramptide_soak rt_peer ramptide-fixtures)
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ramptide-soak.XXXXXX")
echo "soak of $minutes min in $work"
"$fixtures" soak-scenario --out "$work/soak.scn" --minutes "$minutes"

"$soak" --folder "$work/run" --burst-minute "$minutes" >"$work/soak.out" 2>&1 &
soak_pid=$!
peer_pid=
tail_pid=
cleanup() {
    for pid in $peer_pid $tail_pid; do
        kill "$pid" 2>/dev/null || true
    done
    if kill -0 "$soak_pid" 2>/dev/null; then
        kill "$soak_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT INT TERM

ports=
for _ in $(seq 600); do
    ports=$(sed -n 's/^ports \([0-9]*,[0-9]*\)$/\1/p' "$work/soak.out")
    [ -n "$ports" ] && break
    kill -0 "$soak_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$ports" ]; then
    echo "ramptide_soak did not start its readers:" >&2
    cat "$work/soak.out" >&2
    exit 1
fi

tail -n +1 -f --pid="$soak_pid" "$work/soak.out" &
tail_pid=$!
"$peer" --scenario "$work/soak.scn" --udp 127.0.0.1 --ports "$ports" >"$work/peer.out" 2>&1 &
peer_pid=$!
peer_code=0
wait "$peer_pid" || peer_code=$?
peer_pid=
[ "$peer_code" -eq 0 ] || echo "rt_peer ended with $peer_code (see $work/peer.out)" >&2
code=0
wait "$soak_pid" || code=$?
wait "$tail_pid" 2>/dev/null || true
tail_pid=
echo "ramptide_soak exited with $code; figures in $work/soak.out"
exit "$code"
