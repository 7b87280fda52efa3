#!/usr/bin/env bash
# Runs every test: the three Linux builds with CTest (plain, address and thread sanitizers),
# the Windows test binaries under Wine, the Wine smoke test of the program's window, and the
# benchmarks with a short minimum time.
# Runs tools/setup.sh first when a preset is not built yet.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in linux linux-asan linux-tsan windows; do
    if [[ ! -f build/$preset/build.ninja ]]; then
        tools/setup.sh
        break
    fi
done

echo "==> tests: linux"
ctest --preset linux
echo "==> tests: linux-asan"
ctest --preset linux-asan
echo "==> tests: linux-tsan"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --preset linux-tsan

echo "==> tests: windows, under Wine"
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/ramptide-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
ctest --preset windows

echo "==> Wine smoke test"
tools/wine-smoke.sh build/windows

if [[ -x build/linux/bench/ramptide_bench ]]; then
    echo "==> benchmarks (short run; figures only, never a failure on timing)"
    build/linux/bench/ramptide_bench --benchmark_min_time=0.05
fi
