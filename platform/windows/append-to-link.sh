#!/bin/sh
# Link launcher: runs the link command with the given items appended after everything else on the line.
# Usage: append-to-link.sh <item>... -- <link command>...
items=""
while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do
  items="$items $1"
  shift
done
shift
# shellcheck disable=SC2086
exec "$@" $items
