// sys_linux_replace.cpp: replacing a file on Linux, as a save does
// (docs/save.md). The new bytes go to a temporary file beside the old one,
// which gets what the old file had and is renamed over it, so that the
// file is at every moment either the old one or the new one; nothing that
// exists is opened for writing, and no link is followed.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "sys.h"

// What a save replaces, judged by its metadata alone: mode 0 where there
// is no file, or a link, which the new file simply takes the place of.
struct Old {
	mode_t mode;
	uid_t uid;
	gid_t gid;
	nlink_t links;
	bool nodump;
};

// Looks at name without following a link or opening it; statx also tells
// the no-dump flag. Anything but a regular file the user may write, a
// link or nothing refuses the save.
static int
judge_old(const char *name, Old *old)
{
	struct statx x;

	memset(old, 0, sizeof *old);
	if (statx(AT_FDCWD, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &x) != 0)
		return errno == ENOENT ? 0 : errno;
	if (S_ISLNK(x.stx_mode))
		return 0;
	if (S_ISDIR(x.stx_mode))
		return EISDIR;
	if (!S_ISREG(x.stx_mode))
		return HISCORE_ENOTREG;
	if (faccessat(AT_FDCWD, name, W_OK, AT_SYMLINK_NOFOLLOW) != 0)
		return errno == EACCES ? HISCORE_EREADONLY : errno;
	*old = {x.stx_mode, x.stx_uid, x.stx_gid, x.stx_nlink,
	    (x.stx_attributes & STATX_ATTR_NODUMP) != 0};
	return 0;
}

// Creates a temporary file that did not exist before: the first free name
// of those that hiscore_temp_name gives.
static int
create_temp(const char *name, char tmp[HISCORE_TEMP_NAME_SIZE], mode_t mode,
    int *fd)
{
	for (int k = 0; k < HISCORE_MAX_TEMPS; k++) {
		if (!hiscore_temp_name(tmp, name, k))
			return ENAMETOOLONG;
		*fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
		    mode);
		if (*fd >= 0)
			return 0;
		if (errno != EEXIST)
			return errno;
	}
	return EEXIST;
}

// A write that stores nothing counts as a full disk.
static int
write_all(int fd, const unsigned char *buf, long size)
{
	while (size > 0) {
		ssize_t n = write(fd, buf, (size_t)size);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return n == 0 ? ENOSPC : errno;
		buf += n;
		size -= n;
	}
	return 0;
}

// Copies the ACL, the user attributes and the trusted ones (which only
// root is shown) of name, read without following a link or opening it, to
// fd. A user attribute the user may not read stays behind; any other that
// cannot be copied fails the copy. Where name has no ACL, fd keeps none
// that the folder's default ACL gave it.
static int
copy_attributes(const char *name, int fd)
{
	static const char acl[] = "system.posix_acl_access";
	static char names[XATTR_LIST_MAX], value[XATTR_SIZE_MAX];
	ssize_t len = llistxattr(name, names, sizeof names);
	bool had_acl = false;

	if (len < 0)
		return errno == ENOTSUP ? 0 : errno;
	for (char *a = names; a < names + len; a += strlen(a) + 1) {
		if (strncmp(a, "user.", 5) != 0 && strncmp(a, "trusted.", 8) != 0 &&
		    strcmp(a, acl) != 0)
			continue;
		ssize_t n = lgetxattr(name, a, value, sizeof value);
		if (n < 0 && (errno == ENODATA || (errno == EACCES && *a == 'u')))
			continue;
		if (n < 0 || fsetxattr(fd, a, value, (size_t)n, 0) != 0)
			return errno;
		had_acl |= strcmp(a, acl) == 0;
	}
	if (had_acl || fremovexattr(fd, acl) == 0 || errno == ENODATA ||
	    errno == ENOTSUP)
		return 0;
	return errno;
}

static int
set_nodump(int fd)
{
	int flags;

	if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0)
		return errno;
	flags |= FS_NODUMP_FL;
	return ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 ? 0 : errno;
}

// Gives the new file what the old one had, in the order that keeps each:
// the no-dump flag while the file is the runner's own; the owner and group
// (root) or the group (a member), since a change of owner clears the
// setuid bits; then the ACL and attributes; then the mode, which also sets
// the ACL's mask. No one gains access they did not have: where the group
// cannot be kept, its bits and setgid are not given to the runner's group;
// and a file with other names, not the folder's own, is saved by root as
// its own, in the old file's group, without setuid or setgid.
static int
keep_metadata(const char *name, int fd, const Old *old)
{
	mode_t mode = old->mode & 07777;
	bool root = geteuid() == 0, shared = old->links > 1;
	int err = old->nodump ? set_nodump(fd) : 0;

	if (err != 0)
		return err;
	if (root && shared)
		mode &= ~(mode_t)(S_ISUID | S_ISGID);
	if (fchown(fd, root && !shared ? old->uid : (uid_t)-1, old->gid) != 0) {
		if (root || errno != EPERM)
			return errno;
		mode &= ~(mode_t)(S_IRWXG | S_ISGID);
	}
	if ((err = copy_attributes(name, fd)) != 0)
		return err;
	return fchmod(fd, mode) == 0 ? 0 : errno;
}

// Makes the rename durable: syncs the folder, or where the user may not
// open it or its file system cannot sync folders (EINVAL), the file system
// that holds fd.
static int
sync_folder(int fd)
{
	int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	int err = folder < 0 || fsync(folder) != 0 ? errno : 0;

	if (folder >= 0)
		close(folder);
	if (folder < 0 || err == EINVAL)
		err = syncfs(fd) == 0 ? 0 : errno;
	return err;
}

int
hiscore_sys_replace(const char *name, const unsigned char *buf, long size,
    bool *in_place)
{
	char tmp[HISCORE_TEMP_NAME_SIZE];
	Old old;
	int fd, err = judge_old(name, &old);

	*in_place = false;
	if (err == 0)
		err = create_temp(name, tmp, old.mode != 0 ? 0600 : 0666, &fd);
	if (err != 0)
		return err;
	err = write_all(fd, buf, size);
	if (err == 0 && old.mode != 0)
		err = keep_metadata(name, fd, &old);
	if (err == 0 && fsync(fd) != 0)
		err = errno;
	if (err == 0 && rename(tmp, name) != 0)
		err = errno;
	if (err != 0) {
		unlink(tmp);
	} else {
		*in_place = true;
		err = sync_folder(fd);
	}
	close(fd);	// synced already: nothing is left to report
	return err;
}
