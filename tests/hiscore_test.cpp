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
// 4294639111; a name without a NUL counts all twenty bytes: with the
// fourth name twenty A, the full checksum is 671714 - 18 * '-' + 20 * 'A',
// 672204 (CC 41 0A 00).
TEST(FileBytes, WorkedExamplesAndChecksums)
{
	HiscoreTable t{{{100000, "ABC"}}};
	EXPECT_EQ(encoded(t).substr(8, 24), "\xBE\xFF\xFE\xFF\x79\xBD\xBC" +
	    std::string(16, '\xFF') + "\x5F");
	hiscore_defaults(&t);
	const std::string file = encoded(t);
	EXPECT_EQ(file.substr(0, 16),
	    std::string("\xE2\x3F\x0A\0\xE2\x3F\x0A\0\xBE\xFF\xFE\xFF\x79\xB3\xBB\xA8", 16));
	EXPECT_EQ(file.substr(128, 4) + file.substr(252), "\x07\xFE\xFA\xFF\x07\xFE\xFA\xFF");
	memset(t.entry[3].name, 'A', HISCORE_NAME_SIZE);
	EXPECT_EQ(encoded(t).substr(0, 4), std::string("\xCC\x41\x0A\0", 4));
}

// The ends of the score range, and 2^23, whose stored words mix the top
// bits: 2^31-1 is stored FF FF 00 80 00 ..., -2^31 FF FF FF 7F FF ... and
// 2^23 FF FF 7F FF FF ...; then 0x01020304 named "A", with 'B' and 'C' in
// the last two bytes of the field: BE BC FD FE FC, seventeen FF, BD FB. The
// full checksum is 0x01820344, the scores checksum 0xFE7EBCB5. The table
// comes back whole, the bytes behind each NUL too.
TEST(FileBytes, WholeScoreRangeAndNameField)
{
	HiscoreTable t{{{2147483647, ""}, {-2147483647 - 1, ""}, {8388608, ""}, {0x01020304, "A"}}},
	    back{};
	t.entry[3].name[18] = 'B';
	t.entry[3].name[19] = 'C';
	const std::string file = encoded(t);
	EXPECT_EQ(file.substr(0, 4) + file.substr(8, 5) + file.substr(32, 5) + file.substr(56, 5) +
	    file.substr(252), std::string("\x44\x03\x82\x01\xFF\xFF\0\x80\0\xFF\xFF\xFF\x7F\xFF"
	    "\xFF\xFF\x7F\xFF\xFF\xB5\xBC\x7E\xFE", 23));
	EXPECT_EQ(file.substr(80, 24),
	    "\xBE\xBC\xFD\xFE\xFC" + std::string(17, '\xFF') + "\xBD\xFB");
	bool plain;
	EXPECT_EQ(hiscore_decode((const unsigned char *)file.data(), &back, &plain), HISCORE_VALID);
	EXPECT_EQ(memcmp(&back, &t, sizeof t), 0);
}

// Ranked insertion drops an entry that no score is below, moves whole
// records down inside the table and never past it, leaves the displaced
// record's bytes behind the inserted name's NUL, and cuts a name of twenty
// characters without a NUL to nineteen.
TEST(Table, Insertion)
{
	struct {
		HiscoreTable t;
		HiscoreEntry after, beyond;
	} m{}, before;
	HiscoreEntry low{1, "low"}, mid{7, "N"}, e{5, {}};
	memset(e.name, 'X', HISCORE_NAME_SIZE);
	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		m.t.entry[i].score = 10 - i;
		m.t.entry[i].name[19] = (char)('a' + i);
	}
	m.after.score = 2147483647;
	before = m;
	hiscore_insert(&m.t, &low);
	EXPECT_EQ(memcmp(&m, &before, sizeof m), 0);
	hiscore_insert(&m.t, &mid);
	EXPECT_EQ(std::string(m.t.entry[4].name), "N");
	EXPECT_EQ(m.t.entry[4].name[19], 'e');
	EXPECT_EQ(m.t.entry[5].score, 6);
	hiscore_insert(&m.t, &e);
	EXPECT_EQ(m.t.entry[7].score, 5);
	EXPECT_EQ(std::string(m.t.entry[7].name), std::string(19, 'X'));
	EXPECT_EQ(m.t.entry[8].score, 4);
	EXPECT_EQ(memcmp(&m.after, &before.after, 2 * sizeof m.after), 0);
}
