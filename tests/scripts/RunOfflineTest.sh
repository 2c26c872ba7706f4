#!/usr/bin/env bash
# ./run.sh on a studio PC that has every package and no network: scripts/setup.sh asks nothing of
# apt-get, and run.sh goes on to configure, build and start the recorder, which comes up and ends
# on a stop signal. The fetch of the server tests' PipeWire, which only the test command makes,
# fails there saying what it needs.
#   RunOfflineTest.sh REPOSITORY PROGRAM
# PROGRAM is the recorder the build made: run.sh's own build step is noted, not run again, so the
# test costs a start of the program, not a build.
set -euo pipefail
repo=$1
program=$2
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.log "$work"/output; do [ -f "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }; done
  exit 1
}
# Waits up to a minute (only a failure waits that long) for a command to succeed.
wait_for() {
  for _ in $(seq 1 600); do "$@" && return 0; sleep 0.1; done
  return 1
}

# The machine: apt-get reaches nothing, every package is installed, and cmake notes what it is
# asked for.
bin=$work/bin
mkdir -p "$bin" "$work/repo/build/release/recorder" "$work/home" "$work/tmp" "$work/run"
chmod 700 "$work/run"
cat >"$bin/apt-get" <<EOF
#!/bin/sh
echo "apt-get \$*" >>"$work/apt.log"
echo "E: Failed to fetch: Temporary failure resolving 'deb.debian.org'" >&2
exit 100
EOF
cat >"$bin/sudo" <<'EOF'
#!/bin/sh
exec "$@"
EOF
cat >"$bin/dpkg-query" <<'EOF'
#!/bin/sh
printf 'install ok installed'
EOF
cat >"$bin/cmake" <<EOF
#!/bin/sh
echo "cmake \$*" >>"$work/cmake.log"
EOF
chmod +x "$bin"/*
export PATH=$bin:$PATH

# The repository as run.sh sees it, with the program its build step makes already there.
ln -s "$repo/run.sh" "$work/repo/run.sh"
ln -s "$repo/scripts" "$work/repo/scripts"
ln -s "$program" "$work/repo/build/release/recorder/solvane"

# The program's surroundings: its folders in the work folder, no screen, the virtual sound device,
# the first start's notice answered.
export SOLVANE_HOME=$work/home/ TMPDIR=$work/tmp XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen \
  SOLVANE_AUDIO=virtual SOLVANE_AUDIO_INPUT=silence SOLVANE_DIALOG_SCRIPT=$work/answers \
  SOLVANE_DIALOG_LOG=$work/dialogs.log SOLVANE_ACTIVATE_LOG=$work/activate.log \
  SOLVANE_PIPEWIRE_CACHE=$work/pipewire
: >"$work/answers"

"$work/repo/run.sh" >"$work/output" 2>&1 &
pid=$!
started() {
  [ -s "$work/home/Solvane.ini" ] && return 0
  kill -0 "$pid" 2>/dev/null || { pid=; fail "run.sh ended without starting the recorder"; }
  return 1
}
wait_for started || fail "run.sh did not start the recorder"
# Up and taking requests: a second start asks it to come forward and ends.
"$program" >>"$work/output" 2>&1 || fail "a second start did not reach the running recorder"
wait_for grep -q activate "$work/activate.log" || fail "the recorder took no request"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "the recorder ended with $status on a stop signal"

[ ! -e "$work/apt.log" ] || fail "setup.sh asked apt-get for something with every package installed"
grep -q -- "-S . -B build/release .*-DCMAKE_BUILD_TYPE=Release" "$work/cmake.log" || fail "run.sh configured no release build"
grep -q -- "--build build/release --target solvane" "$work/cmake.log" || fail "run.sh built no program"

# The test command's fetch: it fails, names what it needs, and leaves no half-filled cache.
if "$repo/scripts/pipewire-server.sh" fetch 2>"$work/fetch.log"; then fail "the fetch succeeded without a network"; fi
grep -q "could not download the packages of the PipeWire the server tests run" "$work/fetch.log" ||
  fail "the failed fetch did not say what it needs"
grep -q "network" "$work/fetch.log" || fail "the failed fetch did not say it needs the network"
[ ! -e "$work/pipewire" ] || fail "the failed fetch left a cache behind"
echo "run.sh built and started the recorder without a network; the fixture's fetch said what it needs"
