#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Quorvel and its tests, and runs the whole
# suite through ctest.
#   bash test.sh        the normal build, warnings as errors
#   bash test.sh asan   AddressSanitizer + UndefinedBehaviorSanitizer build
#   bash test.sh tsan   ThreadSanitizer build
#   bash test.sh windows  cross-build for Windows (mingw-w64, the Qt kit of
#                         tools/windows/qt-kit) and run its suite under wine64
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
kind=${1:-normal}

case "$kind" in
normal) build="$root/build-tests"; options=() ;;
asan) build="$root/build-asan"; options=(-DQUORVEL_ASAN=ON -DCMAKE_BUILD_TYPE=Debug) ;;
tsan) build="$root/build-tsan"; options=(-DQUORVEL_TSAN=ON -DCMAKE_BUILD_TYPE=Debug) ;;
windows) ;;
*) echo "usage: bash test.sh [asan|tsan|windows]" >&2; exit 2 ;;
esac

if [ "$kind" = windows ]; then
    "$root/tools/install-deps" g++-mingw-w64-x86-64-posix wine64 wine nsis zip unzip python3 xvfb xauth xdotool
    kit=$("$root/tools/windows/qt-kit")
    build="$root/build-windows"
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/tools/windows/mingw-w64.cmake" \
        -DQUORVEL_QT_KIT="$kit" -DQUORVEL_WERROR=ON -DQUORVEL_BENCH=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j"$(nproc)"
    # A wine of its own, which finds the kit's and the compiler's DLLs.
    export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEPATH="Z:$kit/bin;Z:/usr/lib/gcc/x86_64-w64-mingw32/12-posix;Z:/usr/x86_64-w64-mingw32/lib"
    export QT_PLUGIN_PATH="Z:$kit/plugins" QT_QPA_PLATFORM=offscreen HOME="$build/home"
    mkdir -p "$HOME"
    cd "$build"
    status=0
    ctest --output-on-failure || status=$?
    cat "$build/tests/windows/tst_windows.log" "$build/tests/windows/window/tst_winwindow.log" 2>/dev/null || true
    exit $status
fi

"$root/tools/install-deps"
cmake -S "$root" -B "$build" -DQUORVEL_WERROR=ON -DQUORVEL_BENCH=OFF "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j"$(nproc)"
