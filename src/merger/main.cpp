// main.cpp: hiscore-merge merges "HISCORE.1" and "HISCORE.2" into
// "HISCORE.DAT", keeping the best ten of their twenty entries.
#include <cstdio>

#include "hiscore.h"
#include "sys.h"

// The table that loading and saving act on, and the copy of the first
// file's table that is merged into it; the two inputs as read, both before
// any save.
static HiscoreTable working;
static HiscoreTable saved;
static HiscoreInput first, second;

// Prints why the result is not safely on disk, after all of the progress
// messages, and gives the exit status.
static int
report(HiscoreSaved outcome, const char *why)
{
	if (outcome == HISCORE_SAVED)
		return 0;
	fflush(stdout);
	fprintf(stderr, "hiscore-merge: %s 'HISCORE.DAT': %s\n",
	    outcome == HISCORE_NOT_SYNCED ? "cannot sync the folder of" :
	    "cannot write", why);
	return 1;
}

int
main()
{
	char why[HISCORE_REASON_SIZE];

	hiscore_sys_start();
	fputs("HIGHSCORE - MERGER for Quorvex\n\n", stdout);
	fputs("Merging files 'HISCORE.1' and 'HISCORE.2' to 'HISCORE.DAT' ...\n\n",
	    stdout);
	hiscore_fetch(&first, 1);
	hiscore_fetch(&second, 2);
	hiscore_load(&working, &first, &second);
	saved = working;
	hiscore_load(&working, &second, &first);
	for (int k = 0; k < HISCORE_ENTRIES; k++)
		hiscore_insert(&working, &saved.entry[k]);
	fputs("Saving new 'HISCORE.DAT' ...\n", stdout);
	return report(hiscore_save(&working, why), why);
}
