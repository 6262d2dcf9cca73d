// make_examples.cpp: writes the two sample score files "HISCORE.1" and
// "HISCORE.2" into the current directory: two installations of the game
// that started from the built-in table and were then played on.
#include <cstdio>

#include "hiscore.h"
#include "sys.h"

struct Played {
	int32_t score;
	const char *name;
};

static int
write_sample(const char *path, const Played *games, int n)
{
	HiscoreTable t = {};
	unsigned char file[HISCORE_FILE_SIZE];
	bool in_place;

	hiscore_defaults(&t);
	for (int i = 0; i < n; i++) {
		HiscoreEntry e = {games[i].score, {}};
		snprintf(e.name, sizeof e.name, "%s", games[i].name);
		hiscore_insert(&t, &e);
	}
	hiscore_encode(&t, file);
	int err = hiscore_sys_replace(path, file, HISCORE_FILE_SIZE, &in_place);
	if (err != 0) {
		fprintf(stderr, "make-examples: %s: %s\n", path, hiscore_reason(err));
		return 0;
	}
	return 1;
}

int
main()
{
	static const Played first[] = {
		{120500, "MARA"}, {104000, "TOBIAS"}, {101250, "MARA"},
		{95000, "JONAS"},
	};
	static const Played second[] = {
		{131000, "LENA"}, {104000, "TOBIAS"}, {99000, "KIM"},
		{97500, "LENA"},
	};

	if (!write_sample("HISCORE.1", first, 4) ||
	    !write_sample("HISCORE.2", second, 4))
		return 1;
	return 0;
}
