// hiscore_test.cpp: the score file's bytes, without a disk, against figures
// worked out by hand: the only guard against a format mistake made the same
// way in both directions.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "hiscore.h"

static std::string
encoded(const HiscoreTable &t)
{
	unsigned char b[HISCORE_FILE_SIZE];
	hiscore_encode(&t, b);
	return std::string((const char *)b, sizeof b);
}

// Score 100000 named "ABC" is stored as BE FF FE FF 79 BD BC, sixteen FF,
// 5F. The built-in table's file starts with its full checksum 671714 twice
// and its first entry, and both copies of its scores checksum are
// 4294639111; a name without a NUL counts all twenty bytes.
TEST(FileBytes, WorkedExamplesAndChecksums)
{
	HiscoreTable t{{{100000, "ABC"}}};
	EXPECT_EQ(encoded(t).substr(8, 24), "\xBE\xFF\xFE\xFF\x79\xBD\xBC" +
	    std::string(16, '\xFF') + "\x5F");
	hiscore_defaults(&t);
	const std::string file = encoded(t);
	EXPECT_EQ(file.substr(0, 16), std::string("\xE2\x3F\x0A\0\xE2\x3F\x0A\0"
	    "\xBE\xFF\xFE\xFF\x79\xB3\xBB\xA8", 16));
	EXPECT_EQ(file.substr(128, 4) + file.substr(252), "\x07\xFE\xFA\xFF"
	    "\x07\xFE\xFA\xFF");
	memset(t.entry[3].name, 'A', HISCORE_NAME_SIZE);
	EXPECT_EQ(hiscore_checksum(&t, 0), 671714u - 18 * '-' + 20 * 'A');
}

// Ranked insertion moves records down inside the table and never past it.
TEST(Table, InsertionStaysInsideTheTable)
{
	struct {
		HiscoreTable t;
		HiscoreEntry after;
	} m{};
	const HiscoreEntry e{5, "new"};
	for (int i = 0; i < HISCORE_ENTRIES; i++)
		m.t.entry[i].score = 10 - i;
	hiscore_insert(&m.t, &e);
	EXPECT_EQ(m.t.entry[5].score, 5);
	EXPECT_EQ(m.after.score, 0);
}
