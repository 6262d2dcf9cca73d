// sys_posix.cpp: reading and replacing score files on POSIX systems.
//
// A save never opens an existing path for writing. It creates a temporary
// file of its own beside the file it replaces, fills and syncs it, gives it
// the old file's permissions, renames it into place and syncs the folder,
// so that the file is at every moment either the old one or the new one.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hiscore.h"

enum {
	PATH_SIZE = 4096,
	MAX_LINKS = 40,
	MAX_TEMPS = 1000,
};

static void
set_text(char why[HISCORE_REASON_SIZE], const char *text)
{
	snprintf(why, HISCORE_REASON_SIZE, "%s", text);
}

static void
set_reason(char why[HISCORE_REASON_SIZE], int err)
{
	set_text(why, strerror(err));
}

void
hiscore_sys_start(void)
{
	for (int fd = 0; fd <= 2; fd++)
		if (fcntl(fd, F_GETFD) == -1)
			(void)open("/dev/null", O_RDWR);
	signal(SIGPIPE, SIG_IGN);
	signal(SIGXFSZ, SIG_IGN);
}

static long
read_all(int fd, unsigned char *buf, long size, char why[HISCORE_REASON_SIZE])
{
	long got = 0;

	while (got < size) {
		ssize_t n = read(fd, buf + got, (size_t)(size - got));
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0) {
			set_reason(why, errno);
			return -1;
		}
		if (n == 0)
			break;
		got += n;
	}
	return got;
}

long
hiscore_sys_read(const char *name, unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE])
{
	struct stat st;
	long got = -1;
	int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);

	if (fd < 0) {
		set_reason(why, errno);
		return -1;
	}
	if (fstat(fd, &st) != 0)
		set_reason(why, errno);
	else if (!S_ISREG(st.st_mode))
		set_text(why, "not a regular file");
	else
		got = read_all(fd, buf, size, why);
	close(fd);
	return got;
}

// The length of the folder part of path, its last slash included.
static size_t
folder_length(const char *path)
{
	const char *slash = strrchr(path, '/');

	return slash ? (size_t)(slash - path) + 1 : 0;
}

static void
folder_of(const char *path, char folder[PATH_SIZE])
{
	size_t len = folder_length(path);

	if (len == 0) {
		strcpy(folder, ".");
		return;
	}
	memcpy(folder, path, len);
	folder[len] = '\0';
}

static bool
folder_exists(const char *path)
{
	char folder[PATH_SIZE];
	struct stat st;

	folder_of(path, folder);
	return stat(folder, &st) == 0 && S_ISDIR(st.st_mode);
}

// Replaces path, a symbolic link, with the path it points to, which is
// relative to the link's own folder.
static bool
follow(char path[PATH_SIZE], char why[HISCORE_REASON_SIZE])
{
	char link[PATH_SIZE];
	ssize_t n = readlink(path, link, sizeof link);
	size_t keep = folder_length(path);

	if (n < 0) {
		set_reason(why, errno);
		return false;
	}
	if (link[0] == '/')
		keep = 0;
	if (keep + (size_t)n >= PATH_SIZE) {
		set_reason(why, ENAMETOOLONG);
		return false;
	}
	memcpy(path + keep, link, (size_t)n);
	path[keep + n] = '\0';
	return true;
}

// Finds the file that a save of name replaces: name itself, or the end of
// its chain of links, which must be a score file or a missing file in an
// existing folder. Judges it by its metadata alone, into st, which is all
// zero for a missing file. Returns false with the reason in why if the
// save must be refused.
static bool
resolve(const char *name, char path[PATH_SIZE], struct stat *st,
    char why[HISCORE_REASON_SIZE])
{
	int links = 0;

	snprintf(path, PATH_SIZE, "%s", name);
	for (;;) {
		if (lstat(path, st) != 0) {
			if (errno != ENOENT) {
				set_reason(why, errno);
				return false;
			}
			memset(st, 0, sizeof *st);
			if (links == 0 || folder_exists(path))
				return true;
			break;
		}
		if (!S_ISLNK(st->st_mode))
			break;
		if (++links > MAX_LINKS) {
			set_reason(why, ELOOP);
			return false;
		}
		if (!follow(path, why))
			return false;
	}
	if (S_ISREG(st->st_mode) &&
	    (links == 0 || st->st_size == HISCORE_FILE_SIZE))
		return true;
	if (links == 0 && S_ISDIR(st->st_mode))
		set_reason(why, EISDIR);
	else
		set_text(why, "not a score file");
	return false;
}

// Creates a temporary file beside path that did not exist before: the
// first free name of "<path>.tmp", "<path>.tmp.1", "<path>.tmp.2" and on.
static int
create_temp(const char *path, char tmp[PATH_SIZE], mode_t mode,
    char why[HISCORE_REASON_SIZE])
{
	for (int k = 0; k < MAX_TEMPS; k++) {
		int len = k == 0 ? snprintf(tmp, PATH_SIZE, "%s.tmp", path) :
		    snprintf(tmp, PATH_SIZE, "%s.tmp.%d", path, k);
		if (len >= PATH_SIZE) {
			set_reason(why, ENAMETOOLONG);
			return -1;
		}
		int fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
		if (fd >= 0)
			return fd;
		if (errno != EEXIST)
			break;
	}
	set_reason(why, errno);
	return -1;
}

// A write that stores nothing counts as a full disk.
static bool
write_all(int fd, const unsigned char *buf, long size)
{
	while (size > 0) {
		ssize_t n = write(fd, buf, (size_t)size);
		if (n < 0 && errno == EINTR)
			continue;
		if (n == 0)
			errno = ENOSPC;
		if (n <= 0)
			return false;
		buf += n;
		size -= n;
	}
	return true;
}

// Gives the new file what the replaced one had: its owner and group where
// root may set them, then its permission bits.
static bool
keep_mode(int fd, const struct stat *old)
{
	if (geteuid() == 0 && fchown(fd, old->st_uid, old->st_gid) != 0)
		return false;
	return fchmod(fd, old->st_mode & 07777) == 0;
}

// Makes the rename durable. A folder the user may not open, or a file
// system that cannot sync folders, leaves nothing more to do.
static HiscoreSaved
sync_folder(const char *path, char why[HISCORE_REASON_SIZE])
{
	char folder[PATH_SIZE];
	int fd;

	folder_of(path, folder);
	fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0) {
		if (errno == EACCES)
			return HISCORE_SAVED;
		set_reason(why, errno);
		return HISCORE_NOT_SYNCED;
	}
	bool synced = fsync(fd) == 0 || errno == EINVAL;
	if (!synced)
		set_reason(why, errno);
	close(fd);
	return synced ? HISCORE_SAVED : HISCORE_NOT_SYNCED;
}

HiscoreSaved
hiscore_sys_replace(const char *name, const unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE])
{
	char path[PATH_SIZE], tmp[PATH_SIZE];
	struct stat old;

	if (!resolve(name, path, &old, why))
		return HISCORE_NOT_WRITTEN;
	bool exists = old.st_mode != 0;
	if (exists && access(path, W_OK) != 0) {
		set_reason(why, errno);
		return HISCORE_NOT_WRITTEN;
	}
	int fd = create_temp(path, tmp, exists ? 0600 : 0666, why);
	if (fd < 0)
		return HISCORE_NOT_WRITTEN;
	if ((exists && !keep_mode(fd, &old)) || !write_all(fd, buf, size) ||
	    fsync(fd) != 0) {
		set_reason(why, errno);
		close(fd);
		unlink(tmp);
		return HISCORE_NOT_WRITTEN;
	}
	if (close(fd) != 0 || rename(tmp, path) != 0) {
		set_reason(why, errno);
		unlink(tmp);
		return HISCORE_NOT_WRITTEN;
	}
	return sync_folder(path, why);
}
