// file.cpp: reading a score file, and the merger's loading and saving of
// tables, through the platform layer.
#include <cstdio>

#include "hiscore.h"
#include "sys.h"

static const char output_name[] = "HISCORE.DAT";

// Judges the first got bytes of a file, got being what the read returned.
static HiscoreVerdict
judge(const unsigned char file[HISCORE_FILE_SIZE], long got, HiscoreTable *t,
    bool *plain)
{
	*plain = true;
	if (got < 0)
		return HISCORE_UNREADABLE;
	if (got < HISCORE_FILE_SIZE)
		return HISCORE_SHORT;
	return hiscore_decode(file, t, plain);
}

HiscoreVerdict
hiscore_read(const char *name, HiscoreTable *t, bool *plain,
    char why[HISCORE_REASON_SIZE])
{
	unsigned char file[HISCORE_FILE_SIZE];
	uint64_t id[2];

	return judge(file, hiscore_sys_read(name, file, HISCORE_FILE_SIZE, why, id),
	    t, plain);
}

bool
hiscore_temp_name(char tmp[HISCORE_TEMP_NAME_SIZE], const char *name, int k)
{
	int len = k == 0 ? snprintf(tmp, HISCORE_TEMP_NAME_SIZE, "%s.tmp", name) :
	    snprintf(tmp, HISCORE_TEMP_NAME_SIZE, "%s.tmp.%d", name, k);

	return len < HISCORE_TEMP_NAME_SIZE;
}

void
hiscore_fetch(HiscoreInput *in, int n)
{
	char name[24], why[HISCORE_REASON_SIZE];

	snprintf(name, sizeof name, "HISCORE.%d", n);
	in->got = hiscore_sys_read(name, in->file, HISCORE_FILE_SIZE, why, in->id);
}

void
hiscore_load(HiscoreTable *t, const HiscoreInput *in, const HiscoreInput *other)
{
	char why[HISCORE_REASON_SIZE];
	HiscoreTable scratch;
	bool plain;

	if (judge(in->file, in->got, t, &plain) == HISCORE_VALID)
		return;
	hiscore_alarm();
	hiscore_defaults(t);
	if (judge(other->file, other->got, &scratch, &plain) == HISCORE_VALID &&
	    hiscore_sys_is(output_name, other->id))
		return;
	hiscore_save(t, why);	// a failure here stays silent: the final save decides
}

HiscoreSaved
hiscore_save(const HiscoreTable *t, char why[HISCORE_REASON_SIZE])
{
	unsigned char file[HISCORE_FILE_SIZE];

	hiscore_encode(t, file);
	return hiscore_sys_replace(output_name, file, HISCORE_FILE_SIZE, why);
}

void
hiscore_alarm(void)
{
	fputs("\a\n", stdout);
}
