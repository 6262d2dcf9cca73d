// sys_win32.cpp: reading and replacing score files on Windows, from
// Windows 98 on.
//
// The files are opened through the Win32 API, so their bytes pass through
// unchanged whatever mode the C library gives its own streams. Another
// program (a virus scanner, the indexer) may hold a file for a moment, so
// a read or a rename that finds it held waits that out for about two
// seconds. Reasons are the same words as on POSIX systems, whatever the
// system's language.
#include <cstdio>

#include <windows.h>

#include "sys.h"

enum {
	WAIT_MS = 50,
	WAIT_TRIES = 40,	// about two seconds
	// The attributes that a replaced file keeps.
	KEPT_ATTRIBUTES = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
	    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED,
};

// Stands for a reason that no system error gives.
static const DWORD IS_A_DIRECTORY = 0xFFFFFFFF;

static const struct {
	DWORD err;
	const char *text;
} reasons[] = {
	{ERROR_FILE_NOT_FOUND, "No such file or directory"},
	{ERROR_PATH_NOT_FOUND, "No such file or directory"},
	{ERROR_ACCESS_DENIED, "Permission denied"},
	{IS_A_DIRECTORY, "Is a directory"},
	{ERROR_FILE_EXISTS, "File exists"},
	{ERROR_ALREADY_EXISTS, "File exists"},
	{ERROR_DISK_FULL, "No space left on device"},
	{ERROR_HANDLE_DISK_FULL, "No space left on device"},
	{ERROR_WRITE_PROTECT, "Read-only file system"},
	{ERROR_SHARING_VIOLATION, "Device or resource busy"},
	{ERROR_LOCK_VIOLATION, "Device or resource busy"},
	{ERROR_FILENAME_EXCED_RANGE, "File name too long"},
	{ERROR_NOT_SAME_DEVICE, "Invalid cross-device link"},
	{ERROR_CRC, "Input/output error"},
	{ERROR_READ_FAULT, "Input/output error"},
	{ERROR_WRITE_FAULT, "Input/output error"},
};

static void
set_reason(char why[HISCORE_REASON_SIZE], DWORD err)
{
	for (const auto &r : reasons) {
		if (r.err == err) {
			snprintf(why, HISCORE_REASON_SIZE, "%s", r.text);
			return;
		}
	}
	snprintf(why, HISCORE_REASON_SIZE, "Windows error %lu",
	    (unsigned long)err);
}

// Whether err says that another program holds the file; a rename also
// meets ERROR_ACCESS_DENIED for that.
static bool
held(DWORD err, bool renaming)
{
	return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION ||
	    (renaming && err == ERROR_ACCESS_DENIED);
}

// Windows 95, 98 and ME, which cannot replace a file in one step.
static bool
windows_9x(void)
{
	return (GetVersion() & 0x80000000) != 0;
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

// Opens an input for reading, sharing it with any other reader or writer
// (and, on the NT line, with one that deletes it), waiting out a program
// that holds it.
static HANDLE
open_input(const char *name)
{
	DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE |
	    (windows_9x() ? 0 : FILE_SHARE_DELETE);
	HANDLE h = INVALID_HANDLE_VALUE;

	for (int tries = 0; tries <= WAIT_TRIES; tries++) {
		if (tries > 0)
			Sleep(WAIT_MS);
		h = CreateFileA(name, GENERIC_READ, share, NULL, OPEN_EXISTING,
		    FILE_ATTRIBUTE_NORMAL, NULL);
		if (h != INVALID_HANDLE_VALUE || !held(GetLastError(), false))
			break;
	}
	return h;
}

// Tells which file h is: its volume and index.
static void
identify(HANDLE h, uint64_t id[2])
{
	BY_HANDLE_FILE_INFORMATION info;

	id[0] = id[1] = 0;
	if (!GetFileInformationByHandle(h, &info))
		return;
	id[0] = info.dwVolumeSerialNumber;
	id[1] = (uint64_t)info.nFileIndexHigh << 32 | info.nFileIndexLow;
}

long
hiscore_sys_read(const char *name, unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE], uint64_t id[2])
{
	long got = -1;
	HANDLE h;

	id[0] = id[1] = 0;
	if (is_folder(name)) {
		snprintf(why, HISCORE_REASON_SIZE, "%s", hiscore_not_regular);
		return -1;
	}
	h = open_input(name);
	if (h == INVALID_HANDLE_VALUE) {
		set_reason(why, GetLastError());
		return -1;
	}
	if (GetFileType(h) != FILE_TYPE_DISK) {
		snprintf(why, HISCORE_REASON_SIZE, "%s", hiscore_not_regular);
	} else {
		identify(h, id);
		got = read_all(h, buf, size, why);
	}
	CloseHandle(h);
	return got;
}

// A link called name is looked at itself, not followed, on the NT line;
// Windows 9x has no links.
bool
hiscore_sys_is(const char *name, const uint64_t id[2])
{
	uint64_t is[2];
	HANDLE h = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE |
	    (windows_9x() ? 0 : FILE_SHARE_DELETE), NULL, OPEN_EXISTING,
	    windows_9x() ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, NULL);

	if (h == INVALID_HANDLE_VALUE)
		return false;
	identify(h, is);
	CloseHandle(h);
	return (id[0] != 0 || id[1] != 0) && is[0] == id[0] && is[1] == id[1];
}

// Creates a temporary file that did not exist before, with the given
// attributes: the first free name of those that hiscore_temp_name gives.
// A folder of that name is refused as access denied. On failure the last
// error is CreateFileA's, not that of the look at a folder.
static HANDLE
create_temp(const char *name, char tmp[HISCORE_TEMP_NAME_SIZE], DWORD attrs)
{
	for (int k = 0; k < HISCORE_MAX_TEMPS; k++) {
		if (!hiscore_temp_name(tmp, name, k)) {
			SetLastError(ERROR_FILENAME_EXCED_RANGE);
			break;
		}
		HANDLE h = CreateFileA(tmp, GENERIC_WRITE, 0, NULL, CREATE_NEW,
		    attrs, NULL);
		DWORD err = GetLastError();
		if (h != INVALID_HANDLE_VALUE || (err != ERROR_FILE_EXISTS &&
		    err != ERROR_ALREADY_EXISTS && !(err == ERROR_ACCESS_DENIED &&
		    is_folder(tmp)))) {
			SetLastError(err);
			return h;
		}
	}
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

// Whether another program holds name: an open that would delete it,
// sharing it with everyone else, meets a sharing violation.
static bool
held_by_another(const char *name)
{
	HANDLE h = CreateFileA(name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE |
	    (windows_9x() ? 0 : FILE_SHARE_DELETE), NULL, OPEN_EXISTING, 0, NULL);

	if (h == INVALID_HANDLE_VALUE)
		return held(GetLastError(), false);
	CloseHandle(h);
	return false;
}

// Moves from to to, replacing it when replace is set, and waits out a
// program that holds either. Returns 0, or the error of the last try, as
// ERROR_SHARING_VIOLATION when a file stayed held. A rename that is not
// allowed also fails with ERROR_ACCESS_DENIED: after the wait, that is
// what it returns unless another program holds one of the two files.
static DWORD
move(const char *from, const char *to, bool replace)
{
	DWORD err = 0;

	for (int tries = 0; tries <= WAIT_TRIES; tries++) {
		if (tries > 0)
			Sleep(WAIT_MS);
		if (replace ? MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING |
		    MOVEFILE_WRITE_THROUGH) : MoveFileA(from, to))
			return 0;
		err = GetLastError();
		if (!held(err, true))
			return err;
	}
	if (err == ERROR_ACCESS_DENIED && !held_by_another(to) &&
	    !held_by_another(from))
		return ERROR_ACCESS_DENIED;
	return ERROR_SHARING_VIOLATION;
}

// Moves name to the first free temporary name from "<name>.tmp.1" on,
// which it leaves in aside.
static DWORD
move_aside(const char *name, char aside[HISCORE_TEMP_NAME_SIZE])
{
	for (int k = 1; k < HISCORE_MAX_TEMPS; k++) {
		if (!hiscore_temp_name(aside, name, k))
			return ERROR_FILENAME_EXCED_RANGE;
		DWORD err = move(name, aside, false);
		if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS)
			return err;
	}
	return ERROR_FILE_EXISTS;
}

// The save on Windows 9x: the old file is moved aside, the new one into
// its place, and then the old one is deleted. At every moment one of them
// holds a whole copy; if HISCORE.DAT is missing after a crash, the new
// bytes are whole in the newest temporary file.
static DWORD
replace_9x(const char *tmp, const char *name, bool exists)
{
	char aside[HISCORE_TEMP_NAME_SIZE];
	DWORD err;

	if (!exists)
		return move(tmp, name, false);
	err = move_aside(name, aside);
	if (err != 0)
		return err;
	err = move(tmp, name, false);
	if (err != 0)
		move(aside, name, false);
	else
		DeleteFileA(aside);
	return err;
}

static HiscoreSaved
refuse(char why[HISCORE_REASON_SIZE], DWORD err)
{
	set_reason(why, err);
	return HISCORE_NOT_WRITTEN;
}

// A folder or a file with the read-only attribute is refused at once, as
// writing it in place would be. The new file takes the old one's kept
// attributes. MOVEFILE_WRITE_THROUGH returns only when the move is on disk.
HiscoreSaved
hiscore_sys_replace(const char *name, const unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE])
{
	char tmp[HISCORE_TEMP_NAME_SIZE];
	DWORD old = GetFileAttributesA(name), err = 0;
	bool exists = old != INVALID_FILE_ATTRIBUTES;
	DWORD attrs = exists ? old & KEPT_ATTRIBUTES : 0;

	if (exists && (old & FILE_ATTRIBUTE_DIRECTORY) != 0)
		return refuse(why, IS_A_DIRECTORY);
	if (exists && (old & FILE_ATTRIBUTE_READONLY) != 0)
		return refuse(why, ERROR_ACCESS_DENIED);
	HANDLE h = create_temp(name, tmp, attrs != 0 ? attrs :
	    FILE_ATTRIBUTE_NORMAL);
	if (h == INVALID_HANDLE_VALUE)
		return refuse(why, GetLastError());
	if (!write_all(h, buf, size) || !FlushFileBuffers(h))
		err = GetLastError();
	if (!CloseHandle(h) && err == 0)
		err = GetLastError();
	if (err == 0)
		err = windows_9x() ? replace_9x(tmp, name, exists) :
		    move(tmp, name, true);
	if (err == 0)
		return HISCORE_SAVED;
	DeleteFileA(tmp);
	return refuse(why, err);
}
