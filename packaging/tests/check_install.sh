#!/usr/bin/env bash
# Installs the build tree into a staging folder (DESTDIR, prefix /usr) and
# checks what lands there: exactly the files of installed_files.txt and the
# examples, icons of their folders' sizes, and a desktop entry, metainfo and
# MIME type that their validators accept and that name each other.
#   check_install.sh BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail
build=$1 source=$2 version=$3
here=$(dirname "$0")
app_id=org.velkor.Velkor

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! DESTDIR="$stage/root" cmake --install "$build" --prefix /usr >"$stage/install.log" 2>&1; then
  cat "$stage/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi
root=$stage/root

# Exactly the expected files: the programs and the desktop files, nothing from
# the tests or the build's helpers.
{
  cat "$here/installed_files.txt"
  (cd "$source/examples" && find . -type f | sed 's|^\./|usr/share/doc/velkor/examples/|')
} | sort >"$stage/expected"
(cd "$root" && find . ! -type d | sed 's|^\./||' | sort) >"$stage/installed"
diff -u "$stage/expected" "$stage/installed" >"$stage/files.diff" ||
  fail "installed files differ from the expected list:$(printf '\n'; cat "$stage/files.diff")"

for program in velkor velkor-cli velkor-devsim; do
  [ -x "$root/usr/bin/$program" ] || fail "usr/bin/$program is not executable"
done

# Each PNG is as large as its folder says (width and height from the IHDR chunk).
png_size() {
  local -a b
  read -r -a b < <(od -An -tu1 -j16 -N8 "$1")
  echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}
for png in "$root"/usr/share/icons/hicolor/*/apps/*.png; do
  folder=$(basename "$(dirname "$(dirname "$png")")")
  size=$(png_size "$png")
  [ "$size" = "$folder" ] || fail "$png is $size, not $folder"
done

desktop=$root/usr/share/applications/$app_id.desktop
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
mime=$root/usr/share/mime/packages/$app_id.xml

out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
out=$(appstreamcli validate-tree --no-net --no-color "$root/usr" 2>&1) || fail "appstreamcli validate-tree: $out"

# The desktop entry starts an installed program with the file, shows an
# installed icon and takes the command files' MIME type.
desktop_key() { sed -n "s/^$1=//p" "$desktop"; }
exec_line=$(desktop_key Exec)
[ -x "$root/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line: no such program installed"
[[ $exec_line == *%[fFuU]* ]] || fail "Exec=$exec_line takes no file"
icon=$(desktop_key Icon)
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] &&
  [ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon is not installed"
mime_type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$mime")
[ "$(desktop_key MimeType)" = "$mime_type;" ] || fail "MimeType=$(desktop_key MimeType), the MIME file has $mime_type"

# The MIME database that the file makes maps *.cmf to that type.
if out=$(update-mime-database "$root/usr/share/mime" 2>&1); then
  grep -qx "[0-9]*:$mime_type:\*\.cmf" "$root/usr/share/mime/globs2" ||
    fail "*.cmf is not $mime_type in the MIME database: $(cat "$root/usr/share/mime/globs2")"
else
  fail "update-mime-database: $out"
fi

# The newest release in the metainfo is the project's version.
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n1)
[ "$release" = "$version" ] || fail "the metainfo's newest release is '$release', the project is $version"

bash -n "$root/usr/share/bash-completion/completions/velkor-cli" || fail "the bash completion does not parse"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install layout: $(wc -l <"$stage/installed") files, validators passed"
