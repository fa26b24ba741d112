#!/usr/bin/env bash
# The main job: installs what is missing, builds, registers the driver with the registration tool and
# records the simulated camera through the whole path, as a video application would see it.
# Running it again does the same again: registration is idempotent and the outputs are replaced.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default
cmake --build --preset default

bin=build/default/bin
out=out
mkdir -p "$out"

echo
echo "== Registering the driver"
"$bin/vistrelregsvr" "$bin/libvistrelcam.so"

echo
echo "== Video input devices"
"$bin/vistrelcapture" --list

echo
echo "== Recording the virtual camera"
# The camera's live view starts about 3 seconds after the device is opened; the placeholder picture
# fills the time until then, so the recording runs a little longer than that.
"$bin/vistrelcapture" --device VistrelToolx64 --seconds 6 \
  --output "$out/vistrel-capture.avi" --snapshot "last:$out/vistrel-frame.png"

echo
echo "Done. The recording and a snapshot of its last frame are in $(pwd)/$out:"
echo "  $out/vistrel-capture.avi   uncompressed video, as the virtual camera delivered it"
echo "  $out/vistrel-frame.png     its last frame"
echo "Play the video with:   ffplay $out/vistrel-capture.avi"
echo "Show the picture with: ffplay $out/vistrel-frame.png  (or any image viewer)"
echo "Unregister the driver: $bin/vistrelregsvr /u $bin/libvistrelcam.so"
