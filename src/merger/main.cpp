// main.cpp: hiscore-merge merges "HISCORE.1" and "HISCORE.2" into
// "HISCORE.DAT", keeping the best ten of their twenty entries.
#include <cstdio>

#include "run.h"
#include "sys.h"

int
main()
{
	HiscoreInput first, second;
	bool in_place;

	hiscore_sys_start();
	hiscore_fetch(&first, "HISCORE.1");
	hiscore_fetch(&second, "HISCORE.2");
	int err = hiscore_merge(&first, &second, false, &in_place);
	if (err == 0)
		return 0;
	// After all of the progress messages, on a shared stream too.
	fflush(stdout);
	fprintf(stderr, "hiscore-merge: %s 'HISCORE.DAT': %s\n",
	    in_place ? "cannot sync the folder of" : "cannot write",
	    hiscore_reason(err));
	return 1;
}
