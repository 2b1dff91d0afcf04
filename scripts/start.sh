#!/usr/bin/env bash
# Installs what is missing, builds the programs and starts the window program (arguments are
# passed on: a folder to start in). Without a display it says so and shows the CLI's help.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVUNA_TESTS=OFF -DKESTRAVUNA_FAULT_INJECTION=OFF
cmake --build build/release -j "$(nproc)" --target kestravuna kestravuna-cli
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display here for the window program (kestravuna); this is kestravuna-cli, which does the same from a shell:"
  exec build/release/cli/kestravuna-cli --help
fi
exec build/release/app/kestravuna "$@"
