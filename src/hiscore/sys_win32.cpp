// sys_win32.cpp: reading and replacing score files on Windows.
//
// The files are opened through the Win32 API, so their bytes pass through
// unchanged whatever mode the C library gives its own streams.
#include <cstdio>

#include <windows.h>

#include "hiscore.h"

// The system's text for err, without its closing line break.
static void
set_reason(char why[HISCORE_REASON_SIZE], DWORD err)
{
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

// Nothing to do: Windows has no signals that end a process mid-save.
void
hiscore_sys_start(void)
{
}

static bool
is_folder(const char *name)
{
	DWORD attrs = GetFileAttributesA(name);

	return attrs != INVALID_FILE_ATTRIBUTES &&
	    (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static long
read_all(HANDLE h, unsigned char *buf, long size, char why[HISCORE_REASON_SIZE])
{
	long got = 0;

	while (got < size) {
		DWORD n;
		if (!ReadFile(h, buf + got, (DWORD)(size - got), &n, NULL)) {
			set_reason(why, GetLastError());
			return -1;
		}
		if (n == 0)
			break;
		got += (long)n;
	}
	return got;
}

long
hiscore_sys_read(const char *name, unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE])
{
	long got = -1;
	HANDLE h;

	if (is_folder(name)) {
		snprintf(why, HISCORE_REASON_SIZE, "%s", hiscore_not_regular);
		return -1;
	}
	h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
	    NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
	if (h == INVALID_HANDLE_VALUE) {
		set_reason(why, GetLastError());
		return -1;
	}
	if (GetFileType(h) != FILE_TYPE_DISK)
		snprintf(why, HISCORE_REASON_SIZE, "%s", hiscore_not_regular);
	else
		got = read_all(h, buf, size, why);
	CloseHandle(h);
	return got;
}

// Creates a temporary file that did not exist before: the first free name
// of those that hiscore_temp_name gives.
static HANDLE
create_temp(const char *name, char tmp[HISCORE_TEMP_NAME_SIZE],
    char why[HISCORE_REASON_SIZE])
{
	DWORD err = ERROR_FILE_EXISTS;

	for (int k = 0; k < HISCORE_MAX_TEMPS; k++) {
		if (!hiscore_temp_name(tmp, name, k)) {
			err = ERROR_FILENAME_EXCED_RANGE;
			break;
		}
		HANDLE h = CreateFileA(tmp, GENERIC_WRITE, 0, NULL, CREATE_NEW,
		    FILE_ATTRIBUTE_NORMAL, NULL);
		if (h != INVALID_HANDLE_VALUE)
			return h;
		err = GetLastError();
		// A folder of that name is refused as access denied.
		if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS &&
		    !(err == ERROR_ACCESS_DENIED && is_folder(tmp)))
			break;
	}
	set_reason(why, err);
	return INVALID_HANDLE_VALUE;
}

// A write that stores nothing counts as a full disk.
static bool
write_all(HANDLE h, const unsigned char *buf, long size)
{
	while (size > 0) {
		DWORD n;
		if (!WriteFile(h, buf, (DWORD)size, &n, NULL))
			return false;
		if (n == 0) {
			SetLastError(ERROR_DISK_FULL);
			return false;
		}
		buf += n;
		size -= (long)n;
	}
	return true;
}

// A file with the read-only attribute is refused, as writing it in place
// would be. MOVEFILE_WRITE_THROUGH returns only when the move is on disk.
HiscoreSaved
hiscore_sys_replace(const char *name, const unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE])
{
	char tmp[HISCORE_TEMP_NAME_SIZE];
	DWORD attrs = GetFileAttributesA(name);
	HANDLE h;

	if (attrs != INVALID_FILE_ATTRIBUTES &&
	    (attrs & FILE_ATTRIBUTE_READONLY) != 0) {
		set_reason(why, ERROR_ACCESS_DENIED);
		return HISCORE_NOT_WRITTEN;
	}
	h = create_temp(name, tmp, why);
	if (h == INVALID_HANDLE_VALUE)
		return HISCORE_NOT_WRITTEN;
	if (!write_all(h, buf, size) || !FlushFileBuffers(h)) {
		set_reason(why, GetLastError());
		CloseHandle(h);
		DeleteFileA(tmp);
		return HISCORE_NOT_WRITTEN;
	}
	if (!CloseHandle(h) || !MoveFileExA(tmp, name,
	    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
		set_reason(why, GetLastError());
		DeleteFileA(tmp);
		return HISCORE_NOT_WRITTEN;
	}
	return HISCORE_SAVED;
}
