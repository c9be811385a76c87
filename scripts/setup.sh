#!/usr/bin/env bash
# Installs what Brindlepax needs on Debian 12 (only what is missing; quiet when nothing is to do),
# then configures and builds one CMake preset. The build shows its progress: ninja's status line
# on a terminal, a line per step in a log.
#
#   scripts/setup.sh [--test-tools] [--packages-only] [PRESET]   PRESET: release (default), dev or ci
#
# --packages-only installs what is missing and stops there (no configure, no build).
#
# --test-tools also installs what the tests need beside the build: the PostgreSQL server for the
# throwaway test cluster, Xvfb for window screenshots, aiosmtpd for the test mail servers and
# Dovecot (with openssl for the certificates) for the POP3 test server, python3-vobject to read the
# vCard files the contact export writes, pdftotext (poppler-utils) to read back the PDF files
# the program writes, the checkers of the install tree and the package: desktop-file-utils,
# appstream, groff, dpkg-dev and lintian (with rsvg-convert for scripts/make-icons.sh), and for the
# fuzz targets of the parsers clang 16 with its fuzzer and sanitizer runtimes and libical (which
# reads the calendar parts back).
set -euo pipefail
cd "$(dirname "$0")/.."

test_tools=0
packages_only=0
preset=release
for arg in "$@"; do
    case "$arg" in
    --test-tools) test_tools=1 ;;
    --packages-only) packages_only=1 ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    *) preset=$arg ;;
    esac
done

packages=(cmake ninja-build pkg-config g++ qt6-base-dev qt6-declarative-dev qt6-charts-dev
          libsqlite3-dev libpq-dev libcurl4-openssl-dev libgmime-3.0-dev libsodium-dev
          libgtest-dev libgmock-dev libbenchmark-dev clang-format tzdata)
if [ "$test_tools" -eq 1 ]; then
    packages+=(postgresql postgresql-contrib xvfb xauth poppler-utils)
    packages+=(dovecot-core dovecot-pop3d python3-aiosmtpd python3-vobject openssl)
    packages+=(desktop-file-utils appstream groff-base dpkg-dev lintian librsvg2-bin)
    packages+=(clang-16 libclang-rt-16-dev libical-dev)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

[ "$packages_only" -eq 0 ] || exit 0

if [ ! -f "build/$preset/build.ninja" ]; then
    echo "First build of the $preset preset: some 400 sources, roughly 15 to 25 minutes on 2 cores;"
    echo "later builds compile only what changed."
    cmake --preset "$preset"
fi
exec cmake --build --preset "$preset"
