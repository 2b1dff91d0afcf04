#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. Each build has its own folder under
# build/; the test builds carry the file layer's failure hook and can be neither installed nor
# packaged, and build/release (scripts/start.sh) is left alone.
#   0. the formatting of every source file (clang-format, .clang-format),
#   1. the GoogleTest suites and the window tests (build/tests: gcc, warnings as errors),
#   2. the release package (build/package) as a user gets it: its file list, no trace of the
#      failure hook in its programs, and a minimal Debian 12 root made for the check where it
#      installs with what it declares and both programs start (scripts/package-check.sh),
#   3. the package installed on this machine (and removed again however the run ends): its
#      menu entry and metadata validate, and the installed window program protects and
#      restores a folder on a virtual display (pictures of every window in
#      build/package/pictures),
#   4. the Windows build (MinGW-w64) of the core and kestravuna-cli, its tests under Wine, the
#      statically linked kestravuna-cli.exe without the hook, and folders protected on one
#      platform restored on the other with the installed kestravuna-cli
#      (scripts/windows-test.sh),
#   5. the same suites built with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
#   6. the same suites built with clang and ThreadSanitizer (protect checks its container and
#      the encoder codes on a second thread),
#   7. every libFuzzer target of the ASan build for a bounded time (KESTRAVUNA_FUZZ_SECONDS,
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

echo "== test build and tests"
cmake -S . -B build/tests -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVUNA_WERROR=ON -DKESTRAVUNA_TESTS=ON -DKESTRAVUNA_FAULT_INJECTION=ON
cmake --build build/tests -j "$jobs"
ctest --test-dir build/tests --output-on-failure -j "$jobs"

echo "== release package: its files, no failure hook, and a minimal Debian 12 root where it starts"
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRAVUNA_WERROR=ON \
  -DKESTRAVUNA_TESTS=OFF -DKESTRAVUNA_FAULT_INJECTION=OFF
cmake --build build/package -j "$jobs"
(cd build/package && rm -f ./*.deb && cpack)
# The search for the hook finds it where it is, so its absence from the package means something.
bash scripts/check-fault-hook.sh present build/tests/cli/kestravuna-cli
bash scripts/package-check.sh build/package/kestravuna_*.deb

echo "== the package installed on this machine: its files validate, the window program runs"
remove_package() { DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq kestravuna; }
trap remove_package EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ./build/package/kestravuna_*.deb
desktop-file-validate /usr/share/applications/org.example.Kestravuna.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.example.Kestravuna.metainfo.xml
bash scripts/window-smoke.sh /usr/bin/kestravuna build/package/pictures

echo "== Windows build, its tests under Wine, and the round trip with the installed kestravuna-cli"
bash scripts/windows-test.sh /usr/bin/kestravuna-cli
trap - EXIT
remove_package

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
