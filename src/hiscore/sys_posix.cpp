// sys_posix.cpp: reading and replacing score files on POSIX systems.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "hiscore.h"

static void
set_reason(char why[HISCORE_REASON_SIZE], int err)
{
	strncpy(why, strerror(err), HISCORE_REASON_SIZE - 1);
	why[HISCORE_REASON_SIZE - 1] = '\0';
}

long
hiscore_sys_read(const char *name, unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE])
{
	long got = 0;
	int fd = open(name, O_RDONLY);

	if (fd < 0) {
		set_reason(why, errno);
		return -1;
	}
	while (got < size) {
		ssize_t n = read(fd, buf + got, (size_t)(size - got));
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0) {
			set_reason(why, errno);
			close(fd);
			return -1;
		}
		if (n == 0)
			break;
		got += n;
	}
	close(fd);
	return got;
}

static int
write_all(int fd, const unsigned char *buf, long size)
{
	while (size > 0) {
		ssize_t n = write(fd, buf, (size_t)size);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0)
			return 0;
		buf += n;
		size -= n;
	}
	return 1;
}

int
hiscore_sys_replace(const char *name, const char *tmp,
    const unsigned char *buf, long size, char why[HISCORE_REASON_SIZE])
{
	int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0666);

	if (fd < 0) {
		set_reason(why, errno);
		return 0;
	}
	if (!write_all(fd, buf, size) || fsync(fd) != 0) {
		set_reason(why, errno);
		close(fd);
		unlink(tmp);
		return 0;
	}
	if (close(fd) != 0 || rename(tmp, name) != 0) {
		set_reason(why, errno);
		unlink(tmp);
		return 0;
	}
	return 1;
}
