#!/bin/sh
# Checks that a Windows program imports only DLLs that Windows provides, so
# that it runs with no DLL beside it. Usage: check-imports.sh OBJDUMP EXE
objdump=$1 exe=$2
if [ ! -f "$exe" ] || ! command -v "$objdump" >/dev/null; then
	[ -z "${HISCORE_REQUIRE_WINDOWS:-}" ] || { echo "missing: $exe or $objdump" >&2; exit 1; }
	echo "skipped: $exe is not built"
	exit 77
fi
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "$exe imports:" $dlls
[ -n "$dlls" ] || exit 1
foreign=$(printf '%s\n' "$dlls" | grep -v -i -x -E \
    'kernel32\.dll|msvcrt\.dll|ucrtbase\.dll|api-ms-win-[a-z0-9-]+\.dll')
[ -z "$foreign" ] || { echo "not part of Windows:" $foreign >&2; exit 1; }
