#!/usr/bin/env bash
# A short scripted tour of the windowed client on a virtual display: starts Xvfb and
# openbox, starts Orvanta from the program directory given, shows the home page with its
# banner, the app centre, a message pushed through the stand-in platform in the popup, my
# apps during a download, the diagnosis after a run and the service desk after a lookup,
# saves a screenshot of each, prints their paths, and ends everything it started.
#
#   scripts/headless_tour.sh PROGRAM_DIR SHOT_DIR
#
# Expects the environment of scripts/run.sh (ORVANTA_HOST_*, ORVANTA_SIM_CONTROL,
# ORVANTA_REGISTRY_ROOT). Steps are shell functions, so a longer tour can add its own.
set -euo pipefail
PROGRAM_DIR=$1
SHOTS=$2
mkdir -p "$SHOTS"

PIDS=()
cleanup() {
  local pid
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    pid=${PIDS[i]}
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT

# A free display number.
for n in $(seq 90 120); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    DISPLAY_NUMBER=$n
    break
  fi
done
export DISPLAY=":$DISPLAY_NUMBER"
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >"$SHOTS/xvfb.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 1 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
openbox >"$SHOTS/openbox.log" 2>&1 &
PIDS+=($!)
sleep 0.5

"$PROGRAM_DIR/Orvanta" >"$SHOTS/orvanta.log" 2>&1 &
CLIENT_PID=$!
PIDS+=($CLIENT_PID)

WINDOW=""
for _ in $(seq 1 100); do
  WINDOW=$(xdotool search --name "澄野奥凡云平台" 2>/dev/null | head -n1 || true)
  [ -n "$WINDOW" ] && break
  sleep 0.1
done
if [ -z "$WINDOW" ]; then
  echo "Orvanta did not show its window:" >&2
  cat "$SHOTS/orvanta.log" >&2
  exit 1
fi
eval "$(xdotool getwindowgeometry --shell "$WINDOW")"  # X, Y of the window

shot() {
  local file="$SHOTS/$1.png"
  import -window root "$file"
  echo "$file"
}

# Clicks at a point of the client area.
click_at() {
  xdotool mousemove $((X + $1)) $((Y + $2)) click 1
}

home_page() {
  # The hot strip is built 250 ms after start and the banner list arrives with it; give
  # the banner pictures time to download.
  sleep 4
  shot 1-home
}

app_centre() {
  click_at 287 43  # the second tab
  sleep 3
  shot 2-app-centre
}

pushed_message() {
  curl -s -X POST "http://$ORVANTA_SIM_CONTROL/push" \
    -d '{"title":"系统维护通知","content":"平台将于今晚 22:00 进行例行维护，届时部分服务暂停，请提前保存数据。","url":""}' \
    >/dev/null
  sleep 3
  shot 3-popup
}

# Waits for a window of the client with this title and gives it the focus.
wait_window() {
  local w=""
  for _ in $(seq 1 50); do
    w=$(xdotool search --all --onlyvisible --pid "$CLIENT_PID" --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$w" ] && break
    sleep 0.1
  done
  [ -n "$w" ] && xdotool windowactivate --sync "$w" 2>/dev/null || true
}

my_apps_download() {
  # Signed in through the login dialog, the desktop tab of my apps; the first application's
  # installer comes slowly from the stand-in platform, so its download is in progress.
  xdotool mousemove 1262 630 click 1  # the popup's close button (lower-right corner)
  curl -s -X POST "http://$ORVANTA_SIM_CONTROL/slow-downloads" -d '{"bytes":6000000,"seconds":20}' >/dev/null
  click_at 367 43  # the third tab: my apps asks for a login first
  wait_window "用户登录"
  xdotool type --delay 60 demo
  xdotool key Tab
  xdotool type --delay 60 demo123
  xdotool key Return
  sleep 3
  click_at 54 104  # the page's desktop tab
  sleep 2
  click_at 73 187  # the first tile: its box offers to start it
  wait_window "我的应用"
  xdotool key Return
  sleep 4
  shot 4-my-apps-download
  curl -s -X POST "http://$ORVANTA_SIM_CONTROL/slow-downloads" -d '{}' >/dev/null
}

diagnosis() {
  click_at 446 43  # the fourth tab
  sleep 1
  click_at 684 126  # start the scan
  sleep 6
  shot 5-diagnosis
}

service_desk() {
  click_at 525 43  # the fifth tab
  sleep 1
  click_at 432 164  # the tax number; the lookup fills in the enterprise
  xdotool type --delay 60 91110108MA01ABCD2X
  click_at 652 164
  sleep 2
  xdotool key Return  # the lookup's message
  sleep 1
  shot 6-service-desk
}

echo "Screenshots of the tour:"
home_page
app_centre
pushed_message
my_apps_download
diagnosis
service_desk

# A close from the window manager ends the client without a question.
xdotool windowactivate --sync "$WINDOW" key alt+F4 2>/dev/null || true
for _ in $(seq 1 50); do
  kill -0 "$CLIENT_PID" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$CLIENT_PID" 2>/dev/null; then
  echo "Orvanta did not end after the window was closed; stopping it." >&2
else
  wait "$CLIENT_PID" && echo "Orvanta ended with exit code 0." || echo "Orvanta ended with exit code $?." >&2
fi
