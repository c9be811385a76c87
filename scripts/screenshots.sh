#!/usr/bin/env bash
# Saves a picture of every window, as it opens on a 1366x768 screen, for people working on the
# windows to look at: one PNG per window, and one per further page of its tab widgets.
#
#   scripts/screenshots.sh [FOLDER] [PRESET]      FOLDER: default /tmp/bx-screens; PRESET: dev
#
# Builds the window test program of PRESET when it is missing or out of date, then runs its
# window-size cases on the X server of Xvfb (installed by scripts/setup.sh --test-tools).
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
-h|--help) sed -n '2,8p' "$0"; exit 0 ;;
esac
folder=$(realpath -m "${1:-/tmp/bx-screens}")
preset=${2:-dev}

for tool in xvfb-run xauth; do
    if ! command -v "$tool" > /dev/null; then
        echo "$tool is missing: run scripts/setup.sh --test-tools $preset first." >&2
        exit 1
    fi
done

if [ ! -f "build/$preset/build.ninja" ]; then
    cmake --preset "$preset" > /dev/null
fi
cmake --build "build/$preset" --target bx_mainwindow_ui_tests |
    { grep -Ev '^\[[0-9]+/[0-9]+\] |^ninja: no work to do' || true; }

mkdir -p "$folder"
marker=$(mktemp)
trap 'rm -f "$marker"' EXIT
# The test program's failures are reported, but the pictures are what this script is for. The
# X libraries leave allocations behind at exit that the sanitizer build would report as leaks.
status=0
BX_SCREENSHOT_DIR="$folder" QT_QPA_PLATFORM=xcb ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}" \
    xvfb-run -a -s "-screen 0 1366x768x24" \
    "build/$preset/bin/bx_mainwindow_ui_tests" --gtest_filter='*WindowSizesTest*' --gtest_brief=1 ||
    status=$?
count=$(find "$folder" -maxdepth 1 -name '*.png' -newer "$marker" | wc -l)
echo "$count pictures in $folder"
[ "$count" -gt 0 ] || exit 1
exit "$status"
