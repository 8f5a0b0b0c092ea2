#!/usr/bin/env bash
# Sets everything up and runs the main job: the stand-in platform on loopback and the
# windowed client `Orvanta` against it.
#   - With a display ($DISPLAY set) you get the window; the job ends when you close it.
#   - Without one, the client runs under Xvfb with openbox, scripts/headless_tour.sh walks
#     a short tour (home page, app centre, a pushed message in the popup), saves
#     screenshots and prints their paths.
#   - `bash scripts/run.sh --cli` runs the headless companion `orvanta-cli` through a
#     user's day instead.
set -euo pipefail
cd "$(dirname "$0")/.."
MODE=window
if [ "${1:-}" = "--cli" ]; then MODE=cli; fi
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
BIN="$PWD/$BUILD_DIR/bin"

# A working copy of the program directory, so the demo leaves the build untouched.
WORK=$(mktemp -d /tmp/orvanta-demo.XXXXXX)
cp -a "$BIN/." "$WORK/"
export ORVANTA_REGISTRY_ROOT="$WORK/registry"
export ORVANTA_BIN="$WORK"
export ORVANTA_APPS_ROOT="$WORK.apps"
export PATH="$WORK:$PATH"
# The client's single-instance lock of this run lives with the run.
mkdir -p "$WORK.runtime"
chmod 700 "$WORK.runtime"
export XDG_RUNTIME_DIR="$WORK.runtime"

SIM_DATA="$WORK.sim"
SIM_OUT="$SIM_DATA.out"
/usr/bin/python3 tools/platform-sim/platform_sim.py --data "$SIM_DATA" --program-dir "$WORK" >"$SIM_OUT" 2>"$SIM_DATA.err" &
SIM_PID=$!
trap 'kill $SIM_PID 2>/dev/null || true; wait $SIM_PID 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  grep -q '^READY' "$SIM_OUT" 2>/dev/null && break
  sleep 0.1
done
grep -q '^READY' "$SIM_OUT" || { echo "platform-sim did not start:"; cat "$SIM_DATA.err"; exit 1; }
while IFS= read -r line; do
  case "$line" in ORVANTA_*=*) export "$line" ;; esac
done <"$SIM_OUT"

if [ "$MODE" = window ]; then
  if [ -n "${DISPLAY:-}" ]; then
    echo "Orvanta runs against the stand-in platform (log in as demo / demo123)."
    echo "Program directory of this run: $WORK"
    "$WORK/Orvanta" || echo "(exit $?)"
  else
    bash scripts/headless_tour.sh "$WORK" "$WORK.shots"
    echo "Program directory of this run: $WORK"
  fi
  exit 0
fi

cli() {
  echo
  echo "\$ orvanta-cli $*"
  "$WORK/orvanta-cli" "$@" || echo "(exit $?)"
}

cli version
cli login --user demo --password demo123 --remember -- apps my-client -- apps my-web
cli credentials
cli apps hot
cli --user demo --ckey demo-ckey subscribe 1001

# A desktop application: its installer downloaded through the engine, run with "/silent";
# it registers itself in the Uninstall key, where the client looks for installed apps.
APP=$("$WORK/orvanta-cli" apps hot | /usr/bin/python3 -c '
import json, sys
app = next(a for a in json.load(sys.stdin)["apps"] if a["downurl"])
print(app["downurl"], app["code"])')
SETUP_URL=${APP% *}
APP_CODE=${APP#* }
echo
echo "\$ orvanta-cli download $SETUP_URL $WORK/LumoDownloads/setup.exe   (first and last event)"
"$WORK/orvanta-cli" download "$SETUP_URL" "$WORK/LumoDownloads/setup.exe" | sed -n '1p;$p'
chmod +x "$WORK/LumoDownloads/setup.exe"
"$WORK/LumoDownloads/setup.exe" /silent >/dev/null
echo
echo "\$ orvreg query \"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$APP_CODE\""
"$WORK/orvreg" query "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$APP_CODE"
cli adv
cli services
cli update-check

# A pushed message reaches the client's push channel.
"$WORK/orvanta-cli" push listen --count 1 >"$WORK/push.out" 2>&1 &
LISTEN_PID=$!
sleep 1
curl -s -X POST "http://$ORVANTA_SIM_CONTROL/push" \
  -d '{"title":"系统维护通知","content":"平台将于今晚 22:00 进行例行维护。","url":""}' >/dev/null || true
wait $LISTEN_PID || true
echo
echo "\$ orvanta-cli push listen --count 1"
cat "$WORK/push.out"

# The diagnosis; the second run compares against a file list published from the first.
cli diagnose >/dev/null
mkdir -p "$SIM_DATA/completeness"
cp "$WORK/temp/localCompletenessFile.ini" "$SIM_DATA/completeness/$("$WORK/orvanta-cli" version | sed 's/.*"version":"\([^"]*\)".*/\1/')"
cli diagnose
echo
echo "Program directory of this run: $WORK"
