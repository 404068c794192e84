#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Quorvel and its tests, and runs the whole
# suite through ctest.
#   bash test.sh        the normal build, warnings as errors
#   bash test.sh asan   AddressSanitizer + UndefinedBehaviorSanitizer build
#   bash test.sh tsan   ThreadSanitizer build
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
kind=${1:-normal}

case "$kind" in
normal) build="$root/build-tests"; options=() ;;
asan) build="$root/build-asan"; options=(-DQUORVEL_ASAN=ON -DCMAKE_BUILD_TYPE=Debug) ;;
tsan) build="$root/build-tsan"; options=(-DQUORVEL_TSAN=ON -DCMAKE_BUILD_TYPE=Debug) ;;
*) echo "usage: bash test.sh [asan|tsan]" >&2; exit 2 ;;
esac

"$root/tools/install-deps"
cmake -S "$root" -B "$build" -DQUORVEL_WERROR=ON -DQUORVEL_BENCH=OFF "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j"$(nproc)"
