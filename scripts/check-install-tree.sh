#!/usr/bin/env bash
# Checks that an installed Brindlepax is complete and runs from where it is installed.
#
#   scripts/check-install-tree.sh ROOT PREFIX LIBDIR VERSION
#   scripts/check-install-tree.sh --install BUILD-DIR PREFIX LIBDIR VERSION
#
# ROOT is a folder that holds the installation as it would lie under / (a DESTDIR install, or an
# unpacked package); PREFIX is the install prefix inside it (/usr, /usr/local) and LIBDIR the
# library folder under the prefix (lib/x86_64-linux-gnu). With --install the build is first
# installed into a temporary root. Prints every fault and fails when there is one.
set -uo pipefail

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "${1:-}" = "--install" ]; then
    [ $# -eq 5 ] || { sed -n '2,10p' "$0"; exit 2; }
    root=$work/root
    DESTDIR=$root cmake --install "$2" > /dev/null || { echo "FAIL: cmake --install $2"; exit 1; }
    shift 2
else
    [ $# -eq 4 ] || { sed -n '2,10p' "$0"; exit 2; }
    root=$(cd "$1" && pwd)
    shift
fi
prefix=$root$1
libdir=$prefix/$2
version=$3

faults=0
fail() {
    echo "FAIL: $*"
    faults=$((faults + 1))
}
need_file() {
    for f in "$@"; do
        [ -f "$f" ] || fail "missing ${f#"$root"}"
    done
}

# Programs and the data files they read.
for program in brindlepax bxadmin; do
    [ -x "$prefix/bin/$program" ] || fail "missing program bin/$program"
done
data=$prefix/share/brindlepax
need_file "$data"/{BXComp.ini,PAXSQL.sql,PAXSQLN.sql,pax.md_,BXLogo.png} "$data"/{1..9}.rpx
need_file "$data/help/index.html"
# Every page the help links to.
if [ -f "$data/help/index.html" ]; then
    for page in $(grep -o 'href="[^"#:]*"' "$data"/help/*.html | sed 's/.*href="//; s/"$//' | sort -u); do
        need_file "$data/help/$page"
    done
fi

# Icon, menu entry and software-centre description.
for size in 16 32 48 64 128 256; do
    need_file "$prefix/share/icons/hicolor/${size}x${size}/apps/brindlepax.png"
done
need_file "$prefix/share/icons/hicolor/scalable/apps/brindlepax.svg"
desktop=$prefix/share/applications/brindlepax.desktop
need_file "$desktop"
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate brindlepax.desktop"
    exec_line=$(sed -n 's/^Exec=//p' "$desktop")
    [ -x "$prefix/bin/${exec_line%% *}" ] || fail "the desktop entry starts '$exec_line', not installed"
fi
metainfo=$prefix/share/metainfo/io.github.brindlepax.Brindlepax.metainfo.xml
need_file "$metainfo"
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net "$metainfo" > /dev/null ||
        fail "appstreamcli validate io.github.brindlepax.Brindlepax.metainfo.xml"
    grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo has no release $version"
fi

# Manual pages, compressed.
for page in brindlepax bxadmin; do
    man=$prefix/share/man/man1/$page.1.gz
    need_file "$man"
    [ -f "$man" ] || continue
    problems=$(gzip -dc "$man" | groff -man -ww -z 2>&1) || fail "$page.1 does not format"
    [ -z "$problems" ] || fail "$page.1: $problems"
    gzip -dc "$man" | grep -q "Brindlepax $version" || fail "$page.1 does not name version $version"
done

# What every Debian package carries.
need_file "$prefix/share/doc/brindlepax/"{copyright,changelog.gz}

# Plug-ins: the sample, and none of the tests' own.
need_file "$libdir/brindlepax/plugins/BxSamplePlugIn.so"
if [ -d "$libdir/brindlepax/plugins" ]; then
    others=$(find "$libdir/brindlepax/plugins" -type f ! -name BxSamplePlugIn.so)
    [ -z "$others" ] || fail "plug-ins that are not delivered: $others"
fi

# The installed programs run from there, on the installed data files. No display: the X11
# platform with nothing to reach, so that answering --version may not need one.
home=$work/home
mkdir -p "$home"
export BRINDLEPAX_CONFIG=$home/config BRINDLEPAX_DATA=$home/data QT_QPA_PLATFORM=xcb
unset DISPLAY WAYLAND_DISPLAY
if [ -x "$prefix/bin/brindlepax" ]; then
    said=$("$prefix/bin/brindlepax" --version 2>&1)
    [ "$said" = "Brindlepax $version" ] || fail "brindlepax --version said '$said'"
fi
if [ -x "$prefix/bin/bxadmin" ]; then
    "$prefix/bin/bxadmin" --help > /dev/null || fail "bxadmin --help"
    # Out of the build tree's reach: only the installed template can make this database.
    "$prefix/bin/bxadmin" create --embedded "$home/pax.db" > "$home/create.log" 2>&1 ||
        fail "bxadmin create --embedded: $(cat "$home/create.log")"
    [ -s "$home/pax.db" ] || fail "bxadmin create --embedded made no database"
fi

if [ "$faults" -ne 0 ]; then
    echo "$faults fault(s) in the install tree"
    exit 1
fi
echo "install tree complete"
