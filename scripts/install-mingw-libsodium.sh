#!/usr/bin/env bash
# Builds libsodium for 64-bit Windows as a static library with the MinGW-w64 toolchain, from
# Debian's own source package of exactly the version the Linux build links (libsodium-dev), so
# both platforms run the same code and nothing comes from outside Debian's archive. Installs
# into a fixed prefix with the source version beside it, and does nothing when that version is
# already there: the build takes minutes, once per machine and Debian version.
# Called by scripts/install-deps.sh (group windows) once the toolchain is installed.
# Usage: scripts/install-mingw-libsodium.sh [PREFIX]
#   PREFIX: a folder of its own, replaced as a whole (default /opt/kestravuna/mingw-libsodium,
#   where cmake/KestravunaSodium.cmake looks)
set -euo pipefail
prefix=${1:-/opt/kestravuna/mingw-libsodium}
[[ $(id -u) -eq 0 ]] || exec sudo bash "$0" "$@"

version=$(dpkg-query -W -f='${source:Version}' libsodium-dev)
stamp=$prefix/debian-source-version
installed() { [[ -f "$stamp" && "$(cat "$stamp")" == "$version" && -f "$prefix/lib/libsodium.a" ]]; }
mkdir -p "$(dirname "$prefix")"
# Workers sharing the machine may run this at the same time: one builds, the others wait for it.
exec 9>"$prefix.lock"
flock 9
if installed; then
  echo "libsodium for Windows: $version in $prefix"
  exit 0
fi
[[ ! -e "$prefix" || -f "$stamp" ]] || { echo "$prefix was not made by $0: remove it first" >&2; exit 1; }

echo "libsodium for Windows: building Debian's libsodium $version with MinGW-w64"
start=$(date +%s)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Source entries for the Debian mirrors this machine's apt already uses, in an apt state of its
# own: the machine's apt configuration and package lists stay as they are.
mkdir -p "$work/apt/sources" "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
  sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
    >"$work/apt/sources/debian.sources"
else
  sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$work/apt/sources/debian.list"
fi
# The files land in this private folder, which apt's unprivileged download user cannot enter.
apt_options=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null
  -o Dir::Etc::SourceParts="$work/apt/sources" -o Dir::State::Lists="$work/apt/lists"
  -o Dir::Cache="$work/apt/cache")
apt-get "${apt_options[@]}" update -qq
# apt checks the files against the signed index; dpkg-source unpacks them and applies Debian's
# patches.
(cd "$work" && apt-get "${apt_options[@]}" source -qq "libsodium=$version")
source_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libsodium-*')

cd "$source_dir"
# Debian's source holds no generated configure. autoreconf rather than the upstream autogen.sh,
# which would fetch newer config.guess and config.sub from the internet.
autoreconf --install --force >"$work/autoreconf.log" 2>&1 || { cat "$work/autoreconf.log"; exit 1; }
# The minimal build leaves out deprecated and low-level functions only; Argon2id,
# secretstream, generichash, randombytes and the guarded memory functions stay (checked below).
./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix \
  --enable-minimal --disable-shared --enable-static --prefix="$prefix" >"$work/configure.log" 2>&1 ||
  { tail -n 60 "$work/configure.log"; exit 1; }
make --quiet -j "$(nproc)" >"$work/make.log" 2>&1 || { tail -n 60 "$work/make.log"; exit 1; }

x86_64-w64-mingw32-nm --defined-only src/libsodium/.libs/libsodium.a >"$work/symbols"
for symbol in crypto_pwhash crypto_pwhash_alg_argon2id13 crypto_secretstream_xchacha20poly1305_push \
  crypto_secretstream_xchacha20poly1305_pull crypto_generichash randombytes_buf sodium_memzero \
  sodium_mlock sodium_malloc; do
  grep -qw "T $symbol" "$work/symbols" || { echo "the minimal libsodium lacks $symbol" >&2; exit 1; }
done

# Installed beside the prefix and moved into place whole: a run cut off half-way leaves the old
# library or none, never a mixture, and is built again next time.
stage=$prefix.new
rm -rf "$stage"
make --quiet install DESTDIR="$stage" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
echo "$version" >"$stage$prefix/debian-source-version"
rm -rf "$prefix"
mv "$stage$prefix" "$prefix"
rm -rf "$stage"
echo "libsodium for Windows: $version installed in $prefix in $(($(date +%s) - start)) s"
