#!/usr/bin/env bash
# scripts/setup.sh (which ./run.sh and ./test.sh start with) as an account that is not root, with
# packages missing: without sudo it installs nothing and says to run it as root or gives an
# administrator the apt-get line; with sudo it installs through it.
#   SetupWithoutRootTest.sh REPOSITORY
set -euo pipefail
repo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.log "$work"/output; do [ -f "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }; done
  exit 1
}

# A machine that lacks two of the packages, on a PATH that holds nothing else the script could
# use: no sudo, until the test puts one there. The account may write the logs into the work folder.
bin=$work/bin
mkdir -p "$bin"
for tool in grep id cat; do ln -s "$(command -v "$tool")" "$bin/$tool"; done
cat >"$bin/dpkg-query" <<'STUB'
#!/bin/sh
for p; do :; done
case "$p" in sox|xvfb) exit 1 ;; esac
printf 'install ok installed'
STUB
cat >"$bin/apt-get" <<STUB
#!/bin/sh
echo "apt-get \$*" >>"$work/apt.log"
STUB
cp "$repo/scripts/setup.sh" "$work/setup.sh"
chmod 755 "$bin" "$bin/dpkg-query" "$bin/apt-get" "$work/setup.sh"
chmod 777 "$work"
bash=$(command -v bash)

# Runs setup.sh as an account that is not root: the test's own, or another one when it is root.
setup() {
  if [ "$(id -u)" -eq 0 ]; then
    env -i PATH="$bin" "$(command -v setpriv)" --reuid=4555 --regid=4555 --clear-groups -- "$bash" "$work/setup.sh"
  else
    env -i PATH="$bin" "$bash" "$work/setup.sh"
  fi
}

status=0
setup >"$work/output" 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "setup.sh went on without the packages"
[ ! -e "$work/apt.log" ] || fail "apt-get ran without root"
grep -q 'Run the command again as$' "$work/output" && grep -q '^root, or ask an administrator' "$work/output" ||
  fail "it does not say to run it as root or to ask an administrator"
grep -qx '  apt-get update && apt-get install -y --no-install-recommends xvfb sox' "$work/output" ||
  fail "no apt-get line for an administrator"
if grep -q 'command not found' "$work/output"; then fail "the shell was left to say what is missing"; fi

# With sudo, the packages are installed through it.
cat >"$bin/sudo" <<STUB
#!/bin/sh
echo "sudo \$1" >>"$work/sudo.log"
exec "\$@"
STUB
chmod 755 "$bin/sudo"
setup >"$work/output" 2>&1 || fail "setup.sh failed with sudo"
grep -qx 'apt-get install -y -qq --no-install-recommends xvfb sox' "$work/apt.log" || fail "nothing installed"
grep -qx 'sudo apt-get' "$work/sudo.log" || fail "apt-get did not run through sudo"
