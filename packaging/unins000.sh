#!/bin/sh
# Uninstaller of the Orvanta installation in this script's folder.
#
#   unins000 [/VERYSILENT] [/SUPPRESSMSGBOXES]
#
# Removes the files the installer put here (listed with their checksums in unins000.dat) and
# the uninstall entry that names this folder. Keeps the user's data: every file the installer
# did not put here (user/user.cfg, logs, caches, downloads) and the settings files
# (*.ini, *.cfg, *.config) changed since; the folder stays, marked, when anything is kept.
# "/VERYSILENT" (or "/silent") asks nothing; without it the uninstaller asks once when it has
# a terminal. Exit codes: 0 removed, 1 failed, 2 cancelled by the user.
set -u
KEY_NAME='{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1'
MARK='.orvanta'
MANIFEST='unins000.dat'
SETTINGS='\.(ini|cfg|config)$'

fail() {
  printf 'Orvanta uninstall: %s\n' "$*" >&2
  exit 1
}
silent=0
for arg in "$@"; do
  case $(printf '%s' "$arg" | tr 'A-Z' 'a-z') in
    /verysilent | /silent) silent=1 ;;
    /suppressmsgboxes | /norestart) ;;
    *) fail "unexpected argument \"$arg\"" ;;
  esac
done
dir=$(cd "$(dirname "$0")" && pwd -P) || fail "cannot find the installation folder"
[ -f "$dir/$MANIFEST" ] && [ -x "$dir/orvreg" ] || fail "$dir holds no Orvanta installation"
version=$(head -n 1 "$dir/$MARK" 2>/dev/null)

if [ "$silent" != 1 ] && [ -t 0 ]; then
  printf 'Remove Orvanta %s from %s? Your data stays. [y/N] ' "$version" "$dir"
  read -r answer || answer=n
  case $answer in
    y | Y | yes | Yes) ;;
    *)
      echo "Nothing was removed."
      exit 2
      ;;
  esac
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-uninstall.XXXXXX") || fail "cannot create a temporary folder"
trap 'rm -rf "$tmp"' EXIT
# Settings files changed since the install stay.
grep -E "$SETTINGS" "$dir/$MANIFEST" | (cd "$dir" && sha256sum -c 2>/dev/null) |
  sed -n 's/: FAILED$//p' >"$tmp/changed"
cut -c67- "$dir/$MANIFEST" >"$tmp/listed"
grep -v -x -F -f "$tmp/changed" -e orvreg "$tmp/listed" | while IFS= read -r p; do
  rm -f "$dir/$p" || exit 1
done || fail "cannot remove the program files from $dir"

# The uninstall entry, only where it names this folder (both list keys).
for software in 'HKLM\SOFTWARE' 'HKLM\SOFTWARE\Wow6432Node'; do
  key="$software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$KEY_NAME"
  registered=$("$dir/orvreg" query "$key" /v 'Inno Setup: App Path' 2>/dev/null |
    sed -n 's/^    Inno Setup: App Path    REG_[A-Z_]*    //p')
  if [ -n "$registered" ] && [ "$(cd "$registered" 2>/dev/null && pwd -P)" = "$dir" ]; then
    "$dir/orvreg" delete "$key" /f >/dev/null || fail "cannot remove the uninstall entry $key"
  fi
done
rm -f "$dir/orvreg" "$dir/$MANIFEST"

# Folders the installer made, deepest first, where they are empty now.
awk -F/ '{ p = ""; for (i = 1; i < NF; i++) { p = (p == "" ? $i : p "/" $i); print p } }' \
  "$tmp/listed" | LC_ALL=C sort -ru | while IFS= read -r d; do
  rmdir "$dir/$d" 2>/dev/null
done
if [ "$(ls -A "$dir")" = "$MARK" ]; then
  rm -f "$dir/$MARK"
  rmdir "$dir" 2>/dev/null
fi
[ "$silent" = 1 ] || echo "Orvanta ${version:-} is removed from $dir."
exit 0
