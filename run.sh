#!/usr/bin/env bash
# Installs what is missing, builds the release program and starts the recorder.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOLVANE_BENCH=OFF >/dev/null
cmake --build build/release --target solvane
if [ -z "${SOLVANE_AUDIO:-}" ] && ! grep -qs ': capture' /proc/asound/pcm; then
  echo "No sound card with a capture device was found: starting with the virtual sound device" \
    "(its input: ${SOLVANE_AUDIO_INPUT:-a 1 kHz tone at -18 dBFS})."
  export SOLVANE_AUDIO=virtual
fi
exec build/release/recorder/solvane "$@"
