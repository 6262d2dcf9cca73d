// file.cpp: reading a score file, and the merger's loading and saving of
// tables, through the platform layer.
#include <cstdio>

#include "hiscore.h"
#include "sys.h"

static const char output_name[] = "HISCORE.DAT";

HiscoreVerdict
hiscore_read(const char *name, HiscoreTable *t, bool *plain,
    char why[HISCORE_REASON_SIZE])
{
	unsigned char file[HISCORE_FILE_SIZE];
	long n = hiscore_sys_read(name, file, HISCORE_FILE_SIZE, why);

	*plain = true;
	if (n < 0)
		return HISCORE_UNREADABLE;
	if (n < HISCORE_FILE_SIZE)
		return HISCORE_SHORT;
	return hiscore_decode(file, t, plain);
}

bool
hiscore_temp_name(char tmp[HISCORE_TEMP_NAME_SIZE], const char *name, int k)
{
	int len = k == 0 ? snprintf(tmp, HISCORE_TEMP_NAME_SIZE, "%s.tmp", name) :
	    snprintf(tmp, HISCORE_TEMP_NAME_SIZE, "%s.tmp.%d", name, k);

	return len < HISCORE_TEMP_NAME_SIZE;
}

void
hiscore_load(HiscoreTable *t, int n)
{
	char name[24], why[HISCORE_REASON_SIZE];
	bool plain;

	snprintf(name, sizeof name, "HISCORE.%d", n);
	if (hiscore_read(name, t, &plain, why) == HISCORE_VALID)
		return;
	hiscore_alarm();
	hiscore_defaults(t);
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
