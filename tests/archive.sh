#!/bin/sh
# Unpacks the 32-bit archive and runs its merge.cmd under wine as a player
# would: with two score files beside it, then without them.
# Usage: archive.sh ZIP MERGER WINEPREFIX (MERGER: the merger built here)
zip=$1 merger=$2 wine=/usr/lib/wine/wine
if [ ! -f "$zip" ] || [ ! -x "$wine" ]; then
	[ -z "${HISCORE_REQUIRE_ALL:-}" ] || { echo "missing: $zip or $wine" >&2; exit 1; }
	echo "skipped: $zip is not made or $wine is not installed"; exit 77
fi
export WINEPREFIX="$3" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
src=$(cd "$(dirname "$0")/.." && pwd) top=$(basename "$zip" .zip)
work=$(mktemp -d) && cd "$work" || exit 1
trap 'cd / && rm -rf "$work"' EXIT
set -e
cmake -E tar xf "$zip"
test "$(LC_ALL=C ls "$top" | tr '\n' ' ')" = "README.txt hiscore-merge.exe hiscore-show.exe merge.cmd "
mkdir want && cp "$src"/examples/HISCORE.? want/ && (cd want && "$merger" >/dev/null)
cp want/HISCORE.1 want/HISCORE.2 "$top"/
(cd "$top" && "$wine" cmd /c merge.cmd </dev/null >../out 2>&1)
cat out
cmp want/HISCORE.DAT "$top"/HISCORE.DAT
grep -q "^HISCORE.DAT: valid" out && grep -q "^ 1       131000  LENA" out
rm "$top"/HISCORE.*
(cd "$top" && "$wine" cmd /c merge.cmd </dev/null >../out 2>&1)
cat out
grep -q "^Nothing was merged" out && test ! -e "$top"/HISCORE.DAT
