// sys_linux_read.cpp: reading an input on Linux.
//
// An input is reached one name at a time, each looked at with O_PATH |
// O_NOFOLLOW, which opens no driver or FIFO and follows no link: the links
// met on the way are followed by hand, so that each can be judged before
// anything is read. Only a regular file is then opened for reading.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sys.h"

static int
read_all(int fd, unsigned char *buf, long size, long *got)
{
	*got = 0;
	while (*got < size) {
		ssize_t n = read(fd, buf + *got, (size_t)(size - *got));
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0)
			return errno;
		if (n == 0)
			break;
		*got += n;
	}
	return 0;
}

enum { MAX_LINKS = 40 };

// The way to an input, walked one name at a time: what is left of the
// path, the name just looked at and the folder it was looked up in
// (AT_FDCWD at first), what it led to, and the owners of the links met.
struct Walk {
	char rest[PATH_MAX];
	char last[NAME_MAX + 1];
	int folder;
	int found;
	struct stat st;
	uid_t owners[MAX_LINKS];
	int links;
};

static void
replace_fd(int *fd, int with)
{
	if (*fd >= 0)
		close(*fd);
	*fd = with;
}

// Takes the next name off w->rest into w->last; a leading slash has it
// looked up from the root. A name that a slash ends must be a folder, so
// "." in it comes next.
static int
next_name(Walk *w)
{
	const char *p = w->rest;

	if (*p == '/') {
		int root = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
		if (root < 0)
			return errno;
		replace_fd(&w->folder, root);
		p += strspn(p, "/");
		if (*p == '\0')
			p = ".";
	}
	size_t n = strcspn(p, "/"), slashes = strspn(p + n, "/");
	if (n > NAME_MAX)
		return ENAMETOOLONG;
	memcpy(w->last, p, n);
	w->last[n] = '\0';
	p += n + slashes;
	if (*p == '\0' && slashes > 0)
		p = ".";
	memmove(w->rest, p, strlen(p) + 1);
	return 0;
}

// Puts the target of the link fd, read from the very link that was
// judged, in front of what is left of the path.
static int
splice(Walk *w, int fd)
{
	char target[PATH_MAX];
	ssize_t n = readlinkat(fd, "", target, sizeof target);
	size_t rest = strlen(w->rest);

	if (n < 0)
		return errno;
	if ((size_t)n + 1 + rest >= sizeof w->rest)
		return ENAMETOOLONG;
	memmove(w->rest + n + (rest > 0), w->rest, rest + 1);
	memcpy(w->rest, target, (size_t)n);
	if (rest > 0)
		w->rest[n] = '/';
	return 0;
}

// Where hard links are not protected, a folder's owner can give another
// user's file or link a second name there. So a name with other links, in
// a folder that neither the runner nor the name's owner owns, is refused.
static int
second_name(const Walk *w)
{
	struct stat folder;

	if (w->st.st_nlink < 2 || S_ISDIR(w->st.st_mode))
		return 0;
	if (fstatat(w->folder, "", &folder, AT_EMPTY_PATH) != 0)
		return errno;
	return folder.st_uid == geteuid() || folder.st_uid == w->st.st_uid ? 0 :
	    HISCORE_EFOREIGN;
}

// Walks to what w->rest names without letting the kernel follow a link:
// each name is looked at with O_PATH | O_NOFOLLOW, which opens no driver
// or FIFO, and each link met is followed by hand and its owner noted.
static int
walk(Walk *w)
{
	for (;;) {
		int err = next_name(w);
		if (err != 0)
			return err;
		replace_fd(&w->found, openat(w->folder, w->last,
		    O_PATH | O_NOFOLLOW | O_CLOEXEC));
		if (w->found < 0 || fstat(w->found, &w->st) != 0)
			return errno;
		if ((err = second_name(w)) != 0)
			return err;
		if (S_ISLNK(w->st.st_mode)) {
			if (w->links == MAX_LINKS)
				return ELOOP;
			w->owners[w->links++] = w->st.st_uid;
			if ((err = splice(w, w->found)) != 0)
				return err;
		} else if (w->rest[0] == '\0') {
			return 0;
		} else if (!S_ISDIR(w->st.st_mode)) {
			return ENOTDIR;
		} else {
			replace_fd(&w->folder, w->found);
			w->found = -1;
		}
	}
}

// A link is followed where its owner may lead the runner: it is the
// runner's own or root's, or its owner owns the file at the end of the
// way, so that no one leads the runner to what they may not read.
static int
judge_links(const Walk *w)
{
	for (int i = 0; i < w->links; i++)
		if (w->owners[i] != geteuid() && w->owners[i] != 0 &&
		    w->owners[i] != w->st.st_uid)
			return HISCORE_EFOREIGN;
	return 0;
}

// Opens the regular file that the walk found for reading: through /proc,
// which reopens that very file, or where /proc is not mounted by its name
// in its folder, kept only if it is the same file. Neither waits for a
// FIFO or takes a terminal.
static int
open_found(const Walk *w, int *fd)
{
	char proc[32];
	struct stat st;

	snprintf(proc, sizeof proc, "/proc/self/fd/%d", w->found);
	*fd = open(proc, O_RDONLY | O_NOCTTY | O_CLOEXEC);
	if (*fd >= 0 || errno != ENOENT)
		return *fd >= 0 ? 0 : errno;
	*fd = openat(w->folder, w->last, O_RDONLY | O_NOFOLLOW | O_NONBLOCK |
	    O_NOCTTY | O_CLOEXEC);
	if (*fd < 0)
		return errno;
	if (fstat(*fd, &st) == 0 && st.st_dev == w->st.st_dev &&
	    st.st_ino == w->st.st_ino)
		return 0;
	replace_fd(fd, -1);
	return EAGAIN;
}

// Opens name for reading if it is a regular file that may be read, and
// tells which file it is.
static int
open_input(const char *name, int *fd, uint64_t id[2])
{
	Walk w;
	int err = ENAMETOOLONG;

	w.folder = AT_FDCWD;
	w.found = *fd = -1;
	w.links = 0;
	if (strlen(name) < sizeof w.rest) {
		memcpy(w.rest, name, strlen(name) + 1);
		err = walk(&w);
	}
	if (err == 0)
		err = judge_links(&w);
	if (err == 0 && !S_ISREG(w.st.st_mode))
		err = HISCORE_ENOTREG;
	if (err == 0)
		err = open_found(&w, fd);
	if (err == 0) {
		id[0] = w.st.st_dev;
		id[1] = w.st.st_ino;
	}
	replace_fd(&w.found, -1);
	replace_fd(&w.folder, -1);
	return err;
}

int
hiscore_sys_read(const char *name, HiscoreInput *in)
{
	int fd, err = open_input(name, &fd, in->id);

	if (err != 0)
		return err;
	err = read_all(fd, in->file, HISCORE_FILE_SIZE, &in->got);
	close(fd);
	return err;
}

bool
hiscore_sys_is(const char *name, const uint64_t id[2])
{
	struct stat st;

	return fstatat(AT_FDCWD, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
	    st.st_dev == id[0] && st.st_ino == id[1];
}
