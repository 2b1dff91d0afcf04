#!/usr/bin/env bash
# Installs what is missing, builds and runs every test:
#   0. the formatting of every source file (clang-format, .clang-format),
#   1. the GoogleTest suites and the window tests (release build with gcc, warnings as errors),
#   2. the release package: its menu entry and metadata validate, it installs on this machine,
#      and the installed window program protects and restores a folder on a virtual display
#      (pictures of every window in build/package/pictures),
#   3. the Windows build (MinGW-w64) of the core and kestravuna-cli, its tests under Wine, the
#      statically linked kestravuna-cli.exe, and folders protected on one platform restored on
#      the other (scripts/windows-test.sh),
#   4. the same suites built with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
#   5. the same suites built with clang and ThreadSanitizer (protect checks its container and
#      the encoder codes on a second thread),
#   6. every libFuzzer target of the ASan build for a bounded time (KESTRAVUNA_FUZZ_SECONDS,
#      default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh build test
jobs=$(nproc)
fuzz_seconds=${KESTRAVUNA_FUZZ_SECONDS:-60}

echo "== formatting"
if ! git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror; then
  echo "clang-format would change the files above: run"
  echo "  git ls-files '*.cpp' '*.h' | xargs clang-format -i"
  exit 1
fi
echo "formatting: every file as clang-format writes it"

echo "== release build and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVUNA_WERROR=ON -DKESTRAVUNA_TESTS=ON -DKESTRAVUNA_FAULT_INJECTION=ON
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== release package, installed and run"
# Built apart from the test build: a release never carries the file layer's failure hook.
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRAVUNA_WERROR=ON \
  -DKESTRAVUNA_TESTS=OFF -DKESTRAVUNA_FAULT_INJECTION=OFF
cmake --build build/package -j "$jobs"
(cd build/package && rm -f ./*.deb && cpack)
desktop-file-validate app/desktop/org.example.Kestravuna.desktop
appstreamcli validate --no-net app/desktop/org.example.Kestravuna.metainfo.xml
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ./build/package/kestravuna_*.deb
bash scripts/window-smoke.sh /usr/bin/kestravuna build/package/pictures
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq kestravuna

echo "== Windows build, its tests under Wine, and the round trip between the platforms"
bash scripts/windows-test.sh build/release/cli/kestravuna-cli

echo "== sanitizer build (ASan + UBSan) and tests"
CC=clang CXX=clang++ cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTRAVUNA_WERROR=ON -DKESTRAVUNA_SANITIZE=ON -DKESTRAVUNA_FUZZ=ON -DKESTRAVUNA_FAULT_INJECTION=ON
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

echo "== ThreadSanitizer build and tests"
# The window tests stay out: Qt's libraries are not built for ThreadSanitizer.
CC=clang CXX=clang++ cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTRAVUNA_WERROR=ON -DKESTRAVUNA_THREAD_SANITIZE=ON -DKESTRAVUNA_FAULT_INJECTION=ON \
  -DKESTRAVUNA_APP=OFF
cmake --build build/tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -j "$jobs"

echo "== fuzz targets, ${fuzz_seconds}s each"
passed=0 failed=0
for fuzzer in build/sanitize/fuzzers/*; do
  [[ -x "$fuzzer" ]] || continue
  name=$(basename "$fuzzer")
  corpus=build/sanitize/fuzz-corpus/$name
  mkdir -p "$corpus"
  seeds=()
  for dir in */fuzz/seeds/"$name"; do [[ -d "$dir" ]] && seeds+=("$dir"); done
  log=build/sanitize/fuzz-$name.log
  if "$fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="build/sanitize/fuzz-$name-" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    echo "fuzz $name: clean ($(grep -o 'Done [0-9]* runs' "$log" | tail -1))"
    passed=$((passed + 1))
  else
    echo "fuzz $name: FAILED"; tail -n 60 "$log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
