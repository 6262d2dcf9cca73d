// read.cpp: reading a score file through the platform layer, judging what
// was read, and the words for why a file could not be read or saved.
#include <cerrno>

#include "hiscore.h"
#include "sys.h"

void
hiscore_fetch(HiscoreInput *in, const char *name)
{
	*in = HiscoreInput{};
	in->err = hiscore_sys_read(name, in);
}

HiscoreVerdict
hiscore_judge(const HiscoreInput *in, HiscoreTable *t, bool *plain)
{
	*plain = true;
	if (in->err != 0)
		return HISCORE_UNREADABLE;
	if (in->got < HISCORE_FILE_SIZE)
		return HISCORE_SHORT;
	return hiscore_decode(in->file, t, plain);
}

bool
hiscore_same_rows(const HiscoreInput *a, const HiscoreInput *b)
{
	HiscoreTable t[2];
	bool plain;
	HiscoreVerdict v = hiscore_judge(a, &t[0], &plain);

	if (v == HISCORE_UNREADABLE || v == HISCORE_SHORT ||
	    hiscore_judge(b, &t[1], &plain) != v)
		return false;
	for (int i = 0; i < HISCORE_ENTRIES; i++)
		if (!hiscore_same_entry(&t[0].entry[i], &t[1].entry[i]))
			return false;
	return true;
}

const char *
hiscore_reason(int err)
{
	switch (err) {
	case HISCORE_ENOTREG:
		return "not a regular file";
	case HISCORE_EFOREIGN:
		return "a link to another user's file";
	case HISCORE_EREADONLY:
		return hiscore_sys_reason(EACCES);
	case HISCORE_ENAME:
		return "a name that ends in a dot or a space";
	}
	return hiscore_sys_reason(err);
}
