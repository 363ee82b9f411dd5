#!/usr/bin/env bash
# Starts a Windows program under Wine on the current X display, waits for
# its top-level window titled TITLE to be shown and painted, and writes a
# PNG of that window (frame, caption and menu bar included) to FILE.
# The program is ended afterwards.
# Usage: tools/window_shot.sh EXE TITLE FILE.png [ARGUMENTS...]
set -euo pipefail
exe="$1" title="$2" file="$3"
shift 3
[ -n "${DISPLAY:-}" ] || { echo "window_shot: no X display" >&2; exit 2; }

wine "$exe" "$@" >/dev/null 2>&1 </dev/null &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

# The window appears in the X tree under its caption.
id=""
for _ in $(seq 600); do
  id="$(xwininfo -root -tree 2>/dev/null | awk -v t="\"$title\":" 'index($0, t) { print $1; exit }')"
  if [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then break; fi
  id=""
  kill -0 "$pid" 2>/dev/null || { echo "window_shot: the program ended" >&2; exit 1; }
  sleep 0.1
done
[ -n "$id" ] || { echo "window_shot: no window \"$title\" appeared" >&2; exit 1; }

# Painting is done when two captures in a row are the same.
tmp="$(mktemp -d)"
prev=""
for _ in $(seq 50); do
  xwd -id "$id" -silent | xwdtopnm 2>/dev/null > "$tmp/cur.pnm"
  sum="$(md5sum < "$tmp/cur.pnm")"
  [ "$sum" = "$prev" ] && break
  prev="$sum"
  sleep 0.2
done
pnmtopng < "$tmp/cur.pnm" > "$file"
rm -rf "$tmp"
