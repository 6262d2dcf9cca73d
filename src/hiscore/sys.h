// sys.h: the platform layer, one implementation per system
// (sys_posix.cpp, sys_win32.cpp): what the loading and saving of file.cpp
// and the merger's start need from the system.
#ifndef HISCORE_SYS_H
#define HISCORE_SYS_H

#include "hiscore.h"

enum {
	HISCORE_TEMP_NAME_SIZE = 64,
	HISCORE_MAX_TEMPS = 1000,
};

// The reason given for an input that is not a regular file.
inline constexpr char hiscore_not_regular[] = "not a regular file";

// Makes the process safe to save from: the standard streams are open, so
// that no file is opened in their place, and neither a closed pipe nor a
// file size limit can kill it mid-save.
void hiscore_sys_start(void);

// Reads at most size bytes of the named file into buf without blocking,
// and tells which file it was: its device and inode. Returns the number
// read, or -1 with the reason in why. Nothing but a regular file is
// opened: anything else is "not a regular file". Each link on the way is
// followed only where the runner owns it, or root does, or its owner owns
// the file at the end; a name with a second link in a folder that neither
// the runner nor its owner owns is refused too. Either is "a link to
// another user's file".
long hiscore_sys_read(const char *name, unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE], uint64_t id[2]);

// Whether name in the current folder, not followed if a link, is the
// file that id tells.
bool hiscore_sys_is(const char *name, const uint64_t id[2]);

// Replaces the file name in the current folder with size bytes as writing
// it in place would, but through a temporary file there (see
// hiscore_temp_name) that is synced and renamed over it. Only names in the
// current folder are touched: a link called name is replaced, not
// followed. A regular file keeps its mode, ACL, user attributes, no-dump
// flag, group (where the user may) and owner (for root); anything else,
// and a file the user may not write, is refused. On HISCORE_NOT_WRITTEN
// nothing changed, but a folder that forbids removing files may keep the
// temporary file.
HiscoreSaved hiscore_sys_replace(const char *name, const unsigned char *buf,
    long size, char why[HISCORE_REASON_SIZE]);

// Forms the k-th name that a save of name may give its temporary file:
// "<name>.tmp" for k == 0, else "<name>.tmp.<k>". Returns false if it
// does not fit.
bool hiscore_temp_name(char tmp[HISCORE_TEMP_NAME_SIZE], const char *name,
    int k);

#endif
