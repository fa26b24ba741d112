#!/usr/bin/env bash
# Installs what is missing, builds Vistrel and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default
cmake --build --preset default

echo
echo "Vistrel is built in build/default/bin."
echo "The capture client (a video application stand-in that records the virtual camera) is not there yet;"
echo "once it is, this command registers the driver and records the simulated camera through it."
