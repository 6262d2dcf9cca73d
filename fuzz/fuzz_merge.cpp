// fuzz_merge.cpp: two score files' worth of bytes, each decoded whatever its
// verdict, the first merged into the second as the merger does. Every
// insertion is held against what ranked insertion must do, and a receiving
// table in non-increasing order must stay so.
#include <cstdlib>
#include <cstring>

#include "hiscore.h"

static void
require(bool ok)
{
	if (!ok)
		abort();
}

static void
checked_insert(HiscoreTable *t, const HiscoreEntry *e)
{
	const HiscoreTable before = *t;
	const size_t rec = sizeof(HiscoreEntry);
	int p = 0;

	while (p < HISCORE_ENTRIES && before.entry[p].score >= e->score)
		p++;
	hiscore_insert(t, e);
	if (p == HISCORE_ENTRIES) {
		require(memcmp(t, &before, sizeof before) == 0);
		return;
	}
	require(memcmp(t->entry, before.entry, p * rec) == 0);
	require(memcmp(&t->entry[p + 1], &before.entry[p],
	    (HISCORE_ENTRIES - 1 - p) * rec) == 0);
	const char *name = t->entry[p].name;
	size_t len = strnlen(name, HISCORE_NAME_SIZE);
	require(t->entry[p].score == e->score);
	require(len == strnlen(e->name, HISCORE_NAME_SIZE - 1));
	require(memcmp(name, e->name, len) == 0);
	// Behind the NUL: the bytes of the entry that was at p.
	require(memcmp(name + len + 1, before.entry[p].name + len + 1,
	    HISCORE_NAME_SIZE - 1 - len) == 0);
}

static bool
non_increasing(const HiscoreTable *t)
{
	for (int i = 1; i < HISCORE_ENTRIES; i++)
		if (t->entry[i - 1].score < t->entry[i].score)
			return false;
	return true;
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	unsigned char files[2][HISCORE_FILE_SIZE] = {};
	HiscoreTable first = {}, working = {};

	memcpy(files, data, size < sizeof files ? size : sizeof files);
	hiscore_decode(files[0], &first);
	hiscore_decode(files[1], &working);
	bool ordered = non_increasing(&working);
	for (const HiscoreEntry &e : first.entry)
		checked_insert(&working, &e);
	require(!ordered || non_increasing(&working));
	return 0;
}
