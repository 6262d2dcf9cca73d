// sys_win32.cpp: reading and replacing score files on Windows.
//
// The files are opened through the Win32 API, so their bytes pass through
// unchanged whatever mode the C library gives its own streams.
#include <cstdio>

#include <windows.h>

#include "hiscore.h"

// The system's text for the last error, without its closing line break.
static void
set_reason(char why[HISCORE_REASON_SIZE])
{
	DWORD err = GetLastError();
	DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM |
	    FORMAT_MESSAGE_IGNORE_INSERTS, NULL, err, 0, why,
	    HISCORE_REASON_SIZE, NULL);

	while (n > 0 && (why[n - 1] == '\r' || why[n - 1] == '\n' ||
	    why[n - 1] == ' ' || why[n - 1] == '.'))
		n--;
	if (n == 0)
		snprintf(why, HISCORE_REASON_SIZE, "error %lu", (unsigned long)err);
	else
		why[n] = '\0';
}

long
hiscore_sys_read(const char *name, unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE])
{
	long got = 0;
	HANDLE h = CreateFileA(name, GENERIC_READ,
	    FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
	    FILE_ATTRIBUTE_NORMAL, NULL);

	if (h == INVALID_HANDLE_VALUE) {
		set_reason(why);
		return -1;
	}
	while (got < size) {
		DWORD n;
		if (!ReadFile(h, buf + got, (DWORD)(size - got), &n, NULL)) {
			set_reason(why);
			CloseHandle(h);
			return -1;
		}
		if (n == 0)
			break;
		got += (long)n;
	}
	CloseHandle(h);
	return got;
}

static int
write_all(HANDLE h, const unsigned char *buf, long size)
{
	while (size > 0) {
		DWORD n;
		if (!WriteFile(h, buf, (DWORD)size, &n, NULL) || n == 0)
			return 0;
		buf += n;
		size -= (long)n;
	}
	return 1;
}

int
hiscore_sys_replace(const char *name, const char *tmp,
    const unsigned char *buf, long size, char why[HISCORE_REASON_SIZE])
{
	HANDLE h = CreateFileA(tmp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
	    FILE_ATTRIBUTE_NORMAL, NULL);

	if (h == INVALID_HANDLE_VALUE) {
		set_reason(why);
		return 0;
	}
	if (!write_all(h, buf, size) || !FlushFileBuffers(h)) {
		set_reason(why);
		CloseHandle(h);
		DeleteFileA(tmp);
		return 0;
	}
	if (!CloseHandle(h) || !MoveFileExA(tmp, name,
	    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
		set_reason(why);
		DeleteFileA(tmp);
		return 0;
	}
	return 1;
}
