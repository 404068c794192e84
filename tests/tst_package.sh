#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the .deb from the build tree, unpacks it into a temporary root (no
# system install), checks its files and metadata, and starts the unpacked
# launcher with a temporary home far enough to see the working directory
# prepared and the window shown, and runs the unpacked quorvel-batch from a
# folder of its own.
#   tst_package.sh BUILD_DIR
set -uo pipefail
build=${1:?usage: tst_package.sh BUILD_DIR}
failures=0
passes=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "PASS: $*"; passes=$((passes + 1)); }
skip() { echo "SKIP: $*"; }

temp=$(mktemp -d)
trap 'rm -rf "$temp"' EXIT

if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
    skip "dpkg-dev is not installed (apt-get install dpkg-dev)"
    exit 0
fi

# 1. The package.
if ! (cd "$build" && cpack -G DEB -B "$temp/pkg" >"$temp/cpack.log" 2>&1); then
    cat "$temp/cpack.log"
    fail "cpack did not build the package"
    exit 1
fi
deb=$(ls "$temp"/pkg/quorvel_*_*.deb 2>/dev/null | head -n 1)
[ -f "$deb" ] && pass "package built: $(basename "$deb")" || { fail "no .deb produced"; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for needed in ffmpeg mencoder libqt5widgets5 libqt5core5a libavcodec; do
    case "$depends" in *"$needed"*) ;; *) fail "Depends lacks $needed: $depends" ;; esac
done
pass "dependencies: $depends"

# 2. Its files.
root="$temp/root"
dpkg-deb -x "$deb" "$root"
for file in \
    usr/bin/quorvel \
    usr/bin/quorvel-batch \
    usr/share/man/man1/quorvel-batch.1.gz \
    usr/share/doc/quorvel/examples/quorvel-parallel \
    usr/share/doc/quorvel/examples/quorvel-slurm.sbatch \
    usr/libexec/quorvel/quorvel \
    usr/libexec/quorvel/mencoder \
    usr/libexec/quorvel/libquorvel-avcompat.so \
    usr/libexec/quorvel/prepare-workdir \
    usr/share/applications/org.quorvel.Quorvel.desktop \
    usr/share/metainfo/org.quorvel.Quorvel.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/org.quorvel.Quorvel.svg \
    usr/share/icons/hicolor/48x48/apps/org.quorvel.Quorvel.png \
    usr/share/icons/hicolor/256x256/apps/org.quorvel.Quorvel.png \
    usr/share/man/man1/quorvel.1.gz \
    usr/share/doc/quorvel/copyright \
    usr/share/doc/quorvel/changelog.gz; do
    [ -e "$root/$file" ] || fail "missing from the package: $file"
done
for program in usr/bin/quorvel usr/bin/quorvel-batch usr/libexec/quorvel/quorvel usr/libexec/quorvel/mencoder; do
    [ -x "$root/$program" ] || fail "not executable: $program"
done
pass "file list"

grep -q '^License: GPL-3+$' "$root/usr/share/doc/quorvel/copyright" && pass "copyright: GPL-3+" \
    || fail "the copyright file does not license the package under GPL-3+"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$root/usr/share/metainfo/org.quorvel.Quorvel.metainfo.xml" \
    && pass "metainfo: GPL-3.0-or-later" || fail "the metainfo's project_license is not GPL-3.0-or-later"

# 3. Validators.
if command -v lintian >/dev/null; then
    lintian "$deb" >"$temp/lintian.log" 2>&1
    if grep -E '^(E|W): ' "$temp/lintian.log"; then fail "lintian reports errors or warnings"; else pass "lintian"; fi
else
    skip "lintian is not installed (apt-get install lintian)"
fi
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/org.quorvel.Quorvel.desktop" && pass "desktop-file-validate" \
        || fail "desktop-file-validate"
else
    skip "desktop-file-validate is not installed (apt-get install desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/usr/share/metainfo/org.quorvel.Quorvel.metainfo.xml" >"$temp/as.log" 2>&1 \
        && pass "appstreamcli validate" || { cat "$temp/as.log"; fail "appstreamcli validate"; }
else
    skip "appstreamcli is not installed (apt-get install appstream)"
fi

# 4. A missing tool is named with its package, not left to fail every row.
message=$(env HOME="$temp/nohome" QUORVEL_REAL_MENCODER=/nonexistent/mencoder "$root/usr/bin/quorvel" 2>&1 </dev/null)
status=$?
if [ $status -ne 0 ] && [[ "$message" == *"apt install mencoder"* ]]; then
    pass "missing mencoder is reported: $message"
else
    fail "missing mencoder: status $status, message '$message'"
fi
[ ! -e "$temp/nohome/Videos" ] || fail "a working directory was made although a tool is missing"

# quorvel-batch from a folder of its own, with the package's tools (found
# beside the program) and no bin/ there: one real clip, one result.
anywhere="$temp/any folder"
mkdir -p "$anywhere"
if ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc=size=160x120:rate=25:duration=1 \
    -f lavfi -i sine=duration=1 -shortest "$anywhere/clip.mp4"; then
    lines=$(cd "$anywhere" && "$root/usr/bin/quorvel-batch" -j 1 -s 160x128 clip.mp4 2>"$temp/batch.err")
    status=$?
    IFS=$'\t' read -r result source target _ reason <<<"$lines"
    if [ $status -eq 0 ] && [ "$result|$source|$target|$reason" = "Success|$anywhere/clip.mp4|$anywhere/output/clip.avi|" ] \
        && [ "$(printf '%s\n' "$lines" | wc -l)" -eq 1 ] && [ -s "$anywhere/output/clip.avi" ] \
        && [ ! -e "$anywhere/bin" ] && [ "$(ls "$anywhere/output")" = clip.avi ]; then
        pass "quorvel-batch converts from any folder: $lines"
    else
        cat "$temp/batch.err"
        fail "quorvel-batch from any folder: status $status, output '$lines'"
    fi
else
    fail "ffmpeg could not make a test clip"
fi
message=$(cd "$anywhere" && QUORVEL_REAL_MENCODER=/nonexistent/mencoder "$root/usr/bin/quorvel-batch" clip.mp4 2>&1)
status=$?
if [ $status -eq 2 ] && [[ "$message" == *"apt install mencoder"* ]]; then
    pass "quorvel-batch names a missing mencoder's package: $message"
else
    fail "quorvel-batch with mencoder missing: status $status, message '$message'"
fi

# 5. The unpacked launcher prepares the working directory and shows the window.
home="$temp/home"
mkdir -p "$home"
workdir="$home/Videos/Quorvel"
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null; then
    cat >"$temp/session.sh" <<SESSION
#!/bin/sh
env HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=xcb "$root/usr/bin/quorvel" >"$temp/app.log" 2>&1 &
app=\$!
timeout 30 xdotool search --sync --onlyvisible --name '^Quorvel\$' >"$temp/window.txt" 2>/dev/null
kill \$app 2>/dev/null
wait \$app 2>/dev/null
exit 0
SESSION
    xvfb-run -a -s "-screen 0 1280x720x24" sh "$temp/session.sh"
    [ -s "$temp/window.txt" ] && pass "the window was shown" || { cat "$temp/app.log"; fail "no window titled Quorvel appeared"; }
else
    skip "xvfb-run or xdotool missing: starting offscreen instead"
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen "$root/usr/bin/quorvel" >"$temp/app.log" 2>&1 &
    app=$!
    for _ in $(seq 100); do [ -d "$workdir/output" ] && break; sleep 0.1; done
    kill $app 2>/dev/null
    wait $app 2>/dev/null
fi
[ "$(readlink "$workdir/bin/ffmpeg")" = /usr/bin/ffmpeg ] && pass "bin/ffmpeg links to Debian's ffmpeg" \
    || fail "bin/ffmpeg: $(ls -l "$workdir/bin/ffmpeg" 2>&1)"
[ "$(readlink "$workdir/bin/mencoder")" = "$root/usr/libexec/quorvel/mencoder" ] \
    && pass "bin/mencoder links to the installed launcher" || fail "bin/mencoder: $(ls -l "$workdir/bin/mencoder" 2>&1)"
[ -d "$workdir/output" ] && pass "output folder made by the program" || fail "no output folder in $workdir"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
