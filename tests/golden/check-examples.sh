#!/bin/sh
# The sample pictures, built with the defaults and --no-auto-rotate, give byte for byte the
# files the release before EXIF orientation and colour profiles gave: every file's SHA-256
# against the recorded list, and no file more or less.
#   check-examples.sh FOLIVANT-BUILD SOURCE-DIR
set -e
bin=$1
src=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$bin" --no-settings --no-auto-rotate --quiet --jobs 2 --target "$out" "$src/examples/pictures"
cd "$out"
LC_ALL=C sha256sum -- * | diff -u "$src/tests/golden/examples-default.sha256" -
