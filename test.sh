#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the sanitizer,
# thread-sanitizer and fuzz configurations.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
exec ./scripts/build-and-test.sh all
