#!/usr/bin/env bash
# Starts the program on the real "default" sound device, or, on a machine with
# no sound card, on the simulated room (see simroom/README.md). Every run's
# files and plot are saved in runs/ of the build folder, which the program
# names after each run.
set -euo pipefail
build_dir=${1:-build}
exe="$build_dir/tonvale"
save=(--save "$build_dir/runs")

has_card() {
  [[ -s /proc/asound/cards ]] && ! grep -q 'no soundcards' /proc/asound/cards
}

if has_card; then
  exec "$exe" "${save[@]}"
fi
plugin=$(cd "$build_dir/simroom" && pwd)/libasound_module_pcm_simroom.so
conf="$build_dir/simroom-demo.conf"
sed "s|@SIMROOM_PLUGIN@|$plugin|" simroom/demo.conf.in >"$conf"
echo "No sound card found: using the simulated room as the \"default\" device." >&2
ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$(cd "$(dirname "$conf")" && pwd)/$(basename "$conf")" exec "$exe" "${save[@]}"
