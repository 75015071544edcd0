#!/usr/bin/env bash
# Builds a Release tree and the Debian package of Velkor with CPack, checks the
# package with lintian, and prints the path of the .deb as its last line.
#   scripts/package.sh [BUILD_DIR]          (default build-release)
# The package's maintainer field is DEBFULLNAME <DEBEMAIL> when both are set.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build-release}"

./scripts/setup.sh --packaging

# Debian's optimisation and hardening flags.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
# The changelog's date is the last commit's, so that the same sources make the same package.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi
options=()
if [ -n "${DEBFULLNAME:-}" ] && [ -n "${DEBEMAIL:-}" ]; then
  options+=("-DVELKOR_PACKAGE_MAINTAINER=$DEBFULLNAME <$DEBEMAIL>")
fi

echo "package: building the Release tree in $BUILD"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" "${options[@]}" >/dev/null
cmake --build "$BUILD"

echo "package: making the .deb"
rm -f "$BUILD"/velkor_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
debs=("$BUILD"/velkor_*.deb)
[ -f "${debs[0]}" ] || { echo "package: cpack made no .deb" >&2; exit 1; }
deb=$(realpath "${debs[0]}")

echo "package: lintian"
lintian --fail-on error --info "$deb"
echo "$deb"
