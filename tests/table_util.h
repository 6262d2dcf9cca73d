// table_util.h: building tables and score files, and reading tables back
// as (score, name) rows.
#ifndef TABLE_UTIL_H
#define TABLE_UTIL_H

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "hiscore.h"

using Row = std::pair<int32_t, std::string>;
using Listing = std::vector<Row>;
using Bytes = std::vector<unsigned char>;

inline Bytes
encoded(const HiscoreTable &t)
{
	Bytes b(HISCORE_FILE_SIZE);
	hiscore_encode(&t, b.data());
	return b;
}

// A zero table with the given rows from index 0.
inline HiscoreTable
make_table(const Listing &rows)
{
	HiscoreTable t{};
	for (size_t i = 0; i < rows.size(); i++) {
		t.entry[i].score = rows[i].first;
		strncpy(t.entry[i].name, rows[i].second.c_str(), HISCORE_NAME_SIZE);
	}
	return t;
}

inline Listing
listing(const HiscoreTable &t)
{
	Listing rows;
	for (const HiscoreEntry &e : t.entry)
		rows.emplace_back(e.score, std::string(e.name, strnlen(e.name,
		    HISCORE_NAME_SIZE)));
	return rows;
}

inline const Listing &
default_listing()
{
	static const Listing rows = {
		{100000, "ALDWINE KVIL"}, {92500, "BERTOS KVIL"},
		{85000, "ALDWINE MORSEN"}, {77500, "------------------"},
		{70000, "      QUORVEX     "}, {62500, "     THE GAME     "},
		{55000, "PELLORAN SOFTCRAFT"}, {47500, "     - 1996 -     "},
		{40000, "------------------"}, {32500, "!NOT GOOD ENOUGH!"},
	};
	return rows;
}

// Ten entries named "<p>1" to "<p>10", scores falling from 100500 by 10000,
// every byte behind a NUL filled with a pattern of its own.
inline HiscoreTable
sample_table(char p)
{
	HiscoreTable t;
	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		for (int k = 0; k < HISCORE_NAME_SIZE; k++)
			t.entry[i].name[k] = (char)(0x80 + 13 * i + k + p);
		snprintf(t.entry[i].name, HISCORE_NAME_SIZE, "%c%d", p, i + 1);
		t.entry[i].score = 100500 - 10000 * i;
	}
	return t;
}

#endif
