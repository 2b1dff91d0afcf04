#!/usr/bin/env bash
# Installs the Debian packages that a group of tasks needs, and only those that are
# missing. Groups: build (compile the program and its window), test (tests, sanitizers,
# fuzzers, the window under a virtual display, the package checks and their minimal Debian
# root), bench (the comparison codecs and tools of the benchmark), windows (the cross build,
# Wine, and libsodium for the cross build, which Debian does not package for MinGW: built from
# Debian's source once per machine by scripts/install-mingw-libsodium.sh).
# Usage: scripts/install-deps.sh GROUP...
set -euo pipefail

declare -A group_packages=(
  [build]="build-essential cmake ninja-build pkg-config libsodium-dev qt6-base-dev qt6-qpa-plugins fonts-wine"
  [test]="acl clang clang-format libclang-rt-14-dev libgtest-dev libgmock-dev util-linux procps git man-db groff-base xvfb xauth openbox xdotool imagemagick desktop-file-utils appstream dpkg-dev file mmdebstrap"
  [windows]="g++-mingw-w64-x86-64-posix wine64 googletest binutils-mingw-w64-x86-64 nsis zip xvfb xauth openbox xdotool imagemagick libsodium-dev dpkg-dev autoconf automake libtool make"
  [bench]="zlib1g-dev liblz4-dev libzstd-dev tar gzip zstd zip unzip p7zip-full valgrind time imagemagick"
)

wanted=()
for group in "$@"; do
  [[ -n "${group_packages[$group]:-}" ]] || { echo "unknown package group: $group" >&2; exit 2; }
  read -r -a packages <<<"${group_packages[$group]}"
  wanted+=("${packages[@]}")
done

missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "installed" ]] || missing+=("$package")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

for group in "$@"; do
  if [[ "$group" == windows ]]; then bash "$(dirname "$0")/install-mingw-libsodium.sh"; fi
done
