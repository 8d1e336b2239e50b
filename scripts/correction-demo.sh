#!/usr/bin/env bash
# The room-correction loop on the simulated room, as a user would close it:
# measure the demo room with --save and --eq, add the designed filters to the
# room through eq-simroom.conf, and measure again. The folder then holds the
# plot before (with the predicted correction) and the plot after.
# Usage: scripts/correction-demo.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
build_dir=${1:-build-run}
out=${2:-correction-demo}
exe="$build_dir/tonvale"
plugin=$(cd "$build_dir/simroom" && pwd)/libasound_module_pcm_simroom.so
mkdir -p "$out"
conf="$(cd "$out" && pwd)/rooms.conf"
# The demo room, with its microphone about 3 m from the loudspeaker.
room='type simroom acoustic_delay 432'
printf 'pcm_type.simroom { lib "%s" }\npcm.room { %s }\n' "$plugin" "$room" >"$conf"
export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$conf"

printf 'r\nc\nx\n' | "$exe" -D room --save "$out" --eq >/dev/null
# The same room played through the filters: the correction block goes inside
# the device's entry.
{
  printf 'pcm.corrected { %s\n' "$room"
  sed -n '/^correction {/,$p' "$out/eq-simroom.conf"
  printf '}\n'
} >>"$conf"
printf 'r\nc\nx\n' | "$exe" -D corrected --save "$out" >/dev/null
echo "Before: $out/run-001.svg (with the predicted correction); after: $out/run-002.svg" >&2
