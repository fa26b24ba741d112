#!/usr/bin/env bash
# Builds the benchmarks in Release mode and runs them, printing their tables and a summary of the
# performance targets.
#   bench/run.sh [--quick]   (builds with the `bench` preset, in build/bench)
# --quick streams for 10 seconds instead of 60 (rougher CPU and latency figures).
# Everything measured is CPU time where it can be, since the machine is shared; repeat runs to see the spread.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
if [[ ${1:-} == --quick ]]; then
    seconds=10
    shift
fi
build=$root/build/bench

# The preset's build lists every program run below.
cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2

echo
echo "Frame conversion against JPEG decoding (medians of CPU time per frame)"
QT_QPA_PLATFORM=offscreen "$build/bin/bench_frames" | tee "$build/bench_frames.txt"

echo
echo "Hand-off to the pin against a plain memcpy of the same bytes (medians of CPU time per frame)"
QT_QPA_PLATFORM=offscreen "$build/bin/bench_handoff" | tee "$build/bench_handoff.txt"

echo
echo "Sharing one camera: holder and consumers per frame, consumers at 30 fps, the ring's memory"
QT_QPA_PLATFORM=offscreen "$build/bin/bench_ring" "$(( seconds < 20 ? 5 : 10 ))" | tee "$build/bench_ring.txt"

# Streaming runs in a throw-away home: their own settings store and registry.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/.config
mkdir -p "$XDG_CONFIG_HOME"
"$build/bin/vistrelregsvr" /s "$build/bin/libvistrelcam.so" >/dev/null

echo
echo "Streaming 960x640 camera frames at 30 fps to 1920x1080 for $seconds s, numbered pictures replayed"
"$build/bin/vistrellatency" --seconds "$seconds" 2>/dev/null | tee "$build/stream_replayed.txt" | grep -v '^RESULT'
echo
echo "The same through the shared frame ring: a first graph holds the camera, the measured one reads the ring"
"$build/bin/vistrellatency" --seconds "$seconds" --through-ring 2>/dev/null | tee "$build/stream_ring.txt" |
    grep -v '^RESULT'
echo
echo "The same with the camera stand-in encoding its test picture per frame"
"$build/bin/vistrellatency" --seconds "$seconds" --generated 2>/dev/null | tee "$build/stream_generated.txt" |
    grep -v '^RESULT'

# The capture client itself, recording to /dev/null: CPU of the whole process and of the capture thread,
# read from /proc over the same window once live view has started (its own work, copying and writing
# each frame, and the stand-in's encoding are included here).
ticks() { # pid [thread-name-prefix]
    { cat /proc/"$1"/task/*/stat 2>/dev/null || true; } |
        awk -v want="${2:-}" '{ name = $0; sub(/^[^(]*\(/, "", name); sub(/\).*/, "", name);
            rest = $0; sub(/^.*\) /, "", rest); split(rest, f, " ");
            if (want == "" || index(name, want) == 1) sum += f[12] + f[13] } END { print sum + 0 }'
}
settings=$XDG_CONFIG_HOME/com.quorvane.vistrel
mkdir -p "$settings"
printf '[General]\ncustomResolution=true\nvideoFps=30\nvideoResolution=@Size(1920 1080)\n' >"$settings/Vistrel App.conf"
# An AVI ends at 4 GiB, about 23 s of 1920x1080 frames from the client's start, and the client cannot
# record without writing one; hence a shorter window here.
client_seconds=$((seconds < 12 ? seconds : 12))
echo
echo "The capture client recording to /dev/null for $client_seconds s (camera stand-in encoding per frame)"
"$build/bin/vistrelcapture" --seconds $((client_seconds + 10)) --output /dev/null >"$build/stream_client.txt" \
    2>/dev/null &
client=$!
sleep 8
hz=$(getconf CLK_TCK)
start=$(date +%s.%N) all0=$(ticks $client) capture0=$(ticks $client MediaProcessing)
sleep "$client_seconds"
end=$(date +%s.%N) all1=$(ticks $client) capture1=$(ticks $client MediaProcessing)
wait $client || echo "vistrelcapture failed; see $build/stream_client.txt"
share() { awk -v a="$1" -v b="$2" -v s="$start" -v e="$end" -v hz="$hz" 'BEGIN { printf "%.2f", 100 * (b - a) / hz / (e - s) }'; }
client_cpu=$(share "$all0" "$all1")
client_capture=$(share "$capture0" "$capture1")
echo "process CPU: $client_cpu% of one core, of it the capture thread $client_capture%"

# Four applications at once share the one camera: each client is a process of its own; the first holds the
# camera and the others read its frames from the shared ring. Each should keep the offered rate.
echo
echo "Four capture clients at once for $client_seconds s, one shared camera (output 1920x1080 at 30 fps)"
consumers=()
for i in 1 2 3 4; do
    "$build/bin/vistrelcapture" --seconds "$client_seconds" --output /dev/null >"$build/stream_consumer$i.txt" \
        2>/dev/null &
    consumers+=($!)
done
for pid in "${consumers[@]}"; do wait "$pid" || echo "a vistrelcapture failed; see $build/stream_consumer*.txt"; done
consumer_rates=$(for i in 1 2 3 4; do
    sed -n 's/^measured rate: \([0-9.]*\).*/\1/p' "$build/stream_consumer$i.txt" |
        awk '{ printf "%.1f%%\n", 100 * $1 / 30 }'
done | paste -sd ' ')
echo "delivered of the offered 30 frames/s, per client: $consumer_rates"

result() { sed -n "s/^RESULT $2=//p" "$build/$1" | head -n1; }
handoff() { awk -v c="$1" '$0 ~ c { print $NF; exit }' "$build/bench_handoff.txt"; }

replayed_cpu=$(result stream_replayed.txt cpu_percent)
generated_cpu=$(result stream_generated.txt cpu_percent)
encoding=$(awk -v g="$generated_cpu" -v r="$replayed_cpu" 'BEGIN { printf "%.2f", g - r }')

convert() { awk -v c="$1" 'index($0, c) == 1 { print $NF; exit }' "$build/bench_frames.txt"; }

echo
echo "Targets"
printf '%-58s %-12s %s\n' "target" "limit" "measured"
for case in "960x640 -> 960x640" "960x640 -> 1280x720" "960x640 -> 1920x1080" "1920x1080 -> 1920x1080" \
    "1024x680 -> 960x640"; do
    printf '%-58s %-12s %s\n' "convert / decode $case" "" "$(convert "$case")"
done
printf '%-58s %-12s %s\n' "readFrame 1920x1080 / memcpy" "<= 1.2" "$(handoff 'readFrame 1920x1080')"
printf '%-58s %-12s %s\n' "pin copy 1920x1080 / memcpy" "<= 1.2" "$(handoff 'pin copy 1920x1080')"
printf '%-58s %-12s %s\n' "pin copy re-strided 1366x768 / memcpy" "<= 1.2" "$(handoff 're-strided 1366x768')"
printf '%-58s %-12s %s\n' "pin copy re-strided 1023x683 / memcpy" "<= 1.2" "$(handoff 're-strided 1023x683')"
printf '%-58s %-12s %s\n' "process CPU, 960x640 -> 1920x1080 @ 30 fps (% of a core)" "<= 15" "$replayed_cpu"
printf '%-58s %-12s %s\n' "  of it the capture thread" "" "$(result stream_replayed.txt capture_thread_percent)"
printf '%-58s %-12s %s\n' "  of it the pin's thread" "" "$(result stream_replayed.txt pin_thread_percent)"
printf '%-58s %-12s %s\n' "camera stand-in's JPEG encoding, apart (% of a core)" "" "$encoding"
printf '%-58s %-12s %s\n' "through vistrelcapture (${client_seconds} s), stand-in encoding included" "" "$client_cpu"
printf '%-58s %-12s %s\n' "  same, less the stand-in's encoding" "<= 15" \
    "$(awk -v c="$client_cpu" -v e="$encoding" 'BEGIN { printf "%.2f", c - e }')"
printf '%-58s %-12s %s\n' "samples per second at the sink (output set to 30)" "" \
    "$(result stream_replayed.txt sample_rate)"
printf '%-58s %-12s %s\n' "latency median (frame intervals)" "<= 2" \
    "$(result stream_replayed.txt latency_median_intervals) ($(result stream_replayed.txt latency_median_ms) ms)"
printf '%-58s %-12s %s\n' "latency 99th percentile (ms)" "reported" "$(result stream_replayed.txt latency_p99_ms)"
printf '%-58s %-12s %s\n' "latency median through the ring (frame intervals)" "direct + 1" \
    "$(result stream_ring.txt latency_median_intervals) ($(result stream_ring.txt latency_median_ms) ms)"
ring() { awk -v c="$1" 'index($0, c) { print; exit }' "$build/bench_ring.txt"; }
printf '%-58s %-12s %s\n' "shared camera: per-consumer CPU, 4 consumers (% of a core)" "own scaling" \
    "$(awk '/4 consumer\(s\)/ { sub(/.*CPU +/, ""); print $1 }' "$build/bench_ring.txt" | paste -sd ' ')"
printf '%-58s %-12s %s\n' "shared camera: ring memory (bytes)" "few frames" \
    "$(ring 'Ring memory' | sed 's/^Ring memory: //')"
printf '%-58s %-12s %s\n' "shared camera: 4 client processes, delivered of offered rate" ">= 99%" "$consumer_rates"
echo "Steady-state allocations: ctest -L capture -R tst_FrameAllocations (a test, not timed)."
