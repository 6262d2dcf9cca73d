// hiscore_test.cpp: the table and the score file's bytes, without a disk.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hiscore.h"
#include "table_util.h"

TEST(StoredForm, WorkedExample)
{
	HiscoreTable t{};
	t.entry[0].score = 100000;
	strcpy(t.entry[0].name, "ABC");
	Bytes file = encoded(t);
	const Bytes want = {0xBE, 0xFF, 0xFE, 0xFF, 0x79, 0xBD, 0xBC, 0xFF, 0xFF,
	    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
	    0xFF, 0xFF, 0xFF, 0x5F};
	EXPECT_EQ(Bytes(file.begin() + 8, file.begin() + 32), want);
}

TEST(DefaultTable, ChecksumsAndFileBytes)
{
	HiscoreTable t{};
	hiscore_defaults(&t);
	EXPECT_EQ(hiscore_checksum(&t, 0), 671714u);
	Bytes file = encoded(t);
	const Bytes head = {0xE2, 0x3F, 0x0A, 0x00, 0xE2, 0x3F, 0x0A, 0x00,
	    0xBE, 0xFF, 0xFE, 0xFF, 0x79, 0xB3, 0xBB, 0xA8};
	EXPECT_EQ(Bytes(file.begin(), file.begin() + 16), head);
	EXPECT_EQ(Bytes(file.end() - 4, file.end()),
	    Bytes({0x07, 0xFE, 0xFA, 0xFF}));
	hiscore_scramble(&t);
	EXPECT_EQ(hiscore_checksum(&t, 1), 4294639111u);
}

TEST(DefaultTable, KeepsBytesBehindEachName)
{
	HiscoreTable t;
	memset(&t, 'x', sizeof t);
	hiscore_defaults(&t);
	EXPECT_EQ(listing(t), default_listing());
	for (const HiscoreEntry &e : t.entry) {
		size_t len = strlen(e.name);
		for (size_t k = len + 1; k < HISCORE_NAME_SIZE; k++)
			EXPECT_EQ(e.name[k], 'x');
	}
}

TEST(Insert, RankedWithTiesNeverDisplacing)
{
	struct Case {
		int32_t score;
		int at;		// where it lands; -1: dropped
	} cases[] = {
		{95, 0}, {55, 4}, {50, 5}, {1, 9}, {0, -1}, {-5, -1},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.score);
		HiscoreTable t = make_table({{90, "e0"}, {80, "e1"}, {70, "e2"},
		    {60, "e3"}, {50, "e4"}, {40, "e5"}, {30, "e6"}, {20, "e7"},
		    {10, "e8"}, {0, "e9"}});
		const HiscoreTable before = t;
		HiscoreEntry e{c.score, "new"};
		hiscore_insert(&t, &e);
		if (c.at < 0) {
			EXPECT_EQ(memcmp(&t, &before, sizeof t), 0);
			continue;
		}
		Listing want = listing(before);
		want.insert(want.begin() + c.at, {c.score, "new"});
		want.pop_back();
		EXPECT_EQ(listing(t), want);
	}
}

TEST(Checksum, NameWithoutNulCountsAllTwentyBytes)
{
	HiscoreTable t{};
	memset(t.entry[3].name, 'A', HISCORE_NAME_SIZE);
	t.entry[4].score = -1;
	EXPECT_EQ(hiscore_checksum(&t, 0), 20u * 'A' - 1);
	EXPECT_EQ(hiscore_checksum(&t, 1), 0xFFFFFFFFu);
}

TEST(Decode, EachByteGuardedByTheRightCheck)
{
	struct Case {
		int offset;
		HiscoreVerdict verdict;
	} cases[] = {
		{8, HISCORE_BAD_SCORES},	// entry 0, first name byte
		{9, HISCORE_BAD_SCORES},	// entry 0, last name byte
		{8 + 24 + 3, HISCORE_BAD_SCORES}, // entry 1, score's top byte
		{132 + 24 * 4 + 2, HISCORE_BAD_SCORES}, // entry 9
		{253, HISCORE_BAD_SCORES},	// scores checksum
		{8 + 5, HISCORE_BAD_NAMES},	// entry 0, second name character
		{132 + 4, HISCORE_BAD_NAMES},	// entry 5, score's second byte
		{1, HISCORE_BAD_NAMES},		// full checksum
		{5, HISCORE_VALID},		// its copy, never read
		{130, HISCORE_VALID},		// likewise
		{8 + 20, HISCORE_VALID},	// entry 0, behind its NUL
	};
	const HiscoreTable t = sample_table('A');
	for (const Case &c : cases) {
		SCOPED_TRACE(c.offset);
		Bytes file = encoded(t);
		file[c.offset] ^= 0x10;
		HiscoreTable got;
		EXPECT_EQ(hiscore_decode(file.data(), &got), c.verdict);
	}
	Bytes file = encoded(t);
	file[8 + 20] ^= 0x10;
	HiscoreTable got;
	ASSERT_EQ(hiscore_decode(file.data(), &got), HISCORE_VALID);
	EXPECT_EQ(got.entry[0].name[20 - 4], t.entry[0].name[20 - 4] ^ 0x10);
}
