// sys_linux.cpp: the process on Linux: its start, the words for an error,
// and the door's folder and window.
#include <csignal>
#include <cstring>

#include <fcntl.h>

#include "sys.h"

void
hiscore_sys_start(void)
{
	for (int fd = 0; fd <= 2; fd++)
		if (fcntl(fd, F_GETFD) == -1)
			(void)open("/dev/null", O_RDWR);
	signal(SIGPIPE, SIG_IGN);
	signal(SIGXFSZ, SIG_IGN);
}

const char *
hiscore_sys_reason(int err)
{
	return strerror(err);
}

// The door merges in the current folder: files are named to it there.
int
hiscore_sys_door_folder(void)
{
	return 0;
}

// A terminal's window stays open when the door ends.
bool
hiscore_sys_own_window(void)
{
	return false;
}
