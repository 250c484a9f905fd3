#!/usr/bin/env bash
# The bash completion folivant-build prints: every option of --help is offered, and option
# values, folders and files are completed where they belong.
# Usage: completion_test.sh FOLIVANT_BUILD
set -uo pipefail
prog=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/album" && touch "$scratch/a picture.jpg" "$scratch/notes.txt"

# shellcheck source=/dev/null
source <("$prog" --bash-completion) || { echo "FAIL: the script does not load"; exit 1; }
complete -p folivant-build >/dev/null || { echo "FAIL: nothing completes folivant-build"; exit 1; }

# complete WORD... : the completions offered for the last word, one a line.
complete_words() {
  COMP_WORDS=(folivant-build "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _folivant_build
  ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}"
}
failures=0
expect() {  # expect WHAT EXPECTED ACTUAL
  if [[ "$2" != "$3" ]]; then
    printf 'FAIL: %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}
lines() { sort | tr '\n' ' '; }

# The option column of the help: "  -o, --target DIR", "      --protect[=TEXT]".
help_options=$("$prog" --help | grep -E '^ +-' | sed -E 's/^ +//; s/  .*//' |
  grep -oE '(^|[ ,])--?[A-Za-z0-9][A-Za-z0-9-]*' | tr -d ' ,' | sort -u)
[[ $(wc -l <<<"$help_options") -ge 40 ]] || { echo "FAIL: help lists too few options"; exit 1; }
offered=$(complete_words - | sort -u)
expect "options of --help not offered" "" "$(comm -23 <(echo "$help_options") <(echo "$offered") | lines)"
expect "options offered that --help does not list" "" "$(comm -13 <(echo "$help_options") <(echo "$offered") | lines)"
expect "long options from a prefix" "--no-albums --no-auto-rotate --no-open-in-window --no-progressive --no-protect --no-settings --no-strip-location --no-videos --no-wait " \
  "$(complete_words --no- | lines)"

filters="bell bspline hermite lanczos3 mitchell none triangle "
expect "--filter values" "$filters" "$(complete_words --filter '' | lines)"
expect "--filter=values" "$filters" "$(complete_words --filter = '' | lines)"
expect "--filter=l" "lanczos3 " "$(complete_words --filter = l | lines)"
expect "--align values" "center default left right " "$(complete_words --align '' | lines)"
expect "choices" "classic modern date " "$(complete_words --style '' | lines)$(complete_words --sort d | lines)"
expect "colour names" "clNavy clNone " "$(complete_words --vlink-color clN | lines)"
expect "colour names after =" "clNavy clNone " "$(complete_words --link-color = clN | lines)"
expect "a number takes nothing" "" "$(complete_words --rows '' | lines)"
expect "a value is not an option" "" "$(complete_words --title - | lines)"

cd "$scratch" || exit 1
expect "folders for --target" "album " "$(complete_words -o '' | lines)"
expect "files and folders" "a picture.jpg album notes.txt " "$(complete_words --quiet '' | lines)"
expect "files for --settings" "notes.txt " "$(complete_words --settings n | lines)"
expect "files after a finished value" "a picture.jpg album " "$(complete_words --filter bell a | lines)"

if ((failures)); then echo "$failures completion checks failed"; exit 1; fi
echo "completion: all checks passed"
