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
if ! [[ $version =~ ^[0-9]{1,9}(\.[0-9]{1,9}){0,3}$ ]]; then
  echo "release: the version must be one to four numbers separated by dots: $version" >&2
  exit 2
fi
IFS=. read -r -a parts <<<"$version"
while [ "${#parts[@]}" -lt 4 ]; do parts+=(0); done
version=$(IFS=.; echo "${parts[*]}")

programs=(Orvanta Orvlift orvanta-cli orvreg)
for p in "${programs[@]}" image; do
  [ -e "$bin/$p" ] || { echo "release: $bin/$p is missing (build first)" >&2; exit 1; }
done
if [ -z "$url" ]; then
  host=$(sed -n 's/^ORV_HOST_UPDATE:STRING=//p' "$(dirname "$bin")/CMakeCache.txt" 2>/dev/null || true)
  url="ftp://root:413597kqa@${host:-update.orvanta.example}/var/www/html/downloads/Orvanta_update"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/stage
mkdir -p "$stage"
cp -L "${programs[@]/#/$bin/}" "$stage/"
cp -aL "$bin/image" "$stage/image"
strip --strip-debug "${programs[@]/#/$stage/}"
printf '%s\n' "$version" >"$stage/version.txt"
url_xml=$(printf '%s' "$url" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g')
cat >"$stage/conf.config" <<XML
<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <appSettings>
    <add key="Url" value="$url_xml" />
  </appSettings>
</configuration>
XML
install -m 755 "$root/packaging/unins000.sh" "$stage/unins000"
(cd "$stage" && find . -type f -printf '%P\n' | LC_ALL=C sort | xargs -d '\n' sha256sum) \
  >"$work/unins000.dat"
mv "$work/unins000.dat" "$stage/unins000.dat"
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
cat >"$out/AutoUpdater/AutoUpdater.xml.tmp" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<AutoUpdater>
  <Main_Version Version="$version" />
  <Files>
    <File Name="Orvanta_setup.exe" />
  </Files>
</AutoUpdater>
XML
mv "$out/AutoUpdater/AutoUpdater.xml.tmp" "$out/AutoUpdater/AutoUpdater.xml"
echo "$setup"
echo "$out/AutoUpdater/AutoUpdater.xml"
