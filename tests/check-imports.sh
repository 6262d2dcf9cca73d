#!/bin/sh
# Checks that a Windows program imports only from DLLs that Windows itself
# provides, and only the functions pinned below: a new one is a choice that
# decides the oldest Windows the program runs on, and must be made here.
# Usage: check-imports.sh OBJDUMP EXE
pinned='CloseHandle CreateFileA DeleteCriticalSection DeleteFileA
EnterCriticalSection FlushFileBuffers FormatMessageA FreeLibrary
GetFileAttributesA GetFileType GetLastError GetModuleHandleA GetModuleHandleW
GetProcAddress GetStartupInfoA InitializeCriticalSection IsDBCSLeadByteEx
LeaveCriticalSection LoadLibraryA MoveFileExA MultiByteToWideChar ReadFile
SetLastError SetUnhandledExceptionFilter Sleep TlsGetValue VirtualProtect
VirtualQuery WideCharToMultiByte WriteFile __C_specific_handler
___lc_codepage_func ___mb_cur_max_func __getmainargs __initenv __iob_func
__mb_cur_max __p__acmdln __p__commode __p__fmode __set_app_type
__setusermatherr _acmdln _amsg_exit _cexit _commode _errno _fmode _initterm
_iob _lock _onexit _unlock abort atoi calloc exit ferror fflush fprintf fputc
free fwrite localeconv malloc memcpy memmove memset putchar setlocale signal
strchr strcmp strerror strlen strncmp vfprintf wcslen'
objdump=$1 exe=$2
if [ ! -f "$exe" ] || ! command -v "$objdump" >/dev/null; then
	[ -z "${HISCORE_REQUIRE_ALL:-}" ] || { echo "missing: $exe or $objdump" >&2; exit 1; }
	echo "skipped: $exe is not built"; exit 77
fi
imports=$("$objdump" -p "$exe" | awk '/DLL Name:/ { dll = $3 }
    /^\t[0-9a-f]+\t? +[0-9]+ +[A-Za-z_]/ { print dll ":" $NF }')
echo "$exe imports:" $imports
bad=$(printf '%s\n' "$imports" | grep -v -i -E '^(kernel32|msvcrt)\.dll:' ;
    printf '%s\n' "$imports" | cut -d: -f2 | grep -v -x -F "$(printf '%s\n' $pinned)")
[ -n "$imports" ] && [ -z "$bad" ] || { echo "not pinned:" $bad >&2; exit 1; }
