#!/usr/bin/env bash
# Turns the screenshots of the main job's headless tour into the small PNGs the README shows:
# cropped to the window (the popup's with the screen's lower-right corner, where it sits)
# and reduced to 64 colours.
#
#   docs/screenshots/refresh.sh SHOT_DIR     (SHOT_DIR: printed by `bash scripts/run.sh`)
set -euo pipefail
SRC=$1
OUT="$(cd "$(dirname "$0")" && pwd)"
# The 850 x 550 window is centred on the tour's 1280 x 800 screen.
WINDOW=850x550+215+125
CORNER=1065x675+215+125
crop() {
  convert "$SRC/$1.png" -crop "$3" +repage "$OUT/$2.png"
  pngquant --force --skip-if-larger --speed 1 --ext .png 64 "$OUT/$2.png" || true
}
crop 1-home home "$WINDOW"
crop 2-app-centre app-centre "$WINDOW"
crop 3-popup popup "$CORNER"
crop 4-my-apps-download my-apps-download "$WINDOW"
crop 5-diagnosis diagnosis "$WINDOW"
crop 6-service-desk service-desk "$WINDOW"
du -ch "$OUT"/*.png | tail -n1
