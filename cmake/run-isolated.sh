#!/usr/bin/env bash
# Runs one test in a fresh temporary home: the settings store and the registry
# file live under XDG_CONFIG_HOME, so each test starts from an empty configuration.
set -u
home=$(mktemp -d "${TMPDIR:-/tmp}/vistrel-test.XXXXXX")
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$@"
