#!/bin/sh
# ctest entry of the browser test: skips (exit 77) with a message when Node.js is missing.
here=$(dirname "$0")
if ! command -v node >/dev/null 2>&1; then
  echo "SKIPPED: node not found (the browser test needs Node.js 20 or later)"
  exit 77
fi
major=$(node -p 'process.versions.node.split(".")[0]' 2>/dev/null || echo 0)
if [ "$major" -lt 20 ]; then
  echo "SKIPPED: Node.js $major is too old for playwright-core (20 or later needed)"
  exit 77
fi
node "$here/run.mjs" "$@" || exit $?
exec node "$here/run-modern.mjs" "$@"
