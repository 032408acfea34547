#!/bin/sh
# Installs Corvane into a temporary prefix as a user would, then checks that
# both manual pages render without a warning and name every option of their
# program's --help, as the README does, that both give corvane's exit
# statuses as --help does, that corvane.1 names the examples
# under that prefix, and that the installed program, run in a copied example
# folder, writes the example's recorded image.
# Usage: install_test.sh CMAKE BUILD_DIR SOURCE_DIR
set -u
cmake=$1
build=$2
source=$3
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() {
  echo "install_test: $*" >&2
  exit 1
}

# The option names at the start of the --help lines, e.g. -o and --output.
help_options() {
  awk '/^  -/ { sub(/^  /, ""); sub(/  .*/, ""); n = split($0, names, ", ");
                for (i = 1; i <= n; i++) { split(names[i], word, " "); print word[1] } }'
}

# The names of each --help line on one line, e.g. "-o --output".
help_lines() {
  awk '/^  -/ { sub(/^  /, ""); sub(/  .*/, ""); n = split($0, names, ", "); line = "";
                for (i = 1; i <= n; i++) { split(names[i], word, " "); line = line " " word[1] }; print line }'
}

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "cmake --install: $(cat "$work/install.log")"

mkdir "$work/help"
for program in corvane corvane-import; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
  page=$prefix/share/man/man1/$program.1
  [ -f "$page" ] || fail "share/man/man1/$program.1 is not installed"
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null; groff -ww -man -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "$program.1 renders with warnings: $warnings"
  options=$(cd "$work/help" && env -u DISPLAY TERM=dumb "$prefix/bin/$program" --help </dev/null 2>/dev/null | help_options)
  for option in $options; do
    # The pages write every minus of an option as \-.
    grep -qF -- "$(printf '%s' "$option" | sed 's/-/\\-/g')" "$page" || fail "$program.1 does not name $option"
  done
  # The README names each option by at least one of its names.
  (cd "$work/help" && env -u DISPLAY TERM=dumb "$prefix/bin/$program" --help </dev/null 2>/dev/null | help_lines) |
    while read -r names; do
      named=no
      for name in $names; do
        grep -qE -- "(^|[^A-Za-z0-9-])$name([^A-Za-z0-9-]|\$)" "$source/README.md" && named=yes
      done
      [ "$named" = yes ] || fail "README.md does not name $program's $names"
    done || exit 1
done

# corvane's exit statuses: each one of --help is in the page and the README.
statuses=$(cd "$work/help" && env -u DISPLAY TERM=dumb "$prefix/bin/corvane" --help </dev/null 2>/dev/null |
  awk '/^Exit status:/ { listed = 1; next } listed && /^  [0-9]/ { print $1 }')
[ -n "$statuses" ] || fail "corvane --help lists no exit status"
for status in $statuses; do
  grep -qE -- "^\.BI? $(printf '%s' "$status" | sed 's/+/\\+ ?/')( |\$)" "$prefix/share/man/man1/corvane.1" ||
    fail "corvane.1 does not give exit status $status"
  grep -qF -- "| $status |" "$source/README.md" || fail "README.md does not give exit status $status"
done

# The page names the examples' folder under the prefix installed to.
examples_dir=$(printf '%s' "$prefix/share/corvane/examples/" | sed 's/-/\\-/g')
grep -qF -- "$examples_dir" "$prefix/share/man/man1/corvane.1" || fail "corvane.1 does not name $prefix/share/corvane/examples/"

example=room
cp -r "$prefix/share/corvane/examples/$example" "$work/copy" || fail "the example $example is not installed"
(cd "$work/copy" && env -u DISPLAY TERM=dumb "$prefix/bin/corvane" </dev/null >/dev/null 2>"$work/run.log")
status=$?
[ "$status" -eq 0 ] || fail "the installed corvane ended with status $status: $(cat "$work/run.log")"
recorded=$(awk -v name="$example" '$1 == name { print $2 }' "$source/tests/example_digests.txt")
written=$(sha256sum "$work/copy/out.ppm" | cut -d' ' -f1)
[ "$written" = "$recorded" ] || fail "the copied $example wrote $written, not its recorded $recorded"
