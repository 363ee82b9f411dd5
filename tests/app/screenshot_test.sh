#!/usr/bin/env bash
# The screenshot command's picture: the program's main window taken from the
# display, a PNG of at least the window's client size in several colours.
# Usage: screenshot_test.sh SOURCE_DIR EXE OUTPUT.png
set -euo pipefail
src="$1" exe="$2" png="$3"
rm -f "$png"
# The setup is complete: the program opens its main window at once.
wine reg add 'HKCU\Software\Tarnwick_26' /v SetupComplete18 /d 1 /f >/dev/null 2>&1 </dev/null
"$src/tools/window_shot.sh" "$exe" Tarnwick "$png"
head -c 8 "$png" | od -An -tx1 | tr -d ' \n' | grep -qx '89504e470d0a1a0a' || { echo "not a PNG"; exit 1; }
read -r w h < <(pngtopnm "$png" | pnmfile | sed -nE 's/.* ([0-9]+) by ([0-9]+).*/\1 \2/p')
echo "picture: ${w}x${h}"
[ "$w" -ge 700 ] && [ "$h" -ge 500 ] || { echo "too small for the 800x600 main window"; exit 1; }
colours="$(pngtopnm "$png" | ppmhist -noheader | wc -l)"
echo "colours: $colours"
[ "$colours" -ge 3 ] || { echo "a blank picture"; exit 1; }
