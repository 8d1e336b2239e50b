#!/usr/bin/env bash
# Starts the program on the real "default" sound device, or, on a machine with
# no sound card, on the simulated room (see simroom/README.md).
set -euo pipefail
build_dir=${1:-build}
exe="$build_dir/tonvale"

has_card() {
  [[ -s /proc/asound/cards ]] && ! grep -q 'no soundcards' /proc/asound/cards
}

if has_card; then
  exec "$exe"
fi
plugin=$(cd "$build_dir/simroom" && pwd)/libasound_module_pcm_simroom.so
conf="$build_dir/simroom-demo.conf"
sed "s|@SIMROOM_PLUGIN@|$plugin|" simroom/demo.conf.in >"$conf"
echo "No sound card found: using the simulated room as the \"default\" device." >&2
ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$(cd "$(dirname "$conf")" && pwd)/$(basename "$conf")" exec "$exe"
