# Steps shared by scripts/release.sh (Linux) and scripts/release-windows.sh; sourced by both.
# Each takes what differs between the two as arguments.

# release_version NAME VERSION MAX_DIGITS: VERSION padded to four numbers, or exit 2.
release_version() {
  local name=$1 version=$2 digits=$3 parts
  if ! [[ $version =~ ^[0-9]{1,$digits}(\.[0-9]{1,$digits}){0,3}$ ]]; then
    echo "$name: the version must be one to four numbers separated by dots: $version" >&2
    exit 2
  fi
  IFS=. read -r -a parts <<<"$version"
  while [ "${#parts[@]}" -lt 4 ]; do parts+=(0); done
  (IFS=.; echo "${parts[*]}")
}

# release_default_url BIN: the update address of the build BIN belongs to.
release_default_url() {
  local host
  host=$(sed -n 's/^ORV_HOST_UPDATE:STRING=//p' "$(dirname "$1")/CMakeCache.txt" 2>/dev/null || true)
  echo "ftp://root:413597kqa@${host:-update.orvanta.example}/var/www/html/downloads/Orvanta_update"
}

# release_conf_config STAGE URL [crlf]: the updater's conf.config pointing at URL.
release_conf_config() {
  local url_xml eol=''
  url_xml=$(printf '%s' "$2" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g')
  [ "${3:-}" = crlf ] && eol=$'\r'
  sed "s/\$/$eol/" >"$1/conf.config" <<XML
<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <appSettings>
    <add key="Url" value="$url_xml" />
  </appSettings>
</configuration>
XML
}

# release_file_list STAGE WORK: STAGE/unins000.dat, the checksum of every file staged.
release_file_list() {
  (cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort | xargs -d '\n' sha256sum) \
    >"$2/unins000.dat"
  mv "$2/unins000.dat" "$1/unins000.dat"
}

# release_descriptor OUT VERSION: OUT/AutoUpdater/AutoUpdater.xml publishing the installer.
release_descriptor() {
  cat >"$1/AutoUpdater/AutoUpdater.xml.tmp" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<AutoUpdater>
  <Main_Version Version="$2" />
  <Files>
    <File Name="Orvanta_setup.exe" />
  </Files>
</AutoUpdater>
XML
  mv "$1/AutoUpdater/AutoUpdater.xml.tmp" "$1/AutoUpdater/AutoUpdater.xml"
}
