#!/usr/bin/env bash
# Builds the OCI image of velkor-cli and velkor-devsim from the project's own
# .deb (scripts/package.sh makes it) on Debian 12, with no registry at all:
#   packaging/container/build-image.sh DEB WORK [IMAGE]
# DEB: the velkor .deb. WORK: a folder for everything podman keeps (its
# storage, its run folder, its configuration), best under the build tree.
# IMAGE: the name, default localhost/velkor-cli:latest (also tagged with the
# package's version).
#
# The base is a Debian 12 root file system made by mmdebstrap (variant apt,
# merged /usr, no documentation, manual pages or locales; about 72 MB) from
# the mirror apt is set up with on this machine, then imported into podman;
# the .deb is installed on it by the Containerfile beside this script (its
# dependencies come from the same mirror). podman runs rootful with runc and
# cgroupfs, host networking and explicit open-file and process limits, so it
# works where crun cannot handle the machine's cgroups.
#
# Exit codes: 0 built; 1 usage or build error; 77 podman, runc or mmdebstrap
# is missing or cannot run here (with the reason on standard error).
# Afterwards, with the same WORK:
#   eval "$(packaging/container/build-image.sh --env WORK)"
# sets the variables that make podman use that storage.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
suite=bookworm

say() { echo "build-image: $*" >&2; }
cannot() { say "cannot build here: $*"; exit 77; }

# The configuration podman reads: written into WORK, pointed to by variables.
write_config() {
  local work=$1
  mkdir -p "$work/storage" "$work/run" "$work/tmp" "$work/volumes"
  cat >"$work/containers.conf" <<CONF
[containers]
# A fleet holds a socket per device.
default_ulimits = ["nofile=20000:20000", "nproc=20000:20000"]
netns = "host"
[engine]
cgroup_manager = "cgroupfs"
runtime = "runc"
events_logger = "file"
tmp_dir = "$work/tmp"
volume_path = "$work/volumes"
static_dir = "$work/storage/libpod"
CONF
  cat >"$work/storage.conf" <<CONF
[storage]
driver = "overlay"
graphroot = "$work/storage"
runroot = "$work/run"
CONF
  # No registry to search or pull from.
  cat >"$work/registries.conf" <<CONF
unqualified-search-registries = []
CONF
}
env_lines() {
  local work=$1
  echo "export CONTAINERS_CONF='$work/containers.conf'"
  echo "export CONTAINERS_STORAGE_CONF='$work/storage.conf'"
  echo "export CONTAINERS_REGISTRIES_CONF='$work/registries.conf'"
}

if [ "${1:-}" = "--env" ]; then
  [ $# -eq 2 ] || { say "usage: build-image.sh --env WORK"; exit 1; }
  work=$(mkdir -p "$2" && cd "$2" && pwd)
  write_config "$work"
  env_lines "$work"
  exit 0
fi
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  say "usage: build-image.sh DEB WORK [IMAGE]"
  exit 1
fi
deb=$1
[ -f "$deb" ] || { say "no such .deb: $deb"; exit 1; }
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
work=$(mkdir -p "$2" && cd "$2" && pwd)
image=${3:-localhost/velkor-cli:latest}

[ "$(id -u)" -eq 0 ] || cannot "podman runs rootful here and this is not root"
for tool in podman runc mmdebstrap; do
  command -v "$tool" >/dev/null || cannot "$tool is missing (scripts/setup.sh --container installs it)"
done
write_config "$work"
eval "$(env_lines "$work")"
podman info >/dev/null 2>"$work/podman-info.err" ||
  cannot "podman does not run: $(tail -n 3 "$work/podman-info.err")"

version=$(dpkg-deb -f "$deb" Version)
version=${version//[^A-Za-z0-9_.-]/_} # as a tag may spell it
base=localhost/velkor-base:$suite

# The base, made once per WORK: the sources apt is set up with, as lines
# mmdebstrap takes.
if ! podman image exists "$base"; then
  # shellcheck disable=SC2016 # apt's own format fields
  mapfile -t sources < <(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' \
    'Identifier: Packages' | sort -u | grep -E " $suite(-[a-z]+)? " | sed 's/^/deb /')
  [ ${#sources[@]} -gt 0 ] || { say "apt knows no $suite source here (apt-get update?)"; exit 1; }
  say "base: mmdebstrap from ${sources[*]}"
  rootfs="$work/rootfs-$suite.tar"
  mmdebstrap --variant=apt \
    --hook-dir=/usr/share/mmdebstrap/hooks/merged-usr \
    --dpkgopt='path-exclude=/usr/share/man/*' \
    --dpkgopt='path-exclude=/usr/share/locale/*' \
    --dpkgopt='path-include=/usr/share/locale/locale.alias' \
    --dpkgopt='path-exclude=/usr/share/doc/*' \
    --dpkgopt='path-include=/usr/share/doc/*/copyright' \
    --dpkgopt='path-exclude=/usr/share/info/*' \
    "$suite" "$rootfs" "${sources[@]}" >"$work/mmdebstrap.log" 2>&1 ||
    { tail -n 30 "$work/mmdebstrap.log" >&2; say "mmdebstrap failed (log: $work/mmdebstrap.log)"; exit 1; }
  say "base: $(du -m "$rootfs" | cut -f1) MB, imported as $base"
  podman import --quiet --change 'CMD ["bash"]' "$rootfs" "$base" >/dev/null
  rm -f "$rootfs"
fi

# The .deb on the base. The build context is a folder of its own: the
# Containerfile and the package.
context="$work/context"
rm -rf "$context"
mkdir -p "$context"
cp "$here/Containerfile" "$context/Containerfile"
cp "$deb" "$context/velkor.deb"
say "image: $image with $(basename "$deb")"
podman build --pull=never --network host --build-arg "BASE=$base" \
  --tag "$image" --tag "${image%:*}:$version" --file "$context/Containerfile" "$context" >"$work/build.log" 2>&1 ||
  { tail -n 30 "$work/build.log" >&2; say "podman build failed (log: $work/build.log)"; exit 1; }
rm -rf "$context"
say "image: built, $(podman image inspect --format '{{.Size}}' "$image" | awk '{printf "%d MB", $1 / 1e6}')"
echo "$image"
