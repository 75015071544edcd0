#!/usr/bin/env bash
# The man pages render without a warning and match the programs: the OPTIONS
# section of a page has an entry for every option that --help lists and names
# no other long option, the exit codes that --help names are the page's EXIT STATUS, and
# --version prints the project's version. velkor-cli's page and its bash
# completion are the ones the build made from its option table.
#   check_man_pages.sh BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail
build=$1 source=$2 version=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

declare -A programs=(
  [velkor]=$build/src/app/velkor
  [velkor-cli]=$build/src/cli/velkor-cli
  [velkor-devsim]=$build/tools/devsim/velkor-devsim
)
declare -A pages=(
  [velkor]=$source/packaging/man/velkor.1
  [velkor-cli]=$build/src/cli/doc/velkor-cli.1
  [velkor-devsim]=$source/packaging/man/velkor-devsim.1
)
completion=$build/src/cli/doc/bash-completion/velkor-cli

# The option words at the start of the lines under "Options:" ("-h", "--help");
# not a wrapped description's line that begins with a dash (it is indented
# further).
help_options() {
  sed -n '/^Options:/,/^$/p' | grep -oE '^  -[^ ]+(, -[^ ]+)?' | grep -oE -- '-[-a-zA-Z?]+' | sort -u
}
# The numbers in the "Exit codes:" paragraph of the help ("... 1 usage error, 2 ...").
help_exit_codes() {
  sed -n '/^Exit codes:/,/^$/p' | sed 's/^Exit codes://' | tr ',' '\n' | grep -oE '^ *[0-9]+' | tr -d ' ' | sort -n
}
# The codes that the page's EXIT STATUS section lists (".B N" under ".TP").
man_exit_codes() {
  sed -n '/^\.SH "\{0,1\}EXIT STATUS/,/^\.SH/p' "$1" | sed -n 's/^\.B \([0-9][0-9]*\)$/\1/p' | sort -n
}

for name in velkor velkor-cli velkor-devsim; do
  program=${programs[$name]}
  page=${pages[$name]}
  if [ ! -f "$page" ]; then
    fail "$page is missing"
    continue
  fi
  ! grep -n '^@[a-z-]*@$' "$page" || fail "$name.1 keeps a line to be generated"

  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$name.1 renders with warnings: $warnings"

  if ! help=$(timeout 30 "$program" --help 2>&1); then
    fail "$name --help failed: $help"
    continue
  fi
  # The page spells a dash as \-.
  options_section=$(sed 's/\\-/-/g' "$page" | sed -n '/^\.SH OPTIONS/,/^\.SH/p')
  # Each option has an entry of its own: a tag line after ".TP" that names it.
  option_tags=$(awk 'previous == ".TP" { print } { previous = $0 }' <<<"$options_section")
  for option in $(help_options <<<"$help"); do
    grep -qE -- "(^|[^-a-zA-Z])$option([^-a-zA-Z]|$)" <<<"$option_tags" ||
      fail "$name --help lists $option, the OPTIONS of $name.1 have no entry for it"
  done
  long_help=$(help_options <<<"$help" | grep -- '^--')
  for option in $(grep -oE -- '--[a-z][-a-z]*' <<<"$options_section" | sort -u); do
    grep -qx -- "$option" <<<"$long_help" || fail "$name.1 describes $option, $name --help does not list it"
  done
  codes=$(help_exit_codes <<<"$help")
  if [ -n "$codes" ] && [ "$codes" != "$(man_exit_codes "$page")" ]; then
    fail "$name --help names exit codes $(echo $codes), $name.1 lists $(echo $(man_exit_codes "$page"))"
  fi

  if [ "$name" = velkor-cli ]; then
    if [ ! -f "$completion" ]; then
      fail "$completion is missing"
    else
      bash -n "$completion" || fail "the bash completion of velkor-cli does not parse"
      ! grep -n '^@[a-z-]*@$' "$completion" || fail "the bash completion keeps a line to be generated"
      for option in $long_help; do
        grep -qE -- "(^|[ '])$option([ ')]|$)" "$completion" ||
          fail "velkor-cli --help lists $option, the bash completion does not offer it"
      done
    fi
  fi

  printed=$(timeout 30 "$program" --version 2>&1)
  [ "$printed" = "$name $version" ] || fail "$name --version printed '$printed', not '$name $version'"
done

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "man pages: rendered without warnings, options, exit codes and versions match"
