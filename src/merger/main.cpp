// main.cpp: hiscore-merge merges "HISCORE.1" and "HISCORE.2" into
// "HISCORE.DAT", keeping the best ten of their twenty entries.
#include <cstdio>

#include "hiscore.h"

// The table that loading and saving act on, and the copy of the first
// file's table that is merged into it.
static HiscoreTable working;
static HiscoreTable saved;

// Prints the reason a result could not be written, after all of the
// progress messages.
static void
report_save_failure(const char *why)
{
	fflush(stdout);
	fprintf(stderr, "hiscore-merge: cannot write 'HISCORE.DAT': %s\n", why);
}

int
main()
{
	char why[HISCORE_REASON_SIZE];

	fputs("HIGHSCORE - MERGER for Quorvex\n\n", stdout);
	fputs("Merging files 'HISCORE.1' and 'HISCORE.2' to 'HISCORE.DAT' ...\n\n",
	    stdout);
	hiscore_load(&working, 1);
	saved = working;
	hiscore_load(&working, 2);
	for (int k = 0; k < HISCORE_ENTRIES; k++)
		hiscore_insert(&working, &saved.entry[k]);
	fputs("Saving new 'HISCORE.DAT' ...\n", stdout);
	if (!hiscore_save(&working, why)) {
		report_save_failure(why);
		return 1;
	}
	return 0;
}
