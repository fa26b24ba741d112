#!/usr/bin/env bash
# Takes docs/vistrelsetup.png: the settings window with two simulated cameras, on a
# virtual X display. Usage: take-screenshot.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: take-screenshot.sh BUILD_DIR}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
cmake --build "$build" --target setup-screenshot
HOME=$home XDG_CONFIG_HOME=$home/.config QT_QPA_PLATFORM=xcb \
  EDSDK_SIM_CAMERAS="Canon EOS 90D;Canon EOS R6:size=1024x680" \
  xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/bin/setup-screenshot" "$source_dir/docs/vistrelsetup.png"
