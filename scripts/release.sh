#!/usr/bin/env bash
# Makes one release of Orvanta from an existing build, without compiling anything:
#
#   scripts/release.sh VERSION OUTDIR [--bin DIR] [--update-url URL]
#
# OUTDIR receives
#   Orvanta_setup.exe             the installer (packaging/setup-header.sh + a tar.gz payload)
#   AutoUpdater/AutoUpdater.xml   the update descriptor publishing VERSION
# The payload is the program directory (DIR, default $BUILD_DIR/bin or build/bin: the programs
# and image/), stripped of debug information, stamped with VERSION (version.txt), with
# conf.config pointing the updater at URL (default: the update server of the build's
# ORV_HOST_UPDATE), the uninstaller unins000 and the file list unins000.dat. Two releases made
# from one build differ only in their version.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/release-lib.sh"
usage() {
  echo "usage: $0 VERSION OUTDIR [--bin DIR] [--update-url URL]" >&2
  exit 2
}
[ $# -ge 2 ] || usage
version=$1
out=$2
shift 2
build=${BUILD_DIR:-$root/build}
bin=$build/bin
url=''
while [ $# -gt 0 ]; do
  case $1 in
    --bin) bin=${2:?}; shift 2 ;;
    --update-url) url=${2:?}; shift 2 ;;
    *) usage ;;
  esac
done
version=$(release_version release "$version" 9)

programs=(Orvanta Orvlift orvanta-cli orvreg)
for p in "${programs[@]}" image; do
  [ -e "$bin/$p" ] || { echo "release: $bin/$p is missing (build first)" >&2; exit 1; }
done
[ -n "$url" ] || url=$(release_default_url "$bin")

work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/stage
mkdir -p "$stage"
cp -L "${programs[@]/#/$bin/}" "$stage/"
cp -aL "$bin/image" "$stage/image"
strip --strip-debug "${programs[@]/#/$stage/}"
printf '%s\n' "$version" >"$stage/version.txt"
release_conf_config "$stage" "$url"
install -m 755 "$root/packaging/unins000.sh" "$stage/unins000"
release_file_list "$stage" "$work"
need_kb=$(du -sk "$stage" | cut -f1)
need_kb=$((need_kb + need_kb / 10 + 1024))
entries=$(find "$stage" | wc -l)

mkdir -p "$out/AutoUpdater"
setup=$out/Orvanta_setup.exe
sed -e "s/@VERSION@/$version/g" -e "s/@NEED_KB@/$need_kb/g" -e "s/@ENTRIES@/$entries/g" \
  "$root/packaging/setup-header.sh" \
  >"$setup.tmp"
tar -C "$stage" --owner=0 --group=0 --numeric-owner -cf - . | gzip -6 >>"$setup.tmp"
chmod 755 "$setup.tmp"
mv "$setup.tmp" "$setup"
release_descriptor "$out" "$version"
echo "$setup"
echo "$out/AutoUpdater/AutoUpdater.xml"
