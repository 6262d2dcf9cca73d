#!/bin/sh
# The Windows builds' tests. "imports OBJDUMP EXE": the program imports only
# from KERNEL32.dll and msvcrt.dll, and only the functions pinned in
# windows-imports.txt, since a new one decides the oldest Windows it runs
# on. Under wine, in a prefix of its own with one primed server: "x86|x64
# PREFIX e2e TESTS DIR" runs the end-to-end tests against a build (the
# scenarios pick their system; the other tests named Posix are left out),
# with DIR-hold.exe to hold files and the release archive of DIR/packages
# unpacked for merge.cmd; "x86 PREFIX win98 TESTS DIR" does the same with
# wine reporting Windows 98, after checking that the save then takes the
# Windows 9x path.
skip() {
	[ -z "${HISCORE_REQUIRE_ALL:-}" ] || { echo "missing: $1" >&2; exit 1; }
	echo "skipped: missing $1"; exit 77
}
if [ "$1" = imports ]; then
	[ -f "$3" ] && command -v "$2" >/dev/null || skip "$3 or $2"
	imports=$("$2" -p "$3" | awk '/DLL Name:/ { dll = $3 }
	    /^\t[0-9a-f]+\t? +[0-9]+ +[A-Za-z_]/ { print dll ":" $NF }')
	echo "$3 imports:" $imports
	bad=$(printf '%s\n' "$imports" | grep -v -i -E '^(kernel32|msvcrt)\.dll:'
	    printf '%s\n' "$imports" | cut -d: -f2 | grep -v -x -F -f "$(dirname "$0")/windows-imports.txt")
	[ -n "$imports" ] && [ -z "$bad" ] || { echo "not pinned:" $bad >&2; exit 1; }
	exit 0
fi
wine=/usr/lib/wine/wine64 zip=$(ls "$5"/packages/*.zip 2>/dev/null)
[ "$1" = x64 ] || wine=/usr/lib/wine/wine
for file in "$5/hiscore-merge.exe" "$5-hold.exe" "$zip" $wine; do
	[ -e "$file" ] || skip "${file:-the archive of $5}"
done
export WINEPREFIX="$2" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
work=$(mktemp -d) && cd "$work" || exit 1
trap '/usr/lib/wine/wineserver -k; cd / && rm -rf "$work"' EXIT
# Started with no test's pipes open, so that its helpers hold none of them.
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
"$wine" cmd /c exit </dev/null >/dev/null 2>&1
# The release archive, unpacked for the scenarios of merge.cmd.
cmake -E tar xf "$zip" && top=$(basename "$zip" .zip) || exit 1
test "$(LC_ALL=C ls "$top" | tr '\n' ' ')" = "LICENSE.txt README.txt hiscore-merge.exe hiscore-show.exe merge.cmd " || exit 1
export HISCORE_SYSTEM=windows-nt HISCORE_RUNNER=$wine HISCORE_HOLD=$5-hold.exe
export HISCORE_ARCHIVE=$work/$top
if [ "$3" = win98 ]; then
	"$wine" reg add 'HKCU\Software\Wine' /v Version /d win98 /f >/dev/null 2>&1
	HISCORE_SYSTEM=windows-9x
	# The save takes the Windows 9x path, over an old HISCORE.DAT and
	# where there is none: MoveFileA, never MoveFileExA.
	cp "$(dirname "$0")"/../examples/HISCORE.? . && cp HISCORE.1 HISCORE.DAT
	WINEDEBUG=+relay "$wine" "$5/hiscore-merge.exe" >/dev/null 2>relay
	rm HISCORE.DAT
	WINEDEBUG=+relay "$wine" "$5/hiscore-merge.exe" >/dev/null 2>>relay
	grep -q 'Call KERNEL32.MoveFileA(' relay &&
	    ! grep -q 'Call KERNEL32.MoveFileExA(' relay ||
	    { echo "the Windows 9x save did not run" >&2; exit 1; }
fi
HISCORE_MERGE=$5/hiscore-merge.exe HISCORE_SHOW=$5/hiscore-show.exe \
    "$4" --gtest_filter='-*Posix*' >log 2>&1
rc=$?
cat log
grep -q '^\[  PASSED  \] [1-9][0-9]* tests' log || { echo "no test passed" >&2; exit 1; }
! grep -q '^\[  SKIPPED \]' log || [ -z "${HISCORE_REQUIRE_ALL:-}" ] || exit 1
exit $rc
