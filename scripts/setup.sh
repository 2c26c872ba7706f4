#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the program and the tests need and the machine lacks.
# Does nothing when everything is there, so a machine without a network runs the program once it
# has them. The PipeWire the server tests run is no package of the machine: the test command
# fetches it (scripts/build-and-test.sh, through scripts/pipewire-server.sh fetch).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  libasound2-dev alsa-utils
  pulseaudio pulseaudio-utils libasound2-plugins
  xvfb xauth x11-apps imagemagick xdotool socat
  sox sndfile-programs libsndfile1-dev libfftw3-dev
  fonts-liberation2 fonts-dejavu-core
  # the temporary-folder tests: an age clean-up (systemd-tmpfiles), a start as another account (setpriv)
  systemd util-linux
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    cat >&2 <<EOF
These packages are missing: ${missing[*]}
Installing them takes root, and this account is not root and has no sudo. Run the command again as
root, or ask an administrator to install them with:
  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}
EOF
    exit 1
  fi
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
