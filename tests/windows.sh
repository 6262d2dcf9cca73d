#!/bin/bash
# The Windows builds' tests. "imports OBJDUMP EXE": the program imports only
# from KERNEL32.dll and msvcrt.dll, and only the functions pinned in
# windows-imports.txt, since a new one decides the oldest Windows it runs
# on. "x86|x64|win98 PREFIX DIR": the cases of scenarios.txt for that
# system, run by e2e.sh under wine ($HISCORE_WINE32 or $HISCORE_WINE64) in
# a prefix of its own with one primed server, against the build in DIR,
# with DIR-hold.exe to hold files; win98 runs the 32-bit build with wine
# reporting Windows 98, or the 64-bit one where 32-bit programs cannot run.

# lacks NEED WHY: ends a test that the host cannot run, as a skip, or as a
# failure under HISCORE_REQUIRE_ALL when NEED is a package or one of
# $HISCORE_HOST_REQUIRES.
lacks() {
	[[ -n ${HISCORE_REQUIRE_ALL:-} && " package $HISCORE_HOST_REQUIRES " = *" $1 "* ]] &&
	    { echo "$2" >&2; exit 1; }
	[ "$1" = package ] && echo "skipped: $2" || echo "skipped on this host: $2"
	exit 77
}

if [ "$1" = imports ]; then
	[ -f "$3" ] && command -v "$2" >/dev/null || lacks package "missing $3 or $2"
	imports=$("$2" -p "$3" | awk '/DLL Name:/ { dll = $3 }
	    /^\t[0-9a-f]+\t? +[0-9]+ +[A-Za-z_]/ { print dll ":" $NF }')
	bad=$(printf '%s\n' "$imports" | grep -v -i -E '^(kernel32|msvcrt)\.dll:'
	    printf '%s\n' "$imports" | cut -d: -f2 |
	    grep -v -x -F -f <(grep -v "^#" "$(dirname "$0")/windows-imports.txt" | tr " " "\n"))
	[ -n "$imports" ] && [ -z "$bad" ] || { echo "not pinned:" $bad >&2; exit 1; }
	exit 0
fi

# wine_runs WINE PREFIX: starts the prefix's server, with no test's pipes
# open so that its helpers hold none of them, and tells whether WINE runs
# a trivial program there; if not, sets need and why. WINE is run here,
# not through timeout or another execvp caller: those hand a program that
# the kernel cannot run (ENOEXEC) to /bin/sh, which hides the cause behind
# a syntax error. Wine's own programs are named by path: a bare name is
# started through start.exe and ShellExecuteEx.
wine_runs() {
	export WINEPREFIX=$2
	$server -p </dev/null >/dev/null 2>&1
	# A file, not a pipe, which the services that wine starts keep open.
	"$1" "$system32\cmd.exe" /c exit </dev/null >"$work/start" 2>&1 && return 0
	need=wine why="wine cannot run a program here: $(tail -n 1 "$work/start")"
	grep -q 'Exec format error' "$work/start" || return 1
	need=i386 why="32-bit programs cannot run here (Exec format error)"
	[ "$1" = "$wine32" ] || need=wine why="$1 cannot run here (Exec format error)"
	return 1
}

system32='C:\windows\system32' server=/usr/lib/wine/wineserver
wine32=${HISCORE_WINE32:-/usr/lib/wine/wine}
wine64=${HISCORE_WINE64:-/usr/lib/wine/wine64}
mode=$1 dir=$3 wine=$wine32
[ "$mode" != x64 ] || wine=$wine64
[ -e "$wine" ] || lacks package "missing $wine"
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
work=$(mktemp -d) && chmod 755 "$work" && cd "$work" || exit 1
trap '$server -k; [ -z "${HISCORE_AS_NOBODY:-}" ] || nobody $server -k
	cd / && rm -rf "$work"' EXIT
if ! wine_runs "$wine" "$2"; then
	[ "$mode/$need" = win98/i386 ] || lacks "$need" "$why"
	echo "skipped on this host: Windows 98 mode for the 32-bit programs," \
	    "since $why; it runs the 64-bit ones"
	$server -k
	dir=${dir%-x86}-x64 wine=$wine64
	wine_runs "$wine" "$2-x64" || lacks "$need" "$why"
fi
# A home and prefix of uid 65534's own, for the cases run as nobody (wine
# refuses a prefix that another user owns), made by its first start.
nobody() { $HISCORE_AS_NOBODY "$@" </dev/null >/dev/null 2>&1; }
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
	export HISCORE_AS_NOBODY="setpriv --reuid=65534 --regid=65534 --clear-groups env \
HOME=$work/nobody WINEPREFIX=$work/nobody/prefix"
	mkdir "$work/nobody" && chown 65534:65534 "$work/nobody"
	nobody "$wine" "$system32\cmd.exe" /c exit || lacks nobody "uid 65534 cannot run wine here"
fi
[ -e "$dir/merge-scores.exe" ] && [ -e "$dir-hold.exe" ] ||
    lacks package "missing the build of $dir"
export HISCORE_RUNNER=$wine HISCORE_HOLD=$dir-hold.exe HISCORE_BIN=$dir
system=windows-nt
if [ "$mode" = win98 ]; then
	system=windows-9x
	"$wine" "$system32\reg.exe" add 'HKCU\Software\Wine' /v Version /d win98 /f >/dev/null 2>&1
	[ -z "${HISCORE_AS_NOBODY:-}" ] ||
	    nobody "$wine" "$system32\reg.exe" add 'HKCU\Software\Wine' /v Version /d win98 /f
fi
e2e=$(dirname "$0")/e2e.sh
bash "$e2e" run $(bash "$e2e" list $system)
