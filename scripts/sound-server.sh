#!/usr/bin/env bash
# A private sound server for the tests, as a desktop has one, without touching the machine's own
# sound setup or its ALSA configuration:
#   sound-server.sh start DIR   starts it with everything under DIR (a folder of the test's own)
#   sound-server.sh stop DIR    ends it
# The server has two null sinks: "play", the default sink, and "feed", into which a 440 Hz sine
# is played at the sink's own pace; its monitor "feed.monitor" is the default source. "burst" is a
# sine source that delivers in bursts, as a busy server or a network source does.
# A program reaches it through ALSA's "default" device when its environment holds the lines of
# DIR/env (HOME=DIR, where .asoundrc points "default" at the server; PULSE_SERVER names the
# server's socket). A server left behind by a test that died ends by itself after a minute without
# clients.
set -euo pipefail

cmd=${1:-}
dir=${2:-}
if [ -z "$cmd" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi
dir=$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")

case "$cmd" in
  start)
    command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
    mkdir -p "$dir/runtime" "$dir/config"
    chmod 700 "$dir/runtime"
    cat >"$dir/server.pa" <<EOF
load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1
load-module module-null-sink sink_name=play rate=44100 channels=2 norewinds=1
load-module module-null-sink sink_name=feed rate=44100 channels=2
load-module module-sine sink=feed frequency=440
load-module module-sine-source source_name=burst rate=44100 frequency=440
set-default-sink play
set-default-source feed.monitor
EOF
    # Clients never start a server of their own, so a killed server stays gone.
    echo "autospawn = no" >"$dir/client.conf"
    cat >"$dir/.asoundrc" <<EOF
pcm.!default { type pulse }
ctl.!default { type pulse }
EOF
    cat >"$dir/env" <<EOF
HOME=$dir
XDG_CONFIG_HOME=$dir/config
XDG_RUNTIME_DIR=$dir/runtime
PULSE_SERVER=unix:$dir/native
PULSE_CLIENTCONFIG=$dir/client.conf
EOF
    # shellcheck disable=SC2046
    env $(cat "$dir/env") pulseaudio -n -F "$dir/server.pa" --daemonize=no --exit-idle-time=60 \
      --use-pid-file=no --system=no --disallow-module-loading=no --log-target=file:"$dir/server.log" \
      </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 1 200); do
      # shellcheck disable=SC2046
      if env $(cat "$dir/env") pactl info >/dev/null 2>&1; then exit 0; fi
      kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
      sleep 0.05
    done
    echo "the sound server did not start; its log:" >&2
    cat "$dir/server.log" >&2 || true
    exit 1
    ;;
  stop)
    if [ -f "$dir/pid" ]; then
      pid=$(cat "$dir/pid")
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
      kill -9 "$pid" 2>/dev/null || true
      rm -f "$dir/pid"
    fi
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
