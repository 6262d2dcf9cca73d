// table.cpp: the built-in table, ranked insertion, and entries compared.
#include <cstring>

#include "hiscore.h"

static const char *const default_names[HISCORE_ENTRIES] = {
	"ALDWINE KVIL",
	"BERTOS KVIL",
	"ALDWINE MORSEN",
	"------------------",
	"      QUORVEX     ",
	"     THE GAME     ",
	"PELLORAN SOFTCRAFT",
	"     - 1996 -     ",
	"------------------",
	"!NOT GOOD ENOUGH!",
};

// Copies the characters of src up to its NUL, at most 19, then a NUL; the
// bytes of dst behind that NUL keep what they held.
static void
copy_name(char *dst, const char *src)
{
	int i;

	for (i = 0; i < HISCORE_NAME_SIZE - 1 && src[i] != '\0'; i++)
		dst[i] = src[i];
	dst[i] = '\0';
}

void
hiscore_defaults(HiscoreTable *t)
{
	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		t->entry[i].score = 100000 - 7500 * i;
		copy_name(t->entry[i].name, default_names[i]);
	}
}

void
hiscore_insert(HiscoreTable *t, const HiscoreEntry *e)
{
	int p = 0;

	while (p < HISCORE_ENTRIES && t->entry[p].score >= e->score)
		p++;
	if (p == HISCORE_ENTRIES)
		return;
	for (int i = HISCORE_ENTRIES - 1; i > p; i--)
		t->entry[i] = t->entry[i - 1];
	t->entry[p].score = e->score;
	copy_name(t->entry[p].name, e->name);
}

bool
hiscore_same_entry(const HiscoreEntry *a, const HiscoreEntry *b)
{
	return a->score == b->score &&
	    strncmp(a->name, b->name, HISCORE_NAME_SIZE) == 0;
}

bool
hiscore_holds(const HiscoreTable *t, const HiscoreEntry *e)
{
	for (const HiscoreEntry &held : t->entry)
		if (hiscore_same_entry(&held, e))
			return true;
	return false;
}
