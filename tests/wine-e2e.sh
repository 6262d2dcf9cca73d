#!/bin/sh
# Runs the end-to-end tests against one Windows build's programs under wine,
# leaving out by name what only POSIX has. A skipped test fails the run when
# HISCORE_REQUIRE_ALL is set. Usage: wine-e2e.sh TESTS DIR x86|x64 WINEPREFIX
tests=$1 dir=$2
if [ "$3" = x86 ]; then wine=/usr/lib/wine/wine; else wine=/usr/lib/wine/wine64; fi
if [ ! -f "$dir/hiscore-merge.exe" ] || [ ! -x "$wine" ]; then
	[ -z "${HISCORE_REQUIRE_ALL:-}" ] || { echo "missing: $dir or $wine" >&2; exit 1; }
	echo "skipped: $dir is not built or $wine is not installed"; exit 77
fi
export WINEPREFIX="$4" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
mkdir -p "$WINEPREFIX" && cd "$WINEPREFIX" || exit 1
# One server for every run, started and primed with no test's pipes open,
# so that its helper processes hold none of them.
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
"$wine" "$dir/hiscore-show.exe" --version </dev/null >/dev/null 2>&1
HISCORE_RUNNER=$wine HISCORE_MERGE=$dir/hiscore-merge.exe \
    HISCORE_SHOW=$dir/hiscore-show.exe "$tests" --gtest_filter='-*Posix*' >log 2>&1
rc=$?
cat log
/usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1
if grep -q '^\[  SKIPPED \]' log && [ -n "${HISCORE_REQUIRE_ALL:-}" ]; then exit 1; fi
exit $rc
