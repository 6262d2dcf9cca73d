// tables.cpp: the score files of the end-to-end tests. "tables DIR" writes
// them into DIR; "tables rows FILE" prints the rows of a valid score file
// by the names below ("?" for another), or says that it is not valid.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hiscore.h"

// Tables of rows A1..A10 and B1..B10 whose merge has ties inside the first,
// across the two and with the built-in table, of rows D1..D10.
static HiscoreTable
make(char tag, std::vector<int32_t> scores)
{
	HiscoreTable t{};
	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		t.entry[i].score = scores[i];
		snprintf(t.entry[i].name, HISCORE_NAME_SIZE, "%c%d", tag, i + 1);
	}
	if (tag == 'D')
		hiscore_defaults(&t);
	return t;
}
static const HiscoreTable named[] = {
	make('A', {190000, 180000, 170000, 170000, 150000, 140000, 130000, 120000, 110000, 105000}),
	make('B', {200000, 180000, 160000, 150000, 140000, 100000, 92500, 60000, 50000, -5}),
	make('D', std::vector<int32_t>(HISCORE_ENTRIES)),
};

static int
rows(const char *path)
{
	unsigned char file[HISCORE_FILE_SIZE + 1];
	HiscoreTable t;
	bool plain;
	FILE *f = fopen(path, "rb");
	if (!f || fread(file, 1, sizeof file, f) != HISCORE_FILE_SIZE ||
	    hiscore_decode(file, &t, &plain) != HISCORE_VALID)
		return puts("not a valid score file"), 0;
	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		std::string name = "?";
		for (int k = 0; k < 3 * HISCORE_ENTRIES; k++)
			if (hiscore_same_entry(&named[k / 10].entry[k % 10], &t.entry[i]))
				name = "ABD"[k / 10] + std::to_string(k % 10 + 1);
		printf(i < HISCORE_ENTRIES - 1 ? "%s " : "%s\n", name.c_str());
	}
	return 0;
}

// The files a, b and d of those tables; odd, whose names hold control
// bytes, bytes above 0x7e, a backslash and twenty bytes without a NUL; and
// changed copies, with the lowest bit of some bytes flipped: a-copies those
// of the unread copies of the checksums, bad-scores and bad-names d's
// scores and full checksum; a-score and a-name A1's score and name.
int
main(int argc, char **argv)
{
	if (argc == 3 && strcmp(argv[1], "rows") == 0)
		return rows(argv[2]);
	HiscoreTable odd{{{5, "\x01\x1b[2J"}, {4, "caf\xe9"}, {3, "back\\slash"},
	    {2, "\x7f~ "}, {1, ""}, {'A', ""}}}, score = named[0], name = named[0];
	memset(odd.entry[4].name, 'Z', HISCORE_NAME_SIZE);
	score.entry[0].score++;
	name.entry[0].name[0] = 'Z';
	const struct { const char *file; HiscoreTable t; std::vector<int> flips; } files[] = {
	    {"a", named[0], {}}, {"b", named[1], {}}, {"d", named[2], {}}, {"odd", odd, {}},
	    {"a-copies", named[0], {4, 131}}, {"bad-scores", named[2], {252}},
	    {"bad-names", named[2], {0}}, {"a-score", score, {}}, {"a-name", name, {}}};
	for (const auto &f : files) {
		unsigned char b[HISCORE_FILE_SIZE];
		hiscore_encode(&f.t, b);
		for (int at : f.flips)
			b[at] ^= 1;
		FILE *out = fopen((std::string(argv[1]) + "/" + f.file).c_str(), "wb");
		if (!out || fwrite(b, 1, sizeof b, out) != sizeof b || fclose(out) != 0)
			return perror(f.file), 1;
	}
	return 0;
}
