#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it. Arguments are passed on.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVUNA_TESTS=OFF -DKESTRAVUNA_FAULT_INJECTION=OFF
cmake --build build/release -j "$(nproc)" --target kestravuna-cli
exec build/release/cli/kestravuna-cli "${@:---help}"
