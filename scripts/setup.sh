#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Velkor need.
# Idempotent: prints nothing and installs nothing when all is already there.
#   scripts/setup.sh [--packaging] [--container]
#     --packaging: also what scripts/package.sh needs
#     --container: also what packaging/container/build-image.sh and its test need (podman with
#                  runc, mmdebstrap); not by default, as the image takes CI minutes to build
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev qt6-charts-dev libgl-dev
  libqt6opengl6-dev  # Qt Charts' CMake files need it; qt6-charts-dev does not pull it in
  libgtest-dev libgmock-dev googletest
  fonts-dejavu-core fonts-noto-cjk
  libssl-dev openssl
  apache2 lighttpd lighttpd-mod-openssl curl clang libclang-rt-14-dev
  desktop-file-utils appstream shared-mime-info man-db
  xvfb openbox xdotool  # the real window tests: an X server, a window manager, input as a person gives it
  chromium  # the HTML report, loaded by a real browser in the tests
  python3-yaml  # the README's CI examples, parsed by a test as a CI system would
  nginx-light wrk tcpdump  # bench/fleet_bench.sh: a loopback server for the fleet, its wrk figure, the capture of the wire
)
for option in "$@"; do
  case "$option" in
    --packaging) PACKAGES+=(dpkg-dev lintian) ;;
    --container) PACKAGES+=(podman runc mmdebstrap) ;;
    *) echo "setup: unknown option $option (--packaging, --container)" >&2; exit 1 ;;
  esac
done

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq

# The tests and benchmarks start their own web servers on free loopback ports;
# the system services of apache2, lighttpd and nginx are not wanted (and they
# would fight for port 80). Keep them from starting while the packages are installed.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod 755 "$policy"
  trap '$SUDO rm -f "$policy"' EXIT
fi
# debconf's note that it delays configuration without apt-utils is noise.
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
  2> >(grep -v 'since apt-utils is not installed' >&2)
