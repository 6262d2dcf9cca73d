// sys_posix.cpp: reading and replacing score files on POSIX systems.
//
// A save touches only names in the current folder: the file it replaces
// and a temporary file it creates there. It never opens an existing path
// for writing and follows no link. It fills and syncs the temporary file,
// gives it what the old file had (owner and group where it may, ACL and
// user attributes, the no-dump flag, mode), renames it into place and
// makes the rename durable, so that the file is at every moment either the
// old one or the new one.
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <linux/limits.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#endif

#include "sys.h"

static void
give_reason(char why[HISCORE_REASON_SIZE], const char *reason)
{
	snprintf(why, HISCORE_REASON_SIZE, "%s", reason);
}

static void
set_reason(char why[HISCORE_REASON_SIZE], int err)
{
	give_reason(why, strerror(err));
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

// Why an input is refused: the system's error number, or one of these.
enum {
	NOT_REGULAR = -1,
	FOREIGN = -2,
};

static void
give_error(char why[HISCORE_REASON_SIZE], int err)
{
	if (err == NOT_REGULAR)
		give_reason(why, hiscore_not_regular);
	else if (err == FOREIGN)
		give_reason(why, "a link to another user's file");
	else
		set_reason(why, err);
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
	    FOREIGN;
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
			return FOREIGN;
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
		err = NOT_REGULAR;
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

long
hiscore_sys_read(const char *name, unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE], uint64_t id[2])
{
	int fd, err = open_input(name, &fd, id);

	if (err != 0) {
		give_error(why, err);
		return -1;
	}
	long got = read_all(fd, buf, size, why);
	close(fd);
	return got;
}

bool
hiscore_sys_is(const char *name, const uint64_t id[2])
{
	struct stat st;

	return fstatat(AT_FDCWD, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
	    st.st_dev == id[0] && st.st_ino == id[1];
}

// Looks at name without following a link: its metadata into st, and
// whether it has the no-dump flag, which statx tells without an open.
static bool
look(const char *name, struct stat *st, bool *nodump)
{
	*nodump = false;
#ifdef STATX_ATTR_NODUMP
	struct statx x;

	if (statx(AT_FDCWD, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &x) != 0)
		return false;
	memset(st, 0, sizeof *st);
	st->st_mode = x.stx_mode;
	st->st_uid = x.stx_uid;
	st->st_gid = x.stx_gid;
	st->st_nlink = x.stx_nlink;
	*nodump = (x.stx_attributes & STATX_ATTR_NODUMP) != 0;
	return true;
#else
	return fstatat(AT_FDCWD, name, st, AT_SYMLINK_NOFOLLOW) == 0;
#endif
}

// Judges what a save of name replaces, by its metadata alone, into old:
// a regular file, or nothing (mode 0) where there is no file or a link,
// which the new file simply takes the place of. Returns false with the
// reason in why if the save must be refused.
static bool
judge_old(const char *name, struct stat *old, bool *nodump,
    char why[HISCORE_REASON_SIZE])
{
	bool found = look(name, old, nodump);

	if (!found && errno != ENOENT) {
		set_reason(why, errno);
		return false;
	}
	if (!found || S_ISLNK(old->st_mode)) {
		memset(old, 0, sizeof *old);
		return true;
	}
	if (S_ISDIR(old->st_mode))
		set_reason(why, EISDIR);
	else if (!S_ISREG(old->st_mode))
		give_reason(why, hiscore_not_regular);
	else if (faccessat(AT_FDCWD, name, W_OK, AT_SYMLINK_NOFOLLOW) != 0)
		set_reason(why, errno);
	else
		return true;
	return false;
}

// Creates a temporary file that did not exist before: the first free name
// of those that hiscore_temp_name gives.
static int
create_temp(const char *name, char tmp[HISCORE_TEMP_NAME_SIZE], mode_t mode)
{
	for (int k = 0; k < HISCORE_MAX_TEMPS; k++) {
		if (!hiscore_temp_name(tmp, name, k)) {
			errno = ENAMETOOLONG;
			return -1;
		}
		int fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW |
		    O_CLOEXEC, mode);
		if (fd >= 0 || errno != EEXIST)
			return fd;
	}
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

#ifdef __linux__
// Copies the ACL, the user attributes and the trusted ones (which only
// root is shown) of name, read without following a link or opening it, to
// fd. A user attribute the user may not read stays behind; any other that
// cannot be copied fails the copy. Where name has no ACL, fd keeps none
// that the folder's default ACL gave it.
static bool
copy_attributes(const char *name, int fd)
{
	static const char acl[] = "system.posix_acl_access";
	static char names[XATTR_LIST_MAX], value[XATTR_SIZE_MAX];
	ssize_t len = llistxattr(name, names, sizeof names);
	bool had_acl = false;

	if (len < 0)
		return errno == ENOTSUP;
	for (char *a = names; a < names + len; a += strlen(a) + 1) {
		if (strncmp(a, "user.", 5) != 0 && strncmp(a, "trusted.", 8) != 0 &&
		    strcmp(a, acl) != 0)
			continue;
		ssize_t n = lgetxattr(name, a, value, sizeof value);
		if (n < 0 && (errno == ENODATA || (errno == EACCES && *a == 'u')))
			continue;
		if (n < 0 || fsetxattr(fd, a, value, (size_t)n, 0) != 0)
			return false;
		had_acl |= strcmp(a, acl) == 0;
	}
	return had_acl || fremovexattr(fd, acl) == 0 || errno == ENODATA ||
	    errno == ENOTSUP;
}

// Gives fd the no-dump flag.
static bool
set_nodump(int fd)
{
	int flags;

	if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0)
		return false;
	flags |= FS_NODUMP_FL;
	return ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
}
#else
static bool
copy_attributes(const char *, int)
{
	return true;
}

static bool
set_nodump(int)
{
	return true;
}
#endif

// Gives the new file what the old one had, in the order that keeps each:
// the no-dump flag while the file is the runner's own; the owner (root) or
// the group (a member), since a change of owner clears the setuid bits;
// then the ACL and user attributes; then the mode, which also sets the
// ACL's mask. No one gains access they did not have: where the group
// cannot be kept, its bits and setgid are not given to the runner's group;
// and a file with other names, not the folder's own, is saved by root as
// its own, in the old file's group, without setuid or setgid.
static bool
keep_metadata(const char *name, int fd, const struct stat *old, bool nodump)
{
	mode_t mode = old->st_mode & 07777;
	bool root = geteuid() == 0, shared = old->st_nlink > 1;

	if (nodump && !set_nodump(fd))
		return false;
	if (root && shared)
		mode &= ~(mode_t)(S_ISUID | S_ISGID);
	if (fchown(fd, root && !shared ? old->st_uid : (uid_t)-1, old->st_gid) != 0) {
		if (root || errno != EPERM)
			return false;
		mode &= ~(mode_t)(S_IRWXG | S_ISGID);
	}
	return copy_attributes(name, fd) && fchmod(fd, mode) == 0;
}

// Makes the rename durable: syncs the folder, or where the user may not
// open it or its file system cannot sync folders (EINVAL), the file system
// that holds fd.
static HiscoreSaved
sync_folder(int fd, char why[HISCORE_REASON_SIZE])
{
	int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	bool synced = folder >= 0 && fsync(folder) == 0;
	int err = errno;

	if (folder >= 0)
		close(folder);
	if (!synced && (folder < 0 || err == EINVAL)) {
#ifdef __linux__
		synced = syncfs(fd) == 0;
		err = errno;
#else
		sync();
		synced = true;
#endif
	}
	if (synced)
		return HISCORE_SAVED;
	set_reason(why, err);
	return HISCORE_NOT_SYNCED;
}

HiscoreSaved
hiscore_sys_replace(const char *name, const unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE])
{
	char tmp[HISCORE_TEMP_NAME_SIZE];
	struct stat old;
	bool nodump;
	HiscoreSaved outcome = HISCORE_NOT_WRITTEN;

	if (!judge_old(name, &old, &nodump, why))
		return HISCORE_NOT_WRITTEN;
	int fd = create_temp(name, tmp, old.st_mode != 0 ? 0600 : 0666);
	if (fd < 0) {
		set_reason(why, errno);
		return HISCORE_NOT_WRITTEN;
	}
	if (!write_all(fd, buf, size) ||
	    (old.st_mode != 0 && !keep_metadata(name, fd, &old, nodump)) ||
	    fsync(fd) != 0 || rename(tmp, name) != 0) {
		set_reason(why, errno);
		unlink(tmp);
	} else {
		outcome = sync_folder(fd, why);
	}
	close(fd);	// synced already: nothing is left to report
	return outcome;
}
