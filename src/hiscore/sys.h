// sys.h: the platform layer, one implementation per system: Linux's
// (sys_linux.cpp, sys_linux_read.cpp, sys_linux_replace.cpp) and Windows'
// (sys_win32.cpp), from 98 on. Each returns 0 or an error number (see
// hiscore.h); the rules it keeps are in docs/save.md.
#ifndef HISCORE_SYS_H
#define HISCORE_SYS_H

#include <cstdio>

#include "hiscore.h"

enum {
	HISCORE_TEMP_NAME_SIZE = 64,
	HISCORE_MAX_TEMPS = 1000,
};

// Makes the process safe to save from: the standard streams are open, so
// that no file is opened in their place, and neither a closed pipe nor a
// file size limit can kill it mid-save.
void hiscore_sys_start(void);

// Reads the first bytes of the named file into in->file, their number into
// in->got, and which file it was into in->id. Nothing but a regular file
// is opened, without blocking; on Linux every link on the way is judged.
int hiscore_sys_read(const char *name, HiscoreInput *in);

// Whether name in the current folder, not followed if a link, is the
// file that id tells.
bool hiscore_sys_is(const char *name, const uint64_t id[2]);

// Replaces the file name in the current folder with size bytes as writing
// it in place would, but through a temporary file there that is synced and
// renamed over it, keeping the old file's metadata. *in_place says whether
// the new file took the old one's place, even where an error follows (its
// folder could not be synced).
int hiscore_sys_replace(const char *name, const unsigned char *buf,
    long size, bool *in_place);

// The words for a system's error number.
const char *hiscore_sys_reason(int err);

// Goes to the folder that the door works in: on Windows its own, where the
// player drops files on it; elsewhere it stays in the current one.
int hiscore_sys_door_folder(void);

// Whether the door's window was opened for it alone, and closes when it
// ends: then it waits for Enter first.
bool hiscore_sys_own_window(void);

// Forms the k-th name that a save of name may give its temporary file:
// "<name>.tmp" for k == 0, else "<name>.tmp.<k>". Returns false if it
// does not fit.
inline bool
hiscore_temp_name(char tmp[HISCORE_TEMP_NAME_SIZE], const char *name, int k)
{
	int len = k == 0 ? snprintf(tmp, HISCORE_TEMP_NAME_SIZE, "%s.tmp", name) :
	    snprintf(tmp, HISCORE_TEMP_NAME_SIZE, "%s.tmp.%d", name, k);

	return len < HISCORE_TEMP_NAME_SIZE;
}

#endif
