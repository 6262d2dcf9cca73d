// sys_win32.cpp: the platform layer on Windows, from Windows 98 on.
//
// The files are opened through the Win32 API, so their bytes pass through
// unchanged whatever mode the C library gives its own streams. Another
// program (a virus scanner, the indexer) may hold a file for a moment, so
// a read or a rename that finds it held waits that out for about two
// seconds. Errors become the errno values that Linux gives for the same
// cause, so that reasons read the same words on both, whatever the
// system's language. Every function and flag used exists on Windows 98,
// or is chosen at run time.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "sys.h"

enum {
	WAIT_MS = 50,
	WAIT_TRIES = 40,	// about two seconds
	// The attributes that a replaced file keeps.
	KEPT_ATTRIBUTES = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
	    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED,
	// A Windows error that has no errno value is this plus its number.
	OTHER_ERROR = 0x10000,
};

static const struct {
	DWORD code;
	int err;
	const char *text;
} errors[] = {
	{ERROR_FILE_NOT_FOUND, ENOENT, "No such file or directory"},
	{ERROR_PATH_NOT_FOUND, ENOENT, "No such file or directory"},
	{ERROR_ACCESS_DENIED, EACCES, "Permission denied"},
	{ERROR_FILE_EXISTS, EEXIST, "File exists"},
	{ERROR_ALREADY_EXISTS, EEXIST, "File exists"},
	{ERROR_DISK_FULL, ENOSPC, "No space left on device"},
	{ERROR_HANDLE_DISK_FULL, ENOSPC, "No space left on device"},
	{ERROR_WRITE_PROTECT, EROFS, "Read-only file system"},
	{ERROR_SHARING_VIOLATION, EBUSY, "Device or resource busy"},
	{ERROR_LOCK_VIOLATION, EBUSY, "Device or resource busy"},
	{ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG, "File name too long"},
	{ERROR_NOT_SAME_DEVICE, EXDEV, "Invalid cross-device link"},
	{ERROR_CRC, EIO, "Input/output error"},
	{ERROR_READ_FAULT, EIO, "Input/output error"},
	{ERROR_WRITE_FAULT, EIO, "Input/output error"},
	{ERROR_SUCCESS, EISDIR, "Is a directory"},
};

static int
error_of(DWORD code)
{
	for (const auto &e : errors)
		if (e.code == code && code != ERROR_SUCCESS)
			return e.err;
	return OTHER_ERROR + (int)code;
}

static int
last_error(void)
{
	return error_of(GetLastError());
}

const char *
hiscore_sys_reason(int err)
{
	static char other[32];

	for (const auto &e : errors)
		if (e.err == err)
			return e.text;
	snprintf(other, sizeof other, "Windows error %d", err - OTHER_ERROR);
	return other;
}

// Whether code says that another program holds the file; a rename also
// meets ERROR_ACCESS_DENIED for that.
static bool
held(DWORD code, bool renaming)
{
	return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
	    (renaming && code == ERROR_ACCESS_DENIED);
}

// Windows 95, 98 and ME, which cannot replace a file in one step, and
// know neither FILE_SHARE_DELETE nor links.
static bool
windows_9x(void)
{
	return (GetVersion() & 0x80000000) != 0;
}

static DWORD
share_all(void)
{
	return FILE_SHARE_READ | FILE_SHARE_WRITE |
	    (windows_9x() ? 0 : FILE_SHARE_DELETE);
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

// Windows drops a dot or a space at the end of a name, so that such a
// name would open another file: "s.dat." opens "s.dat".
static bool
changed_by_windows(const char *name)
{
	size_t n = strlen(name);
	const char *base = name + n;

	while (base > name && base[-1] != '\\' && base[-1] != '/' && base[-1] != ':')
		base--;
	return n > 0 && (name[n - 1] == '.' || name[n - 1] == ' ') &&
	    strcmp(base, ".") != 0 && strcmp(base, "..") != 0;
}

static int
read_all(HANDLE h, unsigned char *buf, long size, long *got)
{
	*got = 0;
	while (*got < size) {
		DWORD n;
		if (!ReadFile(h, buf + *got, (DWORD)(size - *got), &n, NULL))
			return last_error();
		if (n == 0)
			break;
		*got += (long)n;
	}
	return 0;
}

// Opens an input for reading, sharing it with any other reader, writer or
// deleter, waiting out a program that holds it.
static HANDLE
open_input(const char *name)
{
	HANDLE h = INVALID_HANDLE_VALUE;

	for (int tries = 0; tries <= WAIT_TRIES; tries++) {
		if (tries > 0)
			Sleep(WAIT_MS);
		h = CreateFileA(name, GENERIC_READ, share_all(), NULL, OPEN_EXISTING,
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

int
hiscore_sys_read(const char *name, HiscoreInput *in)
{
	if (strlen(name) >= MAX_PATH)
		return ENAMETOOLONG;
	if (changed_by_windows(name))
		return HISCORE_ENAME;
	if (is_folder(name))
		return HISCORE_ENOTREG;
	HANDLE h = open_input(name);
	if (h == INVALID_HANDLE_VALUE)
		return last_error();
	int err = HISCORE_ENOTREG;
	if (GetFileType(h) == FILE_TYPE_DISK) {
		identify(h, in->id);
		err = read_all(h, in->file, HISCORE_FILE_SIZE, &in->got);
	}
	CloseHandle(h);
	return err;
}

// On the NT line a link called name is looked at itself, not followed.
bool
hiscore_sys_is(const char *name, const uint64_t id[2])
{
	uint64_t is[2];
	HANDLE h = CreateFileA(name, 0, share_all(), NULL, OPEN_EXISTING,
	    windows_9x() ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, NULL);

	if (h == INVALID_HANDLE_VALUE)
		return false;
	identify(h, is);
	CloseHandle(h);
	return (id[0] != 0 || id[1] != 0) && is[0] == id[0] && is[1] == id[1];
}

// Creates a temporary file that did not exist before, with the given
// attributes: the first free name of those that hiscore_temp_name gives.
// A folder of that name is refused as access denied. On failure the error
// is CreateFileA's, not that of the look at a folder.
static int
create_temp(const char *name, char tmp[HISCORE_TEMP_NAME_SIZE], DWORD attrs,
    HANDLE *h)
{
	for (int k = 0; k < HISCORE_MAX_TEMPS; k++) {
		if (!hiscore_temp_name(tmp, name, k))
			return ENAMETOOLONG;
		*h = CreateFileA(tmp, GENERIC_WRITE, 0, NULL, CREATE_NEW, attrs, NULL);
		DWORD code = GetLastError();
		if (*h != INVALID_HANDLE_VALUE)
			return 0;
		if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS &&
		    !(code == ERROR_ACCESS_DENIED && is_folder(tmp)))
			return error_of(code);
	}
	return EEXIST;
}

// A write that stores nothing counts as a full disk.
static int
write_all(HANDLE h, const unsigned char *buf, long size)
{
	while (size > 0) {
		DWORD n;
		if (!WriteFile(h, buf, (DWORD)size, &n, NULL))
			return last_error();
		if (n == 0)
			return ENOSPC;
		buf += n;
		size -= (long)n;
	}
	return 0;
}

// Whether another program holds name: an open that would delete it,
// sharing it with everyone else, meets a sharing violation.
static bool
held_by_another(const char *name)
{
	HANDLE h = CreateFileA(name, DELETE, share_all(), NULL, OPEN_EXISTING, 0,
	    NULL);

	if (h == INVALID_HANDLE_VALUE)
		return held(GetLastError(), false);
	CloseHandle(h);
	return false;
}

// Moves from to to, replacing it when replace is set, and waits out a
// program that holds either. Returns 0 or the error of the last try, EBUSY
// when a file stayed held. A rename that is not allowed also fails with
// ERROR_ACCESS_DENIED: after the wait, that is EACCES unless another
// program holds one of the two files.
static int
move(const char *from, const char *to, bool replace)
{
	DWORD code = 0;

	for (int tries = 0; tries <= WAIT_TRIES; tries++) {
		if (tries > 0)
			Sleep(WAIT_MS);
		if (replace ? MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING |
		    MOVEFILE_WRITE_THROUGH) : MoveFileA(from, to))
			return 0;
		code = GetLastError();
		if (!held(code, true))
			return error_of(code);
	}
	if (code == ERROR_ACCESS_DENIED && !held_by_another(to) &&
	    !held_by_another(from))
		return EACCES;
	return EBUSY;
}

// Moves name to the first free temporary name from "<name>.tmp.1" on,
// which it leaves in aside.
static int
move_aside(const char *name, char aside[HISCORE_TEMP_NAME_SIZE])
{
	for (int k = 1; k < HISCORE_MAX_TEMPS; k++) {
		if (!hiscore_temp_name(aside, name, k))
			return ENAMETOOLONG;
		int err = move(name, aside, false);
		if (err != EEXIST)
			return err;
	}
	return EEXIST;
}

// The save on Windows 9x: the old file is moved aside, the new one into
// its place, and then the old one is deleted. At every moment one of them
// holds a whole copy; if the file is missing after a crash, the new bytes
// are whole in the newest temporary file.
static int
replace_9x(const char *tmp, const char *name, bool exists)
{
	char aside[HISCORE_TEMP_NAME_SIZE];

	if (!exists)
		return move(tmp, name, false);
	int err = move_aside(name, aside);
	if (err != 0)
		return err;
	err = move(tmp, name, false);
	if (err != 0)
		move(aside, name, false);
	else
		DeleteFileA(aside);
	return err;
}

// A folder or a file with the read-only attribute is refused at once, as
// writing it in place would be. The new file takes the old one's kept
// attributes. MOVEFILE_WRITE_THROUGH returns only when the move is on
// disk, so the file is in place only when it is durable.
int
hiscore_sys_replace(const char *name, const unsigned char *buf, long size,
    bool *in_place)
{
	char tmp[HISCORE_TEMP_NAME_SIZE];
	DWORD old = GetFileAttributesA(name);
	bool exists = old != INVALID_FILE_ATTRIBUTES;
	DWORD attrs = exists ? old & KEPT_ATTRIBUTES : 0;
	HANDLE h;

	*in_place = false;
	if (exists && (old & FILE_ATTRIBUTE_DIRECTORY) != 0)
		return EISDIR;
	if (exists && (old & FILE_ATTRIBUTE_READONLY) != 0)
		return HISCORE_EREADONLY;
	int err = create_temp(name, tmp, attrs != 0 ? attrs : FILE_ATTRIBUTE_NORMAL,
	    &h);
	if (err != 0)
		return err;
	err = write_all(h, buf, size);
	if (err == 0 && !FlushFileBuffers(h))
		err = last_error();
	if (!CloseHandle(h) && err == 0)
		err = last_error();
	if (err == 0)
		err = windows_9x() ? replace_9x(tmp, name, exists) :
		    move(tmp, name, true);
	if (err != 0)
		DeleteFileA(tmp);
	*in_place = err == 0;
	return err;
}

// The folder of the program itself, where the player drops files on it.
int
hiscore_sys_door_folder(void)
{
	char path[MAX_PATH];
	DWORD n = GetModuleFileNameA(NULL, path, sizeof path);

	if (n == 0 || n >= sizeof path)
		return n == 0 ? last_error() : ENAMETOOLONG;
	char *slash = strrchr(path, '\\');
	if (slash != NULL)
		*slash = '\0';
	return SetCurrentDirectoryA(path) ? 0 : last_error();
}

// A console that the door alone is attached to closes with it. Where
// GetConsoleProcessList is missing (Windows 9x), a console that no one has
// written to yet, its cursor still at the top left, was made for the door.
bool
hiscore_sys_own_window(void)
{
	typedef DWORD (WINAPI *ProcessList)(LPDWORD, DWORD);
	CONSOLE_SCREEN_BUFFER_INFO screen;
	DWORD mode, ids[2];

	if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ||
	    !GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &screen))
		return false;
	ProcessList list = (ProcessList)(void (*)(void))GetProcAddress(
	    GetModuleHandleA("kernel32.dll"), "GetConsoleProcessList");
	if (list != NULL)
		return list(ids, 2) == 1;
	return screen.dwCursorPosition.X == 0 && screen.dwCursorPosition.Y == 0;
}
