#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Quorvel, prepares its working directory
# (./run, or $QUORVEL_WORKDIR) and starts the program there.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

"$root/tools/install-deps"
cmake -S "$root" -B "$root/build-run" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF -DQUORVEL_BENCH=OFF >/dev/null
cmake --build "$root/build-run" --target quorvel -j"$(nproc)" >/dev/null

workdir=${QUORVEL_WORKDIR:-$root/run}
"$root/tools/prepare-workdir" "$workdir"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "quorvel: no display to show the window on (DISPLAY is not set); start it on a virtual one with: xvfb-run -a bash run.sh" >&2
    exit 1
fi
cd "$workdir"
exec "$root/build-run/app/quorvel" "$@"
