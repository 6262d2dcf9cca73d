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

// The reason given for an input link that is not followed.
static const char foreign_link[] = "a link to another user's file";

// The runner follows its own links; another user's link only to a file of
// that user, so that no one leads it to what they may not read.
static bool
may_follow(uid_t link_owner, uid_t file_owner)
{
	return link_owner == geteuid() || link_owner == file_owner;
}

#ifdef O_PATH
// An input as find_input finds it, before it is opened for reading: the
// folder that holds it (AT_FDCWD for the current one), a descriptor that
// reaches it but opens no driver or FIFO, and what it is.
struct Input {
	int folder;
	int found;
	struct stat st;
};

// Opens the folder of name for the lookups in it; *base is the name there.
static int
open_folder(const char *name, const char **base)
{
	const char *slash = strrchr(name, '/');
	char folder[PATH_MAX];

	*base = name;
	if (slash == NULL || slash[1] == '\0')
		return AT_FDCWD;
	*base = slash + 1;
	if (slash - name >= PATH_MAX) {
		errno = ENAMETOOLONG;
		return -1;
	}
	snprintf(folder, sizeof folder, "%.*s", (int)(slash - name), name);
	return open(slash == name ? "/" : folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// Follows the link in->found, of in->st, to the end of its chain where
// may_follow allows. Its text is read from the very link whose owner is
// judged, so that no swap of the name can change where it leads.
static bool
follow_link(Input *in, char why[HISCORE_REASON_SIZE])
{
	char target[PATH_MAX];
	uid_t owner = in->st.st_uid;
	ssize_t n = readlinkat(in->found, "", target, sizeof target - 1);

	close(in->found);
	in->found = -1;
	if (n >= 0) {
		target[n] = '\0';
		in->found = openat(in->folder, target, O_PATH | O_CLOEXEC);
	}
	if (in->found < 0 || fstat(in->found, &in->st) != 0) {
		set_reason(why, errno);
		return false;
	}
	if (may_follow(owner, in->st.st_uid))
		return true;
	give_reason(why, foreign_link);
	return false;
}

// Finds name's file without opening it, following a link where the rule
// allows. Returns false with the reason in why.
static bool
find_input(const char *name, Input *in, char why[HISCORE_REASON_SIZE])
{
	const char *base;

	in->found = -1;
	in->folder = open_folder(name, &base);
	if (in->folder != -1)
		in->found = openat(in->folder, base, O_PATH | O_NOFOLLOW | O_CLOEXEC);
	if (in->found < 0 || fstat(in->found, &in->st) != 0) {
		set_reason(why, errno);
		return false;
	}
	return !S_ISLNK(in->st.st_mode) || follow_link(in, why);
}

// Opens the regular file that find_input found for reading, through /proc,
// which reopens that very file. Where /proc is not mounted, the input
// cannot be opened safely: it is unreadable, with that reason.
static int
reopen(const Input *in, char why[HISCORE_REASON_SIZE])
{
	char proc[32];

	if (!S_ISREG(in->st.st_mode)) {
		give_reason(why, hiscore_not_regular);
		return -1;
	}
	snprintf(proc, sizeof proc, "/proc/self/fd/%d", in->found);
	int fd = open(proc, O_RDONLY | O_NOCTTY | O_CLOEXEC);
	if (fd < 0 && errno == ENOENT)
		give_reason(why, "/proc is not mounted");
	else if (fd < 0)
		set_reason(why, errno);
	return fd;
}

// Opens name for reading if it is a regular file that may be read: found,
// judged, then reopened.
static int
open_input(const char *name, char why[HISCORE_REASON_SIZE])
{
	Input in;
	int fd = find_input(name, &in, why) ? reopen(&in, why) : -1;

	if (in.found >= 0)
		close(in.found);
	if (in.folder >= 0)
		close(in.folder);
	return fd;
}
#else
// Without O_PATH a file cannot be reached without opening it: it is opened
// without blocking or taking a terminal, then judged, and a link's owner
// is judged from a look at the name just before.
static int
open_input(const char *name, char why[HISCORE_REASON_SIZE])
{
	struct stat link, st;
	bool linked = fstatat(AT_FDCWD, name, &link, AT_SYMLINK_NOFOLLOW) == 0 &&
	    S_ISLNK(link.st_mode);
	int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);

	if (fd < 0 || fstat(fd, &st) != 0)
		set_reason(why, errno);
	else if (!S_ISREG(st.st_mode))
		give_reason(why, hiscore_not_regular);
	else if (linked && !may_follow(link.st_uid, st.st_uid))
		give_reason(why, foreign_link);
	else
		return fd;
	if (fd >= 0)
		close(fd);
	return -1;
}
#endif

long
hiscore_sys_read(const char *name, unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE])
{
	int fd = open_input(name, why);

	if (fd < 0)
		return -1;
	long got = read_all(fd, buf, size, why);
	close(fd);
	return got;
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
