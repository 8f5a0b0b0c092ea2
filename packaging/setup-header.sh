#!/bin/sh
# Installer of Orvanta @VERSION@: this script followed by a gzip-compressed tar of the program
# directory (made by scripts/release.sh).
#
#   Orvanta_setup.exe [/silent] [/DIR=FOLDER | FOLDER]
#
# The folder: the one given; else the folder of the registered installation; else, when this
# installer lies in the "UpdateCache" of an Orvanta folder (the updater put it there), that
# folder; else $XDG_DATA_HOME/orvanta/Orvanta. "/silent" (or "/verysilent") asks nothing;
# without it the installer asks once when it has a terminal and prints its steps.
#
# The release is unpacked into a sibling of the folder, the user's data of an earlier release
# is linked into it, and the two are swapped with renames: a failed or interrupted install
# leaves the earlier release as it was. User data is every file the earlier release did not
# install (user/user.cfg, logs, caches, downloads) and every settings file it installed
# (*.ini, *.cfg, *.config) that has changed since. Exit codes: 0 installed, 1 failed,
# 2 cancelled by the user.
set -u
VERSION='@VERSION@'
NEED_KB='@NEED_KB@'
ENTRIES='@ENTRIES@'
KEY_NAME='{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1'
DISPLAY_NAME='奥凡云平台'
PUBLISHER='Orvanta'
MARK='.orvanta'
MANIFEST='unins000.dat'
SETTINGS='\.(ini|cfg|config)$'

self=$0
case $self in /*) ;; *) self="$PWD/$self" ;; esac
silent=0
dir=''
for arg in "$@"; do
  lower=$(printf '%s' "$arg" | tr 'A-Z' 'a-z')
  case $lower in
    /silent | /verysilent) silent=1 ;;
    /suppressmsgboxes | /norestart | /sp-) ;;
    /dir=*) dir=${arg#*=} ;;
    *)
      if [ -n "$dir" ]; then
        printf 'Orvanta setup: unexpected argument "%s"\n' "$arg" >&2
        exit 1
      fi
      dir=$arg
      ;;
  esac
done

tmp=''
stage=''
old=''
swapped=0
cleanup() {
  if [ "$swapped" = 1 ]; then
    # Interrupted between the two renames or before the registration: put the old release back.
    [ -d "$dir" ] && mv "$dir" "$stage" 2>/dev/null
    [ -n "$old" ] && [ -d "$old" ] && mv "$old" "$dir" 2>/dev/null
    swapped=0
  fi
  [ -n "$stage" ] && rm -rf "$stage"
  [ -n "$tmp" ] && rm -rf "$tmp"
  stage=''
  tmp=''
}
fail() {
  printf 'Orvanta setup: %s\n' "$*" >&2
  cleanup
  exit 1
}
trap 'fail "interrupted; nothing was changed"' INT TERM HUP
step() { [ "$silent" = 1 ] || printf '%s\n' "$*"; }

payload_line=$(awk '/^__ORVANTA_PAYLOAD_BELOW__$/ { print NR + 1; exit 0 }' "$self")
[ -n "$payload_line" ] || fail "this installer is damaged (no payload)"
payload() { tail -n "+$payload_line" "$self"; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-setup.XXXXXX") || fail "cannot create a temporary folder"
payload | tar -xzf - -C "$tmp" ./orvreg 2>/dev/null || fail "this installer is damaged (cannot read its payload)"
orvreg="$tmp/orvreg"

# Uninstall entries under both list keys: the programs read the Wow6432Node one on 64-bit Windows.
software='HKLM\SOFTWARE'
[ "${ORVANTA_WOW64:-}" = 1 ] && software='HKLM\SOFTWARE\Wow6432Node'
key="$software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$KEY_NAME"
reg_value() { "$orvreg" query "$key" /v "$1" 2>/dev/null | sed -n "s/^    $1    REG_[A-Z_]*    //p"; }

if [ -z "$dir" ]; then
  registered=$(reg_value 'Inno Setup: App Path')
  cache_parent=$(dirname "$(dirname "$self")")
  if [ -n "$registered" ]; then
    dir=$registered
  elif [ "$(basename "$(dirname "$self")")" = UpdateCache ] && [ -f "$cache_parent/$MARK" ]; then
    dir=$cache_parent
  else
    dir="${XDG_DATA_HOME:-$HOME/.local/share}/orvanta/Orvanta"
  fi
fi
case $dir in /*) ;; *) dir="$PWD/$dir" ;; esac
while [ "${#dir}" -gt 1 ] && [ "${dir%/}" != "$dir" ]; do dir=${dir%/}; done
[ "$dir" != / ] || fail "cannot install into /"
parent=$(dirname "$dir")
base=$(basename "$dir")

# A swap cut short by an earlier run: the release it set aside is the installation.
if [ ! -e "$dir" ]; then
  for left in "$parent/.$base.old-"*; do
    [ -d "$left" ] && [ -f "$left/$MARK" ] && mv "$left" "$dir" && break
  done
fi
[ ! -e "$dir" ] || [ -d "$dir" ] || fail "$dir exists and is not a folder"
if [ -d "$dir" ] && [ ! -f "$dir/$MARK" ] && [ -n "$(ls -A "$dir" 2>/dev/null)" ]; then
  fail "$dir is not empty and holds no Orvanta installation; choose another folder"
fi
mkdir -p "$parent" 2>/dev/null || fail "cannot create the folder $parent"
[ -w "$parent" ] && [ -x "$parent" ] || fail "the folder $parent is not writable"
if [ -d "$dir" ] && { [ ! -w "$dir" ] || [ ! -x "$dir" ]; }; then fail "the folder $dir is not writable"; fi
free_kb=$(df -Pk "$parent" 2>/dev/null | awk 'NR == 2 { print $4 }')
if [ -n "$free_kb" ] && [ "$free_kb" -lt "$NEED_KB" ]; then
  fail "not enough free disk space in $parent: $NEED_KB KB needed, $free_kb KB free"
fi

if [ "$silent" != 1 ] && [ -t 0 ]; then
  printf 'Install Orvanta %s into %s? [Y/n] ' "$VERSION" "$dir"
  read -r answer || answer=n
  case $answer in
    '' | y | Y | yes | Yes) ;;
    *)
      echo "Setup cancelled; nothing was changed."
      cleanup
      exit 2
      ;;
  esac
fi

for left in "$parent/.$base.new-"*; do
  [ -d "$left" ] && rm -rf "$left"
done
stage="$parent/.$base.new-$$"
mkdir "$stage" || fail "cannot create a folder in $parent"

step "[1/4] Unpacking Orvanta $VERSION ($NEED_KB KB)..."
# tar's status goes through a file: the pipe's status is the progress counter's.
{
  payload | tar -xvzf - -C "$stage" 2>"$tmp/tar.err"
  echo $? >"$tmp/tar.rc"
} | if [ "$silent" = 1 ] || [ ! -t 1 ]; then cat >/dev/null; else
  awk -v total="$ENTRIES" '{ n++; printf "\r      %3d%%  %d of %d files", n * 100 / total, n, total }
    END { print "" }'
fi
[ "$(cat "$tmp/tar.rc" 2>/dev/null)" = 0 ] ||
  fail "cannot write the program files into $parent (disk full or not writable): $(head -n 1 "$tmp/tar.err")"
(cd "$stage" && sha256sum -c --quiet "$MANIFEST" >/dev/null 2>&1) ||
  fail "the program files in $parent are incomplete (disk full?)"

step "[2/4] Keeping your data..."
if [ -d "$dir" ] && [ -f "$dir/$MARK" ]; then
  (cd "$dir" && find . -mindepth 1 ! -type d -printf '%P\n') | LC_ALL=C sort >"$tmp/present"
  : >"$tmp/listed"
  [ -f "$dir/$MANIFEST" ] && cut -c67- "$dir/$MANIFEST" | LC_ALL=C sort >"$tmp/listed"
  {
    LC_ALL=C comm -23 "$tmp/present" "$tmp/listed" | grep -v -x -e "$MARK" -e "$MANIFEST"
    # Settings files of the earlier release that the user changed.
    grep -E "$SETTINGS" "$dir/$MANIFEST" 2>/dev/null | (cd "$dir" && sha256sum -c 2>/dev/null) |
      sed -n 's/: FAILED$//p' | while IFS= read -r p; do [ -f "$dir/$p" ] && printf '%s\n' "$p"; done
  } >"$tmp/keep"
  while IFS= read -r p; do
    mkdir -p "$stage/$(dirname "$p")" &&
      { ln -f "$dir/$p" "$stage/$p" 2>/dev/null || cp -pf "$dir/$p" "$stage/$p"; } ||
      fail "cannot keep $dir/$p (disk full?)"
  done <"$tmp/keep"
fi
printf '%s\n' "$VERSION" >"$stage/$MARK" || fail "cannot write into $parent (disk full?)"

step "[3/4] Installing into $dir..."
if [ -d "$dir" ]; then
  old="$parent/.$base.old-$$"
  mv "$dir" "$old" || fail "cannot move the earlier release aside"
fi
swapped=1
mv "$stage" "$dir" || fail "cannot move the new release into place"

step "[4/4] Registering..."
register() {
  r="$dir/orvreg"
  "$r" add "$key" /v DisplayName /d "$DISPLAY_NAME" /f >/dev/null &&
    "$r" add "$key" /v DisplayVersion /d "$1" /f >/dev/null &&
    "$r" add "$key" /v DisplayIcon /d "$dir/Orvanta" /f >/dev/null &&
    "$r" add "$key" /v UninstallString /d "$dir/unins000" /f >/dev/null &&
    "$r" add "$key" /v InstallLocation /d "$dir" /f >/dev/null &&
    "$r" add "$key" /v Publisher /d "$PUBLISHER" /f >/dev/null &&
    "$r" add "$key" /v "Inno Setup: App Path" /d "$dir" /f >/dev/null
}
if ! register "$VERSION"; then
  # Whatever part of the entry was written: the earlier release's entry again, or none.
  old_version=''
  [ -n "$old" ] && old_version=$(head -n 1 "$old/$MARK" 2>/dev/null)
  [ -n "$old_version" ] || "$orvreg" delete "$key" /f >/dev/null 2>&1
  cleanup
  [ -n "$old_version" ] && register "$old_version"
  printf 'Orvanta setup: cannot register the installation (is the registry writable?)\n' >&2
  exit 1
fi
swapped=0
[ -n "$old" ] && rm -rf "$old"
rm -rf "$tmp"
step "Orvanta $VERSION is installed in $dir."
exit 0
__ORVANTA_PAYLOAD_BELOW__
