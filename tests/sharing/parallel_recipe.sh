#!/usr/bin/env bash
# Runs the GNU Parallel recipe of docs/sharing.md on this machine, local shares standing in
# for the ssh hosts, and compares its catalog with a one-machine build, file for file.
#   parallel_recipe.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin=$1
src=$2
command -v parallel >/dev/null || { echo "GNU Parallel is missing (scripts/install-deps)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PATH="$bin:$PATH" HOME="$work"
mkdir -p "$work/.parallel" "$work/pictures"
touch "$work/.parallel/will-cite"
cp "$src"/examples/pictures/* "$work/pictures/"

# The first sh block after the marker, with this machine's folders and three local slots.
recipe=$(awk '/run by ctest/ { on = 1 } on && /^```sh/ { block = 1; next }
              block && /^```/ { exit } block' "$src/docs/sharing.md")
[ -n "$recipe" ] || { echo "no recipe found in docs/sharing.md" >&2; exit 1; }
recipe=$(sed -e "s|^PICS=.*|PICS='$work/pictures'|" -e "s|^OUT=.*|OUT='$work/shared'|" \
             -e "s|^HOSTS=.*|HOSTS=3/:|" -e "s|^N=.*|N=5|" <<<"$recipe")
bash -c "set -e
$recipe
folivant-build \"\${OPTS[@]}\" -o '$work/one' \"\$PICS\""

diff -r --exclude=.folivant "$work/one" "$work/shared"
[ "$(ls "$work/shared"/*.html | wc -l)" -ge 8 ] || { echo "too few pages built" >&2; exit 1; }
# The shares' parts are merged into the record of the whole catalog.
[ "$(ls "$work/shared/.folivant")" = "record.jsonl" ] || { ls -a "$work/shared/.folivant" >&2; exit 1; }
echo "GNU Parallel recipe: same catalog as one machine"
