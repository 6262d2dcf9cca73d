#!/bin/bash
# e2e.sh: runs the programs in scratch folders, one case of scenarios.txt
# at a time (its head says how a case is written), and checks what they
# print, their exit status and every entry below the scratch root.
#   e2e.sh list SYSTEM    the cases that run on SYSTEM (posix, windows-nt,
#                         windows-9x)
#   e2e.sh run CASE...    runs them: exit 0 if all pass, 77 if the one
#                         case given was skipped, else 1
# HISCORE_BIN holds the programs, HISCORE_TABLES is the tables helper;
# HISCORE_RUNNER (wine), HISCORE_HOLD and HISCORE_AS_NOBODY (how to run
# wine as uid 65534) say how to run Windows programs. Under
# HISCORE_REQUIRE_ALL a missing tool, or a capability of
# HISCORE_HOST_REQUIRES that the host lacks, fails a case instead of
# skipping it.
set -u
export LC_ALL=C
table=$(dirname "$0")/scenarios.txt runner=${HISCORE_RUNNER:-} exe=${HISCORE_RUNNER:+.exe}
nobody=${HISCORE_AS_NOBODY:-setpriv --reuid=65534 --regid=65534 --clear-groups}
messages=$'HIGHSCORE - MERGER for Quorvex\n\nMerging files \'HISCORE.1\' and \'HISCORE.2\' to'
messages+=$' \'HISCORE.DAT\' ...\n\n'
# What a case's run starts with. "hold FILE": another program holds FILE,
# unshared, until "release". "syncs CALLS": the calls of strace -y's log
# ../calls that a regular expression names, without file paths.
helpers='hold() { $HISCORE_RUNNER $HISCORE_HOLD $1 ../held ../go & held=$!
	until [ -e ../held ]; do sleep 0.01; done; }
release() { touch ../go; wait $held || echo hold failed; rm ../held ../go; }
syncs() { grep -E "^($1)\\(" ../calls | sed -E "s/[0-9]+<[^>]*\\//</; s/ +=/ =/"; }'

# Writes each field of the case $1 into a file of the folder $2 named by
# its key, and its tags into $2/tags.
fields() {
	awk -v want="$1" -v out="$2" '
	function put(key, value) {
		if (key in v) value = v[key] "\n" value
		v[last = key] = value
	}
	function field(f,   key) {
		if (f ~ /^[0-9]+$/) return put("status", f)
		key = f; sub(/ .*/, "", key)
		if (key !~ /^(setup|run|alarms|saved|err|cannot|out)$/) {
			print want ": " f >"/dev/stderr"; exit 1 }
		put(key, substr(f, length(key) + 2))
	}
	/^(#|$)/ { next }
	{ sub(/ +$/, ""); sub(/\\x20$/, " ") }
	/^[^\t]/ { n = split($0, f, / \| /); split(f[1], w, " ")
		if (!(here = w[1] == want)) next
		found = 1; tags = f[1]; sub(/^[^ ]*/, "", tags)
		for (i = 2; i <= n; i++) field(f[i]) }
	here && /^\t\| / { field(substr($0, 4)); next }
	here && /^\t/ { v[last] = v[last] "\n" substr($0, 2) }
	END { if (!found) exit 1
		for (k in v) printf "%s", v[k] >(out "/" k)
		print tags >(out "/tags") }' "$table"
}

list() {
	awk -F' [|] ' -v s="$1" '/^[^#\t]/ { n = split($1, w, " "); on = -1
		for (i = 2; i <= n; i++) if (w[i] ~ /^(posix|win)/) on = on > 0 || index(s, w[i])
		if (on) print w[1] }' "$table"
}

# Probes each need that the case's tags name, by using it once in a
# scratch folder $d with a file $d/f. A lack skips the case (77), or fails
# it (1) under HISCORE_REQUIRE_ALL where a tool is missing or where
# HISCORE_HOST_REQUIRES names the need. Sets as: how to run a program as
# uid 65534, where a tag says so and the tests run as root.
needs() {
	local need use why d
	as=
	for need in $(<"$f/tags"); do
		case $need in
		root) use='test 0 = $(id -u)' why="the tests do not run as root";;
		trace) use='strace -o $d/f true && test -s $d/f' why="strace cannot trace here";;
		xattr) use='setfattr -n user.probe $d/f' why="TMPDIR takes no user.* attribute";;
		acl) use='setfacl -m u:65534:r $d/f' why="TMPDIR takes no ACL";;
		flags) use='chattr +d $d/f' why="TMPDIR takes no inode flags";;
		noproc) use="unshare -m sh -c 'mount -t tmpfs no /proc && \$0 -h' $bin/hiscore-show"
			why="the programs cannot run without /proc here";;
		nobody) [ "$(id -u)" = 0 ] || continue
			[[ -z $runner || -n ${HISCORE_AS_NOBODY:-} ]] || continue
			as="$nobody " use="${as}test -w \$d" why="uid 65534 cannot reach TMPDIR";;
		*) continue;;
		esac
		d=$(mktemp -d) && touch "$d/f" && chmod 777 "$d"
		if ! command -v "${use%% *}" >/dev/null; then why="missing ${use%% *}"
		elif (eval "$use") >/dev/null 2>&1; then why=; fi; rm -rf "$d"
		[ -n "$why" ] || continue
		[[ -n ${HISCORE_REQUIRE_ALL:-} && ( $why == missing* ||
		    " $HISCORE_HOST_REQUIRES " == *" $need "* ) ]] && { echo "$why"; return 1; }
		[[ $why == missing* ]] && echo "skipped: $why" || echo "skipped on this host: $why"
		return 77
	done
}

# Makes the scratch root: the programs, the score files, w/ with HISCORE.1
# and HISCORE.2; then runs the case's setup there, where every command
# must succeed, each of those that && joins too (sh -e alone lets a
# failure before an && pass).
prepare() {
	mkdir -p "$root/bin" "$root/w" && chmod 755 "$root" && chmod 777 "$root/w" &&
	    cp "$bin"/{hiscore-merge,hiscore-show,merge-scores}$exe "$root/bin" &&
	    "$HISCORE_TABLES" "$root" && cp "$root/a" "$root/w/HISCORE.1" &&
	    cp "$root/b" "$root/w/HISCORE.2" || return
	[ ! -e "$f/setup" ] || (cd "$root/w" && umask 022 &&
	    sed 's/ && /\n/g' "$f/setup" | sh -e) || { echo "setup failed"; return 1; }
}

# Every entry below the root but the programs and the driver's own files:
# kind, mode, owner and group, a link's target; a file's bytes; extended
# attributes (ACLs among them). Each line starts with the entry's path.
snapshot() {
	local skip=(-path ./bin -o -path ./run -o -path ./out -o -path ./err)
	(cd "$root" && { find . -mindepth 1 \( "${skip[@]}" \) -prune -o -printf '%p %M %U:%G %l\n'
	find . -mindepth 1 \( "${skip[@]}" \) -prune -o -type f -exec md5sum {} + 2>/dev/null |
	    awk '{ h = $1; sub(/^[^ ]*  /, ""); print $0 " md5 " h }'
	find . -mindepth 1 \( "${skip[@]}" \) -prune -o -print0 |
	    xargs -0 getfattr -h -d -m - 2>/dev/null |
	    awk '/^# file: / { f = "./" substr($0, 9); next } NF { print f " " $0 }'
	} | sort)
}

# The lines of a snapshot about the saved file, but for its bytes, which
# the case checks by its rows; with -v, the rest of the snapshot.
dat_lines() {
	case ${1:-}$saved in
	-v) cat;;
	-v.) grep -v '^\./w/HISCORE\.DAT ';;
	*) grep '^\./w/HISCORE\.DAT ' | grep -v ' md5 ';;
	esac
}

# Runs the case's script in w/ under a watchdog: a hung case ends by
# SIGTERM, then SIGKILL, and exits 124. "door ARGS" runs the door in the
# current folder (on Windows, a copy of it there).
execute() {
	local door="door() { $as$root/bin/merge-scores \"\$@\"; }"
	[ -z "$runner" ] || door="door() { cp $root/bin/merge-scores.exe . || return
		$as$runner \$PWD/merge-scores.exe \"\$@\"; set -- \$?
		rm merge-scores.exe; return \$1; }"
	export MERGE="$as$runner $root/bin/hiscore-merge$exe"
	export SHOW="$as$runner $root/bin/hiscore-show$exe"
	# LeakSanitizer cannot work under strace or without /proc.
	[[ " $(<"$f/tags") " != *" "@(trace|noproc)" "* ]] || export ASAN_OPTIONS=detect_leaks=0
	printf '%s\n' "$helpers" "$door" >"$root/run"
	cat "$f/run" >>"$root/run" 2>/dev/null || echo '$MERGE' >>"$root/run"
	(cd "$root/w" && umask 022 && timeout -k 5 60 sh ../run </dev/null >../out 2>../err)
	echo "exit status $?"
}

# What the case wants, in the form of report: from its fields, and for the
# saved file the old one's metadata or, where there was none, a new one's.
wanted() {
	local out= alarms= rows
	[ ! -e "$f/alarms" ] || { for ((k = 0; k < $(<"$f/alarms"); k++)); do alarms+=$'\a\n'; done
		out="$messages${alarms}Saving new 'HISCORE.DAT' ..."; }
	[ ! -e "$f/out" ] || out=$(<"$f/out")
	printf 'exit status %s\n--- standard output\n%s' "$(<"$f/status")" "${out:+$out$'\n'}"
	echo "--- standard error"
	[ ! -e "$f/err" ] || printf '%s\n' "$(<"$f/err")"
	[ ! -e "$f/cannot" ] || echo "hiscore-merge: cannot write 'HISCORE.DAT': $(<"$f/cannot")"
	if [ -n "$saved" ]; then
		rows=$(<"$f/saved") old=$(dat_lines <<<"$before")
		printf -- '--- saved\n%s\n' "${rows:-B1 A1 B2 A2 A3 A4 B3 B4 A5 B5}"
		[[ $old == "./w/HISCORE.DAT -"* ]] || old="./w/HISCORE.DAT -rw-r--r-- \
$([ -n "$as" ] && echo 65534:65534 || echo "$(id -u):$(id -g)") "
		printf '%s\n' "$old"
	fi
	dat_lines -v <<<"$before"
}

# What the case did: its exit status; what it printed, without a Windows
# program's CRs, the scratch root's path as <root>; the rows saved and the
# saved file's metadata; the rest of the snapshot.
report() {
	local out
	out=$(tr -d '\r' <"$root/out"; echo .)
	out=${out//"Z:${root//\//\\}"/<root>} out=${out//"$root"/<root>} out=${out%.}
	printf '%s\n--- standard output\n%s--- standard error\n' "$status" "$out"
	tr -d '\r' <"$root/err"
	if [ -n "$saved" ]; then
		echo "--- saved"
		"$HISCORE_TABLES" rows "$root/w/HISCORE.DAT"
		dat_lines <<<"$after"
	fi
	dat_lines -v <<<"$after"
}

[ "${1:-}" = list ] && { list "$2"; exit; }
[ "${1:-}" = run ] && shift || { echo "usage: e2e.sh list SYSTEM | run CASE..." >&2; exit 2; }
bin=$(cd "${HISCORE_BIN:?}" && pwd) failed=0 skipped=0
for name; do
	f=$(mktemp -d) root=$(mktemp -d "${TMPDIR:-/tmp}/hiscore-e2e-XXXXXX")
	if ! fields "$name" "$f"; then
		code=1; echo "no such case" >"$f/result"
	elif needs >"$f/result" && prepare >"$f/result" 2>&1; then
		saved=$([ ! -e "$f/saved" ] || echo .) before=$(snapshot) status=$(execute)
		rm -f "$root/calls"; after=$(snapshot)
		diff -U2 <(wanted) <(report) >"$f/result"; code=$?
	else
		code=$?
	fi
	result=$(<"$f/result")
	chmod -R u+rwx "$root" 2>/dev/null; rm -rf "$f" "$root"
	case $code in
	0) echo "passed: $name";;
	77) echo "$name: $result"; skipped=$((skipped + 1));;
	*) printf 'FAILED: %s\n%s\n' "$name" "$result"; failed=$((failed + 1));;
	esac
done
[ $failed = 0 ] || exit 1
[ $# = 1 ] && [ $skipped = 1 ] && exit 77
exit 0
