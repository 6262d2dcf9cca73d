// run.cpp: the merge run: two loads with their recovery, ranked insertion
// and the final save, with the run's messages and alarms.
#include <cstdio>

#include "run.h"
#include "sys.h"

static const char output_name[] = "HISCORE.DAT";

// The working table, which both loads fill and every save writes, and the
// first input's table, kept while the second loads. Both are static, zero
// at start, and the two loads share the working table: where a load puts
// the built-in table there, the bytes behind each new name's NUL are what
// the table held before, the first input's among them, and they are saved
// with it.
static HiscoreTable working, first_table;

static int
save(bool *in_place)
{
	unsigned char file[HISCORE_FILE_SIZE];

	hiscore_encode(&working, file);
	return hiscore_sys_replace(output_name, file, HISCORE_FILE_SIZE, in_place);
}

// Loads in into the working table. Where it is missing, short or damaged,
// sounds the alarm and puts the built-in table there, saved at once unless
// HISCORE.DAT is the file that other, a valid input, was read from: that
// save would destroy its table before the merge holds it. A failed
// recovery save stays silent: the final save decides.
static void
load(const HiscoreInput *in, const HiscoreInput *other)
{
	HiscoreTable scratch;
	bool plain, in_place;

	if (hiscore_judge(in, &working, &plain) == HISCORE_VALID)
		return;
	fputs("\a\n", stdout);
	hiscore_defaults(&working);
	if (hiscore_judge(other, &scratch, &plain) != HISCORE_VALID ||
	    !hiscore_sys_is(output_name, other->id))
		(void)save(&in_place);
}

int
hiscore_merge(const HiscoreInput *first, const HiscoreInput *second,
    bool once, bool *in_place)
{
	fputs("HIGHSCORE - MERGER for Quorvex\n\n", stdout);
	fputs("Merging files 'HISCORE.1' and 'HISCORE.2' to 'HISCORE.DAT' ...\n\n",
	    stdout);
	load(first, second);
	first_table = working;
	load(second, first);
	const HiscoreTable second_table = working;
	for (const HiscoreEntry &e : first_table.entry)
		if (!once || !hiscore_holds(&second_table, &e))
			hiscore_insert(&working, &e);
	fputs("Saving new 'HISCORE.DAT' ...\n", stdout);
	return save(in_place);
}
