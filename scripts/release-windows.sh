#!/usr/bin/env bash
# Makes one Windows release of Orvanta from an existing Windows build (scripts/build-windows.sh),
# without compiling the project:
#
#   scripts/release-windows.sh VERSION OUTDIR [--bin DIR] [--image DIR] [--update-url URL]
#
# OUTDIR receives
#   Orvanta_setup.exe             the installer (packaging/windows/setup.nsi, made with NSIS)
#   AutoUpdater/AutoUpdater.xml   the update descriptor publishing VERSION
# The payload is the Windows program directory (DIR, default $BUILD_DIR/bin or
# build-windows/bin): the programs, the DLLs and Qt plugin folders beside them, and image/,
# stripped of debug information, stamped with VERSION (version.txt), with conf.config pointing
# the updater at URL (default: the update server of the build's ORV_HOST_UPDATE) and the file
# list unins000.dat. Test programs are left out. ORV_SETUP_COMPRESSOR=zlib makes the installer
# in a seventh of the time, a third larger (the tests' releases); the default is solid LZMA. The skin (image/) is the one given with
# --image, else DIR's own, else the Linux build's (build/bin/image: the skin is the same files). Two releases made from one build differ only
# in their version.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/release-lib.sh"
usage() {
  echo "usage: $0 VERSION OUTDIR [--bin DIR] [--image DIR] [--update-url URL]" >&2
  exit 2
}
[ $# -ge 2 ] || usage
version=$1
out=$2
shift 2
build=${BUILD_DIR:-$root/build-windows}
bin=$build/bin
url=''
image=''
while [ $# -gt 0 ]; do
  case $1 in
    --bin) bin=${2:?}; shift 2 ;;
    --image) image=${2:?}; shift 2 ;;
    --update-url) url=${2:?}; shift 2 ;;
    *) usage ;;
  esac
done
version=$(release_version release-windows "$version" 5)
IFS=. read -r -a parts <<<"$version"
for p in "${parts[@]}"; do
  # a Windows file version is four 16-bit numbers
  [ "$p" -le 65535 ] || { echo "release-windows: $version: each number is at most 65535" >&2; exit 2; }
done

triple=x86_64-w64-mingw32
command -v makensis >/dev/null || { echo "release-windows: makensis is missing (apt-get install nsis)" >&2; exit 1; }
command -v $triple-gcc >/dev/null || { echo "release-windows: $triple-gcc is missing" >&2; exit 1; }
required=(orvanta-cli.exe orvreg.exe)
optional=(Orvanta.exe Orvlift.exe)
for p in "${required[@]}"; do
  [ -e "$bin/$p" ] || { echo "release-windows: $bin/$p is missing (build first)" >&2; exit 1; }
done
if [ -z "$image" ]; then
  image=$bin/image
  [ -d "$image" ] || image=$root/build/bin/image
fi
[ -d "$image" ] || { echo "release-windows: no skin: $image is missing (build the skin first)" >&2; exit 1; }
for p in "${optional[@]}"; do
  [ -e "$bin/$p" ] || echo "release-windows: note: $bin/$p is not built; the release has no $p" >&2
done
[ -n "$url" ] || url=$(release_default_url "$bin")

work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-release-win.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/stage
mkdir -p "$stage"
# The programs and every DLL and folder beside them (Qt plugins, image/), without the tests.
for p in "${required[@]}" "${optional[@]}"; do
  if [ -e "$bin/$p" ]; then cp -L "$bin/$p" "$stage/"; fi
done
find -L "$bin" -maxdepth 1 -type f -iname '*.dll' -exec cp -L {} "$stage/" \;
if [ -f "$bin/qt.conf" ]; then cp -L "$bin/qt.conf" "$stage/"; fi
shopt -s nullglob
for d in "$bin"/*/; do
  d=${d%/}
  case $(basename "$d") in image | wineprefix | Testing | CMakeFiles) continue ;; esac
  cp -aL "$d" "$stage/"
done
cp -aL "$image" "$stage/image"
find "$stage" -iname '*.exe' -o -iname '*.dll' | while IFS= read -r f; do
  $triple-strip --strip-debug "$f"
done
printf '%s\r\n' "$version" >"$stage/version.txt"
release_conf_config "$stage" "$url" crlf
release_file_list "$stage" "$work"

# The installer's file helper: checksums for the kept data and the uninstall.
$triple-gcc -std=c11 -municode -mwindows -O2 -s -Wall -Wextra -Werror \
  -o "$work/setupfiles.exe" "$root/packaging/windows/setupfiles.c" -lbcrypt

mkdir -p "$out/AutoUpdater"
setup=$out/Orvanta_setup.exe
compressor=()
case ${ORV_SETUP_COMPRESSOR:-lzma} in
  lzma) ;;
  zlib | bzip2) compressor=("-XSetCompressor /FINAL ${ORV_SETUP_COMPRESSOR}") ;;
  *) echo "release-windows: ORV_SETUP_COMPRESSOR is lzma, zlib or bzip2" >&2; exit 2 ;;
esac
makensis -V2 "${compressor[@]}" -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" \
  -DHELPER="$work/setupfiles.exe" -DOUTFILE="$setup.tmp" "$root/packaging/windows/setup.nsi" >&2
mv "$setup.tmp" "$setup"
release_descriptor "$out" "$version"
echo "$setup"
echo "$out/AutoUpdater/AutoUpdater.xml"
