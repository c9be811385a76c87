#!/usr/bin/env bash
# Makes the Debian package from a release build and checks it:
#
#   scripts/package.sh
#
# builds the release preset (prefix /usr, as the package installs), runs cpack -G DEB, runs
# lintian on the package (errors fail, warnings are listed), unpacks it into a temporary root and
# runs scripts/check-install-tree.sh there. A second full build: not part of CI; run it whenever
# the packaging changes. The package lands in build/release.
set -euo pipefail
cd "$(dirname "$0")/.."

# What the build and the checks need first (a fresh machine has not even cmake), then the
# prefix: the programs compile in where their data files and plug-ins are.
scripts/setup.sh --test-tools --packages-only
cmake --preset release -DCMAKE_INSTALL_PREFIX=/usr > /dev/null
cmake --build --preset release
(cd build/release && cpack -G DEB)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' build/release/CMakeCache.txt)
deb=build/release/brindlepax_${version}_amd64.deb
[ -f "$deb" ] || { echo "no package $deb"; exit 1; }
dpkg-deb --info "$deb"

echo "== lintian"
lintian --fail-on error "$deb"

echo "== install-tree checks on the unpacked package"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
scripts/check-install-tree.sh "$root" /usr "$libdir" "$version"
echo "package: $deb"
