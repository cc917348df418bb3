#!/usr/bin/env bash
# The demo prefix's web browser: Wine's shell hands every web address that
# Morvane opens to this script, which shows the page through zarnik-sim as
# the proxy (the console host exists nowhere else). With a display it opens
# a browser window; without one it renders the page headless into the next
# console screenshot.
#   demo-browser.sh STATE_DIR URL
# STATE_DIR/browser.conf sets port (the simulator's), shots (the screenshot
# folder; empty for a window) and size (WIDTH,HEIGHT).
set -euo pipefail
state=$1
url=$2
# Read as data, never run: the values may hold any character.
port="" shots="" size=""
while IFS='=' read -r key value; do
  case "$key" in
    port) port=$value ;;
    shots) shots=$value ;;
    size) size=$value ;;
  esac
done <"$state/browser.conf"

printf '%s\n' "$url" >>"$state/opened-urls.txt"

browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "no chromium to show $url" >>"$state/browser.log"
  exit 0
fi

# The console's pages are Chinese: a browser in that language offers no
# translation over them.
flags=(
  --proxy-server="127.0.0.1:$port" --disable-gpu --no-first-run --lang=zh-CN
  --disable-background-networking --disable-component-update --disable-sync
  --window-size="$size"
)
# Chromium refuses to run as root inside its sandbox.
[ "$(id -u)" -eq 0 ] && flags+=(--no-sandbox)

if [ -z "$shots" ]; then
  "$browser" "${flags[@]}" --user-data-dir="$state/browser-profile" "$url" </dev/null >>"$state/browser.log" 2>&1 &
  echo $! >>"$state/browser.pids"
  exit 0
fi

# The first page goes to the stage's name, later ones are numbered. A fresh
# profile each time, so that nothing of an earlier run changes the page.
shot="$shots/05-console.png"
n=2
while [ -e "$shot" ]; do shot="$shots/05-console-$n.png"; n=$((n + 1)); done
profile=$(mktemp -d "$state/browser-profile.XXXXXX")
timeout 60 "$browser" --headless --hide-scrollbars --screenshot="$profile/page.png" "${flags[@]}" \
  --user-data-dir="$profile" "$url" </dev/null >>"$state/browser.log" 2>&1 &
pid=$!
echo "$pid" >>"$state/browser.pids"
wait "$pid" || echo "chromium ended with $? for $url" >>"$state/browser.log"
# Moved in one step: the demo takes the file's appearance as the page's end.
if [ -f "$profile/page.png" ]; then mv "$profile/page.png" "$shot"; fi
rm -rf "$profile"
