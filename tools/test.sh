#!/usr/bin/env bash
# Runs every test: both Linux builds with CTest, the Windows test binaries under Wine, the
# Wine smoke test of the program's window, and the benchmarks with a short minimum time.
# Expects tools/setup.sh to have built the presets.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "==> tests: linux"
ctest --preset linux
echo "==> tests: linux-asan"
ctest --preset linux-asan

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
