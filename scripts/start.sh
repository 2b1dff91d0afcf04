#!/usr/bin/env bash
# Installs what is missing, builds the programs into build/release (app/kestravuna and
# cli/kestravuna-cli, without the tests' failure hook) and starts the window program (arguments
# are passed on: a folder to start in). Without a display it shows the CLI's help and says so
# on the last line, below everything else.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVUNA_TESTS=OFF -DKESTRAVUNA_FAULT_INJECTION=OFF
cmake --build build/release -j "$(nproc)" --target kestravuna kestravuna-cli
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  build/release/cli/kestravuna-cli --help
  echo
  echo "No display here for the window program (build/release/app/kestravuna); above is the help of"
  echo "build/release/cli/kestravuna-cli, which does the same from a shell."
  exit 0
fi
exec build/release/app/kestravuna "$@"
