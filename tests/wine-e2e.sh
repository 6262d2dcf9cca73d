#!/bin/sh
# Runs the end-to-end tests against the 64-bit Windows program under wine64.
# Usage: wine-e2e.sh TESTS EXE WINEPREFIX
tests=$1 exe=$2
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
if [ ! -f "$exe" ] || [ ! -x "$wine" ]; then
	[ -z "${HISCORE_REQUIRE_WINDOWS:-}" ] || { echo "missing: $exe or wine64" >&2; exit 1; }
	echo "skipped: $exe is not built or wine64 is not installed"
	exit 77
fi
export WINEPREFIX="$3" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
mkdir -p "$WINEPREFIX"
# One server for every run, started and primed with no test's pipes open,
# so that its helper processes hold none of them.
"$wineserver" -p </dev/null >/dev/null 2>&1
prime=$(mktemp -d)
(cd "$prime" && "$wine" "$exe" </dev/null >/dev/null 2>&1)
rm -rf "$prime"
HISCORE_RUNNER=$wine HISCORE_PROGRAM=$exe HISCORE_CRLF=1 "$tests" --gtest_filter='Merge.*'
rc=$?
"$wineserver" -k </dev/null >/dev/null 2>&1
exit $rc
