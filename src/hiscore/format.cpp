// format.cpp: the score file's bytes: encoding a table, and judging and
// decoding 256 bytes. Touches no disk.
//
// A score file is exactly 256 bytes; every word is 32-bit little-endian:
//
//	offset	size	content
//	0	4	full checksum A
//	4	4	A again (written, never read)
//	8	120	entries 0 to 4, 24 bytes each, stored form
//	128	4	scores checksum B (written, never read)
//	132	120	entries 5 to 9, stored form
//	252	4	B again
//
// A plain entry is 24 bytes P0..P23: the score, low byte first, then the
// 20-byte name field. Its stored form S0..S23 swaps the low half of the
// score with the first and last bytes of the name and complements every
// byte:
//
//	S0 = ~P4   S1 = ~P23   S2 = ~P2   S3 = ~P3   S4 = ~P1
//	Sk = ~Pk for k = 5..22                        S23 = ~P0
//
// A is the full checksum of the plain table, B the scores checksum of the
// stored table; a reader checks B first, then unscrambles and checks A.
#include <cstring>

#include "hiscore.h"

enum {
	OFF_FULL = 0,
	OFF_FULL_AGAIN = 4,
	OFF_FIRST_HALF = 8,
	OFF_SCORES = 128,
	OFF_SECOND_HALF = 132,
	OFF_SCORES_AGAIN = 252,
	HALF = HISCORE_ENTRIES / 2,
};

static_assert(OFF_FIRST_HALF + HALF * HISCORE_ENTRY_SIZE == OFF_SCORES,
    "first half ends at the scores checksum");
static_assert(OFF_SECOND_HALF + HALF * HISCORE_ENTRY_SIZE == OFF_SCORES_AGAIN,
    "second half ends at the last word");
static_assert(OFF_SCORES_AGAIN + 4 == HISCORE_FILE_SIZE, "file is 256 bytes");

static uint32_t
get_word(const unsigned char *p)
{
	return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
	    (uint32_t)p[3] << 24;
}

static void
put_word(unsigned char *p, uint32_t w)
{
	p[0] = w & 0xff;
	p[1] = w >> 8 & 0xff;
	p[2] = w >> 16 & 0xff;
	p[3] = w >> 24 & 0xff;
}

static void
entry_to_bytes(const HiscoreEntry *e, unsigned char *p)
{
	put_word(p, (uint32_t)e->score);
	memcpy(p + 4, e->name, HISCORE_NAME_SIZE);
}

static void
entry_from_bytes(HiscoreEntry *e, const unsigned char *p)
{
	e->score = (int32_t)get_word(p);
	memcpy(e->name, p + 4, HISCORE_NAME_SIZE);
}

static int
entry_offset(int i)
{
	if (i < HALF)
		return OFF_FIRST_HALF + i * HISCORE_ENTRY_SIZE;
	return OFF_SECOND_HALF + (i - HALF) * HISCORE_ENTRY_SIZE;
}

// The full checksum (scores_only == 0, over a plain table): the sum of the
// scores and of every name's characters before its NUL. The scores checksum
// (scores_only != 0, over a stored table): the sum of the score words.
// Both are 32-bit sums with wrap-around.
static uint32_t
checksum(const HiscoreTable *t, int scores_only)
{
	uint32_t sum = 0;

	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		const HiscoreEntry *e = &t->entry[i];

		sum += (uint32_t)e->score;
		if (scores_only)
			continue;
		for (int k = 0; k < HISCORE_NAME_SIZE && e->name[k] != '\0'; k++)
			sum += (unsigned char)e->name[k];
	}
	return sum;
}

// Name bytes 1 to 18 keep their place in both forms and are complemented.
static void
complement_middle(HiscoreEntry *e)
{
	for (int k = 1; k < HISCORE_NAME_SIZE - 1; k++)
		e->name[k] = (char)~e->name[k];
}

static void
scramble(HiscoreTable *t)
{
	for (HiscoreEntry &e : t->entry) {
		uint32_t w = (uint32_t)e.score;
		uint32_t first = (unsigned char)e.name[0];
		uint32_t last = (unsigned char)e.name[HISCORE_NAME_SIZE - 1];

		e.score = (int32_t)~((w & 0xffff0000) | last << 8 | first);
		e.name[0] = (char)~(w >> 8);
		e.name[HISCORE_NAME_SIZE - 1] = (char)~w;
		complement_middle(&e);
	}
}

void
hiscore_unscramble(HiscoreTable *t)
{
	for (HiscoreEntry &e : t->entry) {
		uint32_t w = (uint32_t)e.score;
		uint32_t s4 = (unsigned char)e.name[0];
		uint32_t s23 = (unsigned char)e.name[HISCORE_NAME_SIZE - 1];

		e.score = (int32_t)~((w & 0xffff0000) | s4 << 8 | s23);
		e.name[0] = (char)~w;
		e.name[HISCORE_NAME_SIZE - 1] = (char)~(w >> 8);
		complement_middle(&e);
	}
}

void
hiscore_encode(const HiscoreTable *t, unsigned char file[HISCORE_FILE_SIZE])
{
	HiscoreTable stored = *t;
	uint32_t a = checksum(t, 0);

	scramble(&stored);
	uint32_t b = checksum(&stored, 1);
	put_word(file + OFF_FULL, a);
	put_word(file + OFF_FULL_AGAIN, a);
	put_word(file + OFF_SCORES, b);
	put_word(file + OFF_SCORES_AGAIN, b);
	for (int i = 0; i < HISCORE_ENTRIES; i++)
		entry_to_bytes(&stored.entry[i], file + entry_offset(i));
}

HiscoreVerdict
hiscore_decode(const unsigned char file[HISCORE_FILE_SIZE], HiscoreTable *t,
    bool *plain)
{
	for (int i = 0; i < HISCORE_ENTRIES; i++)
		entry_from_bytes(&t->entry[i], file + entry_offset(i));
	*plain = false;
	if (checksum(t, 1) != get_word(file + OFF_SCORES_AGAIN))
		return HISCORE_BAD_SCORES;
	hiscore_unscramble(t);
	*plain = true;
	if (checksum(t, 0) != get_word(file + OFF_FULL))
		return HISCORE_BAD_NAMES;
	return HISCORE_VALID;
}
