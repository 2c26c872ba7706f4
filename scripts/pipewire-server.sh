#!/usr/bin/env bash
# A private PipeWire server for the tests, as today's desktops have one, run from the
# distribution's packages unpacked into a cache of their own: nothing is installed, and neither the
# machine's sound setup nor its ALSA configuration is touched.
#   pipewire-server.sh fetch        unpacks the packages into the cache (quick when already there)
#   pipewire-server.sh start DIR    starts PipeWire, WirePlumber and the PulseAudio protocol with
#                                   everything under DIR (a folder of the test's own)
#   pipewire-server.sh stop DIR     ends them
#   pipewire-server.sh quantum DIR N
#                                   makes the server move audio in blocks of N frames, as it does
#                                   when another program asks for a long latency (0: its own again)
# The server has a null sink "play", the default sink, and a sine source "sine", the default
# source, which delivers 440 Hz in real time, paced by the server's own clock: it makes a block
# whenever the server asks for one, so it goes on after the server was stopped or starved for a
# while (a source with a clock of its own runs out of blocks then and stays silent). WirePlumber
# (its pid in DIR/wireplumber.pid) links streams to them; without it nothing is linked. A program
# reaches the server through ALSA's "default" device when its environment holds the lines of
# DIR/env (HOME=DIR, where .asoundrc points "default" at PipeWire's ALSA plugin in the cache);
# pactl and parec reach it through PULSE_SERVER. With PULSE_SERVER in its environment, though, an
# ALSA program finds a PulseAudio server running, and ALSA's own PulseAudio hook takes "default"
# over: the program then reaches PipeWire through PulseAudio's ALSA plugin and the server's
# PulseAudio protocol, as on a desktop without PipeWire's ALSA plugin. Without PULSE_SERVER it
# reaches it through PipeWire's own plugin, as on most PipeWire desktops. The servers end by
# themselves when the process that started them is gone.
# The cache is $SOLVANE_PIPEWIRE_CACHE, else build/pipewire in the repository.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${SOLVANE_PIPEWIRE_CACHE:-$repo/build/pipewire}
lib=$cache/root/usr/lib/x86_64-linux-gnu
share=$cache/root/usr/share

# The server itself, and the libraries it needs that a machine without a desktop lacks.
packages=(pipewire pipewire-bin pipewire-alsa pipewire-pulse libpipewire-0.3-0 libpipewire-0.3-modules
  libpipewire-0.3-common libspa-0.2-modules wireplumber libwireplumber-0.4-0)
libraries=(liblua5.3-0 liblilv-0-0 libserd-0-0 libsord-0-0 libsratom-0-0 libwebrtc-audio-processing1
  libsndfile1 libpulse0 libavahi-client3 libavahi-common3 libreadline8)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

fetch() {
  [ -f "$cache/complete" ] && return 0
  local want=("${packages[@]}") p
  for p in "${libraries[@]}"; do installed "$p" || want+=("$p"); done
  rm -rf "$cache"
  mkdir -p "$cache/debs"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  # apt-get download needs the package lists; a fresh machine may not have them yet.
  if ! (cd "$cache/debs" && apt-get download -qq "${want[@]}" >/dev/null 2>&1) &&
    ! { $sudo apt-get update -qq && (cd "$cache/debs" && apt-get download -qq "${want[@]}" >/dev/null); }; then
    rm -rf "$cache"
    echo "$0: could not download the packages of the PipeWire the server tests run (${want[*]})." \
      "apt-get download needs the distribution's package archive over the network (and apt-get update" \
      "root or sudo). Run '$0 fetch' once online, or set SOLVANE_PIPEWIRE_CACHE to a cache it filled." >&2
    return 1
  fi
  for p in "$cache"/debs/*.deb; do dpkg -x "$p" "$cache/root"; done
  rm -rf "$cache/debs"
  echo "${want[*]}" >"$cache/complete"
}

# Ends every process whose pid file is given, at once or after a moment.
end_pids() {
  local f pid
  for f in "$@"; do
    [ -f "$f" ] || continue
    pid=$(cat "$f")
    kill "$pid" 2>/dev/null || true
  done
  for f in "$@"; do
    [ -f "$f" ] || continue
    pid=$(cat "$f")
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$f"
  done
}

write_config() {
  local dir=$1
  mkdir -p "$dir/runtime" "$dir/config" "$dir/pipewire" "$dir/wireplumber/main.lua.d"
  chmod 700 "$dir/runtime"
  cp "$share/pipewire/client.conf" "$share/pipewire/client-rt.conf" "$dir/pipewire/"
  cp -r "$share/wireplumber/." "$dir/wireplumber/"
  # No devices of the machine, no Bluetooth: only the nodes below.
  cat >"$dir/wireplumber/main.lua.d/60-fixture.lua" <<EOF
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
EOF
  sed -i '/bluetooth.lua/d' "$dir/wireplumber/wireplumber.conf"
  cat >"$dir/pipewire/pipewire.conf" <<EOF
context.properties = {
  core.daemon = true
  core.name = pipewire-0
  link.max-buffers = 16
  default.clock.rate = 44100
  mem.allow-mlock = false
}
context.spa-libs = {
  audio.convert.* = audioconvert/libspa-audioconvert
  audiotestsrc = audiotestsrc/libspa-audiotestsrc
  support.* = support/libspa-support
}
context.modules = [
  { name = libpipewire-module-protocol-native }
  { name = libpipewire-module-metadata }
  { name = libpipewire-module-spa-node-factory }
  { name = libpipewire-module-client-node }
  { name = libpipewire-module-client-device }
  { name = libpipewire-module-access }
  { name = libpipewire-module-adapter }
  { name = libpipewire-module-link-factory }
  { name = libpipewire-module-session-manager }
  { name = libpipewire-module-protocol-pulse
    args = { server.address = [ "unix:$dir/native" ] } }
]
context.objects = [
  { factory = spa-node-factory
    args = { factory.name = support.node.driver, node.name = Dummy-Driver, node.group = pipewire.dummy,
             priority.driver = 20000 } }
  { factory = spa-node-factory
    args = { factory.name = support.node.driver, node.name = Freewheel-Driver, priority.driver = 19000,
             node.group = pipewire.freewheel, node.freewheel = true } }
  { factory = adapter
    args = { factory.name = support.null-audio-sink, node.name = play, node.description = play,
             media.class = Audio/Sink, audio.position = [ FL FR ], audio.rate = 44100,
             priority.session = 2000, object.linger = true, monitor.channel-volumes = true } }
  { factory = adapter
    args = { factory.name = audiotestsrc, node.name = sine, node.description = sine,
             media.class = Audio/Source, audio.position = [ FL FR ], priority.session = 2000,
             object.linger = true, node.group = pipewire.dummy, node.param.Props = { volume = 0.5, live = false } } }
]
EOF
  echo "autospawn = no" >"$dir/client.conf"
  cat >"$dir/.asoundrc" <<EOF
pcm_type.pipewire { lib "$lib/alsa-lib/libasound_module_pcm_pipewire.so" }
ctl_type.pipewire { lib "$lib/alsa-lib/libasound_module_ctl_pipewire.so" }
pcm.!default { type pipewire }
ctl.!default { type pipewire }
EOF
  cat >"$dir/env" <<EOF
HOME=$dir
XDG_CONFIG_HOME=$dir/config
XDG_RUNTIME_DIR=$dir/runtime
PIPEWIRE_RUNTIME_DIR=$dir/runtime
PIPEWIRE_CONFIG_DIR=$dir/pipewire
PIPEWIRE_MODULE_DIR=$lib/pipewire-0.3
SPA_PLUGIN_DIR=$lib/spa-0.2
WIREPLUMBER_CONFIG_DIR=$dir/wireplumber
WIREPLUMBER_DATA_DIR=$dir/wireplumber
WIREPLUMBER_MODULE_DIR=$lib/wireplumber-0.4
LD_LIBRARY_PATH=$lib:$lib/pipewire-0.3
DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/bus
PULSE_SERVER=unix:$dir/native
PULSE_CLIENTCONFIG=$dir/client.conf
EOF
}

# Runs a program of the cache in the server's environment, in the background, its pid in a file.
launch() {  # dir, pid file, program, arguments...
  local dir=$1 pidfile=$2; shift 2
  # shellcheck disable=SC2046
  env $(cat "$dir/env") "$@" </dev/null >>"$dir/server.log" 2>&1 &
  echo $! >"$pidfile"
}

cmd=${1:-}
dir=${2:-}
case "$cmd" in
  fetch) fetch; exit 0 ;;
  start | stop | quantum) ;;
  *) echo "usage: $0 fetch | start DIR | stop DIR | quantum DIR N" >&2; exit 2 ;;
esac
[ -n "$dir" ] || { echo "usage: $0 $cmd DIR" >&2; exit 2; }
dir=$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")

case "$cmd" in
  start)
    fetch || { echo "could not fetch PipeWire's packages" >&2; exit 1; }
    write_config "$dir"
    : >"$dir/server.log"
    if command -v dbus-daemon >/dev/null; then
      launch "$dir" "$dir/dbus.pid" dbus-daemon --session --nofork --nopidfile --address="unix:path=$dir/bus"
      for _ in $(seq 1 100); do [ -S "$dir/bus" ] && break; sleep 0.02; done
    fi
    launch "$dir" "$dir/pid" "$cache/root/usr/bin/pipewire" -c "$dir/pipewire/pipewire.conf"
    for _ in $(seq 1 200); do [ -S "$dir/runtime/pipewire-0" ] && break; sleep 0.05; done
    launch "$dir" "$dir/wireplumber.pid" "$cache/root/usr/bin/wireplumber"
    # A watchdog ends the servers once the process that started them is gone.
    owner=$(ps -o ppid= -p "$PPID" | tr -d ' ')
    (
      while kill -0 "$owner" 2>/dev/null && [ -f "$dir/pid" ]; do sleep 1; done
      end_pids "$dir/wireplumber.pid" "$dir/pid" "$dir/dbus.pid"
    ) </dev/null >/dev/null 2>&1 &
    # Ready once the session manager has chosen the default sink and source.
    for _ in $(seq 1 200); do
      # shellcheck disable=SC2046
      if env $(cat "$dir/env") pactl info 2>/dev/null | grep -q "Default Source: sine"; then exit 0; fi
      kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
      sleep 0.05
    done
    echo "the PipeWire server did not start; its log:" >&2
    cat "$dir/server.log" >&2 || true
    end_pids "$dir/wireplumber.pid" "$dir/pid" "$dir/dbus.pid"
    exit 1
    ;;
  stop)
    end_pids "$dir/wireplumber.pid" "$dir/pid" "$dir/dbus.pid"
    ;;
  quantum)
    # shellcheck disable=SC2046
    env $(cat "$dir/env") "$cache/root/usr/bin/pw-metadata" -n settings 0 clock.force-quantum "${3:?}" >/dev/null
    ;;
esac
